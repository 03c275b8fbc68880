// Ids of the framework test's dialog, shared by framework_test.rc and the test.
#pragma once

#define IDD_FIELD_DIALOG 100
#define IDC_FIELD        1000
