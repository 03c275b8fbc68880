// The texts the tool shows.
#pragma once

namespace qm::text {

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

inline constexpr char kRemoved[] = "The Service was successfully removed";
inline constexpr char kRemoveError[] = "There was an error removing the Service";

inline constexpr char kBatchCreated[] = "Batch file\n%s\nsuccessfully created";
inline constexpr char kBatchServicesError[] =
    "The batch file was not created: the installed services could not be read.\n"
    "The previous batch file, if any, is unchanged.";
inline constexpr char kBatchWriteError[] =
    "The batch file\n%s\ncould not be written.\n"
    "The previous batch file, if any, is unchanged.";
inline constexpr char kBatchPathError[] =
    "The batch file was not created: the folder of Quilmarsk could not be determined.";

inline constexpr char kPasswordMismatch[] = "The Passwords are not identical.";
inline constexpr char kPasswordCaption[] = "Database User Configuration Error";

// The dialog framework's and the program's own texts.
inline constexpr char kTooLong[] = "Please enter no more than %s characters.";
inline constexpr char kUnexpectedError[] = "An unexpected error occurred. The action was not completed.";
inline constexpr char kDialogError[] = "A window of Quilmarsk could not be opened.";
inline constexpr char kStartError[] = "Quilmarsk could not start.";

}  // namespace qm::text
