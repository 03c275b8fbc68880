// The folder rule: the installation folder of a service (drive and
// directory of the executable path it is registered with), and the
// executable path a new instance is registered with.
#pragma once

#include <functional>
#include <string>

namespace qm {

// Tells whether a byte starts a double-byte character in the system's ANSI
// code page. Null means a single-byte code page.
using LeadBytePredicate = bool (*)(unsigned char);

// Tells whether a path names an existing file (a folder is no file).
using FileExists = std::function<bool(const std::string&)>;

// Drive and directory of |path| as _splitpath gives them: the drive is the
// first two characters when the second is a colon; the directory runs up to
// and including the last backslash or slash (its first 255 characters).
// The second byte of a double-byte character is never a separator; pass
// null only for a single-byte code page.
std::string DriveAndDirectory(const std::string& path, LeadBytePredicate isLeadByte);

// The executable path of a registered "ImagePath" value, found as the
// service manager finds it. In double quotes, the text up to the closing
// quote. Unquoted without a blank, the whole text. Unquoted with blanks,
// the first of these that names an existing file: the text up to each
// blank in turn, then the whole text, each with ".exe" added when its last
// name has no extension. False when none does. Slashes read as backslashes.
bool ExecutablePath(const std::string& imagePath, const FileExists& exists, std::string& executable);

// The executable path for a new instance in |folder|, and the command line
// registered for it (quoted when it has a blank). False when it would not
// fit a path buffer (longer than kMaxPathChars).
bool ExecutablePaths(const std::string& folder, std::string& executable, std::string& commandLine);

}  // namespace qm
