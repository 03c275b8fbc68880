// The application object: shows the main dialog and ends with it.
#pragma once

class CServiceConfigApp {
public:
    // Runs the main dialog; false, so that the program ends when it closes.
    bool InitInstance();
};
