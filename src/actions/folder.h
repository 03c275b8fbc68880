// The installation folder of a service: drive and directory of the
// executable path it is registered with.
#pragma once

#include <string>

namespace qm {

// Tells whether a byte starts a double-byte character in the system's ANSI
// code page. Null means a single-byte code page.
using LeadBytePredicate = bool (*)(unsigned char);

// Drive and directory of |path| as _splitpath gives them: the drive is the
// first two characters when the second is a colon; the directory runs up to
// and including the last backslash or slash (its first 255 characters).
// The second byte of a double-byte character is never a separator.
std::string DriveAndDirectory(const std::string& path, LeadBytePredicate isLeadByte = nullptr);

// The executable path of a registered "ImagePath" value. In double quotes,
// the text up to the closing quote; unquoted, the text up to the first ".exe"
// (any letter case) that a blank or the end follows, else the whole text.
// What follows is arguments.
std::string ExecutablePath(const std::string& imagePath);

// Drive and directory of the executable path of an "ImagePath" value.
std::string InstallFolder(const std::string& imagePath, LeadBytePredicate isLeadByte = nullptr);

}  // namespace qm
