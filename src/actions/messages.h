// The texts the tool shows.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace qm::text {

// |format| with each %s replaced by the next of |values|, in one pass: a
// value that holds %s itself is taken as it is.
inline std::string Fill(const char* format, std::initializer_list<std::string> values) {
    std::string text;
    auto value = values.begin();
    for (const char* c = format; *c; ++c) {
        if (c[0] == '%' && c[1] == 's' && value != values.end()) {
            text += *value++;
            ++c;
        } else {
            text += *c;
        }
    }
    return text;
}

// |format| with its one %s replaced by |value|.
inline std::string Fill(const char* format, const std::string& value) { return Fill(format, {value}); }

inline constexpr char kCaption[] = "Quilmarsk";
inline constexpr char kErrorCaption[] = "Quilmarsk Error";

inline constexpr char kInstallTitle[] = "Please select an existing installation path";
inline constexpr char kUpdateFolderTitle[] = "Please select the folder containing the update files";

inline constexpr char kInstalled[] = "The Service was successfully installed";
inline constexpr char kInstallError[] = "There was an error installing the Service";
inline constexpr char kLocalSystemFallback[] =
    "The Korvane Service could not be registered with the Service account / password supplied. "
    "The local system account has been used instead. Please go to Control Panel/Services and enter "
    "a valid Service account and password to run the Korvane Service.";
// After an Add under an account; %s is the account as typed.
inline constexpr char kLogonRightGranted[] =
    "The account %s has been granted the right to log on as a service (SeServiceLogonRight), "
    "so that the Korvane Service can start under it.";
inline constexpr char kLogonRightWarning[] =
    "The account %s could not be granted the right to log on as a service (SeServiceLogonRight). "
    "The Korvane Service is installed, but it will not start under this account without that right. "
    "Please grant it in Local Security Policy, under Local Policies / User Rights Assignment / "
    "\"Log on as a service\".";

// After an Add, when the service manager refused a setting; the instance
// stays installed.
inline constexpr char kRecoveryWarning[] =
    "The Korvane Service is installed, but it could not be set to restart after a failure. "
    "Please set its recovery actions in the Services console, on the Recovery tab.";
inline constexpr char kDescriptionWarning[] =
    "The Korvane Service is installed, but its description, which names its installation folder, "
    "could not be set.";
// The description of a new instance in the Services console; %s is its
// installation folder.
inline constexpr char kServiceDescription[] = "Korvane update service instance in %s";

// The account dialog's answers to the account typed; %s is the account,
// except where said otherwise.
inline constexpr char kUnknownAccount[] =
    "The account %s is not known. Please enter an existing account, in the form DOMAIN\\Account.";
inline constexpr char kWrongPassword[] = "The password of the account %s is wrong. Please enter it again.";
inline constexpr char kPasswordExpired[] =
    "The password of the account %s has expired or must be changed. Please change it, then enter the new one.";
inline constexpr char kAccountDisabled[] = "The account %s is disabled. Please enable it, or enter another account.";
inline constexpr char kAccountLockedOut[] =
    "The account %s is locked out. Please unlock it, or enter another account.";
// The first %s is the account, the second the system's words for the error.
inline constexpr char kAccountNotChecked[] =
    "The password of the account %s could not be checked: %s\nIt is taken all the same; if an instance does not "
    "start under it, enter the right password in the Services console.";
// %s is the new instance's service name.
inline constexpr char kVirtualAccountName[] =
    "The virtual account of this instance must be named\nNT SERVICE\\%s";

// More answers about the account typed; %s is the account.
inline constexpr char kAccountExpired[] =
    "The account %s has expired. Please extend its end date, or enter another account.";
// After the right was granted, when the service logon is still refused.
inline constexpr char kServiceLogonDenied[] =
    "The account %s may not log on as a service: a policy denies it that logon, and granting the right "
    "does not overcome it. The Korvane Service is installed, but it will not start under this account. "
    "Please remove the account, and any group it belongs to, from the policy \"Deny log on as a service\" "
    "(Local Security Policy, under Local Policies / User Rights Assignment, or the group policy that sets it), "
    "or enter another account in the Services console.";

inline constexpr char kRemoved[] = "The Service was successfully removed";
inline constexpr char kRemoveError[] = "There was an error removing the Service";
inline constexpr char kRemovePending[] =
    "The Service is marked for deletion. It will be removed when it has stopped; until then it stays in the list.";

inline constexpr char kBatchCreated[] = "Batch file\n%s\nsuccessfully created";
inline constexpr char kBatchServicesError[] =
    "The batch file was not created: the installed services could not be read.\n"
    "The previous batch file, if any, is unchanged.";
inline constexpr char kBatchWriteError[] =
    "The batch file\n%s\ncould not be written.\n"
    "The previous batch file, if any, is unchanged.";
inline constexpr char kBatchOverlapError[] =
    "The batch file was not created: the update folder\n%s\nand the installation folder of %s\n%s\n"
    "are the same, or one lies inside the other. The script would delete or overwrite files of one of them.\n"
    "Please keep the update files in a folder of their own. The previous batch file, if any, is unchanged.";
inline constexpr char kBatchNestedError[] =
    "The batch file was not created: the installation folders of\n%s\n%s\nand of\n%s\n%s\n"
    "are the same, or one lies inside the other. The update of one would back up, change or restore the files "
    "of the other.\nPlease give each instance a folder of its own. The previous batch file, if any, is unchanged.";
inline constexpr char kBatchRunning[] =
    "The batch file was not created: an update run is in progress. It holds\n%s\n"
    "and cmd reads the script while it runs, so a new one would change the run under way.\n"
    "Please create the batch file again when the run has ended. The previous batch file is unchanged.";
inline constexpr char kBatchUpdateFolderError[] =
    "The batch file was not created: the update folder\n%s\ncannot be named in a batch file.\n"
    "The previous batch file, if any, is unchanged.";
// Lines added to the success message for the services that got no commands.
inline constexpr char kBatchLeftOut[] = "\n\nThese services were left out of the batch file:";
inline constexpr char kBatchMoreLeftOut[] = "\n... and %s more";
inline constexpr char kLeftOutUnreadable[] = "its executable path could not be read";
inline constexpr char kLeftOutTooLong[] = "its executable path is longer than 259 characters";
inline constexpr char kLeftOutNoFile[] =
    "its executable path is not in quotes, has blanks and names no existing file";
inline constexpr char kLeftOutNotText[] = "its executable path is not a text value";
inline constexpr char kLeftOutMisread[] = "its name or folder has a character the command prompt would misread";
inline constexpr char kLeftOutNotAbsolute[] = "its folder is not a full path";
inline constexpr char kLeftOutCodePage[] = "its name or folder cannot be written in the command prompt's code page";
inline constexpr char kLeftOutAmbiguous[] =
    "its executable path is not in quotes and names more than one file; the service manager runs %s";
inline constexpr char kLeftOutStateLike[] = "its name reads like a service state in the answer of SC QUERY";
inline constexpr char kBatchToolFolderError[] =
    "The batch file was not created: Quilmarsk is kept in\n%s\nwhich is, or lies inside, %s of %s\n%s\n"
    "The update script and its log are written beside Quilmarsk.exe, and the update would change them while "
    "they are in use. Please move Quilmarsk.exe to a folder of its own (for example C:\\Tools\\Quilmarsk) "
    "and create the batch file there. The previous batch file, if any, is unchanged.";
inline constexpr char kToolFolderInstance[] = "the installation folder";
inline constexpr char kToolFolderBackup[] = "the backup folder";
inline constexpr char kToolFolderFailed[] = "the folder for a failed update";
inline constexpr char kToolFolderUpdate[] = "the update folder";
inline constexpr char kToolFolderAllInstances[] = "every instance";
inline constexpr char kBatchPathError[] =
    "The batch file was not created: the folder of Quilmarsk could not be determined.";

inline constexpr char kPasswordMismatch[] = "The Passwords are not identical.";
inline constexpr char kPasswordCaption[] = "Database User Configuration Error";

// A text longer than its field takes; %s is the limit.
inline constexpr char kTooLong[] = "Please enter no more than %s characters.";
// The words the dialog framework is given at start-up, and the program's own.
inline constexpr char kUnexpectedError[] = "An unexpected error occurred. The action was not completed.";
inline constexpr char kDialogError[] = "A window of Quilmarsk could not be opened.";
inline constexpr char kStartError[] = "Quilmarsk could not start.";

// ---- The overview ----
// Its column headings, in order.
inline constexpr char kColumnName[] = "Name";
inline constexpr char kColumnState[] = "State";
inline constexpr char kColumnProcessId[] = "Process id";
inline constexpr char kColumnVersion[] = "Version";
inline constexpr char kColumnAccount[] = "Account";
inline constexpr char kColumnFolder[] = "Folder";
// A service's states; one the tool does not know shows its number.
inline constexpr char kStateStopped[] = "Stopped";
inline constexpr char kStateStarting[] = "Starting";
inline constexpr char kStateStopping[] = "Stopping";
inline constexpr char kStateRunning[] = "Running";
inline constexpr char kStateContinuing[] = "Continuing";
inline constexpr char kStatePausing[] = "Pausing";
inline constexpr char kStatePaused[] = "Paused";
inline constexpr char kStateUnknown[] = "unknown";
// The version of an executable without a readable version resource.
inline constexpr char kNoVersion[] = "-";
// An instance that did not reach the state asked for: its name, its state,
// and the system's words for the error.
inline constexpr char kStartFailed[] = "The instance %s did not start. It is now %s.\n\n%s";
inline constexpr char kStopFailed[] = "The instance %s did not stop. It is now %s.\n\n%s";
// A started instance that did not keep running with the same process
// through the watch time: its name, how many seconds after it started, its
// state now.
inline constexpr char kWatchEnded[] = "The instance %s did not stay up: its process ended %s s after it started. It is now %s.";
inline constexpr char kWatchReplaced[] =
    "The instance %s did not stay up: its process ended %s s after it started, and another process was started "
    "in its place. It is now %s.";
// A rolling action ended at the administrator's request after instance %s.
inline constexpr char kActionCancelled[] = "The action was stopped after the instance %s, as asked.";
// Added, with a line per instance, when instances selected after the one
// named were left alone.
inline constexpr char kLeftAlone[] = "\n\nThese instances were left as they were:";
inline constexpr char kOverviewReadError[] = "The installed services could not be read.";
// The line under the overview while an action runs: the instance, and the
// seconds its watch has left.
inline constexpr char kActingOn[] = "Working on %s...";
inline constexpr char kWatching[] = "Watching %s: %s s left. Cancel ends the action after this instance.";
inline constexpr char kCancelAsked[] = "The action ends after this instance...";
// The overview's Close button while an action runs, and after.
inline constexpr char kCancelButton[] = "Cancel";
inline constexpr char kCloseButton[] = "Close";
// An error the system has no words for; %s is its number.
inline constexpr char kUnknownError[] = "Error %s.";

// ---- The account of several instances ----
// The overview's context menu; %s is the account of the row clicked.
inline constexpr char kSelectSameAccount[] = "Select every instance that logs on as %s";
// The result of a change, in one message: a heading (%s: the account) and
// a line per instance; then the instances refused, each with the system's
// words for the refusal.
inline constexpr char kAccountChanged[] =
    "These instances now log on as %s. The new account and password take effect when each one starts next.";
inline constexpr char kAccountRefused[] = "These instances were left as they were:";
// The heading of a change with the account field left empty: a password
// alone, each instance keeping its own account.
inline constexpr char kPasswordChanged[] =
    "These instances keep their accounts and now log on with the new password. It takes effect when each one "
    "starts next.";
// The instances a password alone was not given to, each with its account.
inline constexpr char kNoPasswordLeft[] =
    "These instances log on without a password (a built-in, virtual or managed account) and were left as they were:";
// Why an instance was left out of a password change.
inline constexpr char kAccountUnreadable[] = "its account could not be read";
inline constexpr char kInstanceLine[] = "\n    %s";
inline constexpr char kRefusedLine[] = "\n    %s: %s";
// Asked after a change, for the changed instances that are running.
inline constexpr char kRestartQuestion[] =
    "Restart these instances now, one after another, so that they log on with the new account and password?%s";

}  // namespace qm::text

namespace qm {

class System;

// The system's words for |error| without their line end, or its number
// when the system has none: how every message names an error.
std::string ErrorWords(System& system, std::uint32_t error);

}  // namespace qm
