#include "actions/folder.h"

namespace qm {

namespace {

constexpr std::size_t kMaxDirectory = 255;  // _MAX_DIR less its terminator

bool EqualsExeNoCase(const std::string& text, std::size_t at) {
    static const char kExe[] = ".exe";
    for (std::size_t i = 0; i < 4; ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kExe[i]) return false;
    }
    return true;
}

}  // namespace

std::string DriveAndDirectory(const std::string& path, LeadBytePredicate isLeadByte) {
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':') start = 2;

    std::size_t end = start;  // one past the last separator
    for (std::size_t i = start; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (isLeadByte && isLeadByte(c) && i + 1 < path.size()) {
            ++i;  // the trail byte is part of the character
            continue;
        }
        if (c == '\\' || c == '/') end = i + 1;
    }
    std::string directory = path.substr(start, end - start);
    if (directory.size() > kMaxDirectory) directory.resize(kMaxDirectory);
    return path.substr(0, start) + directory;
}

std::string ExecutablePath(const std::string& imagePath) {
    if (!imagePath.empty() && imagePath[0] == '"') {
        const std::size_t close = imagePath.find('"', 1);
        return imagePath.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    // '.' is never the second byte of a double-byte character.
    for (std::size_t at = imagePath.find('.'); at != std::string::npos; at = imagePath.find('.', at + 1)) {
        const std::size_t end = at + 4;
        if (end > imagePath.size() || !EqualsExeNoCase(imagePath, at)) continue;
        if (end == imagePath.size() || imagePath[end] == ' ' || imagePath[end] == '\t') return imagePath.substr(0, end);
    }
    return imagePath;
}

std::string InstallFolder(const std::string& imagePath, LeadBytePredicate isLeadByte) {
    return DriveAndDirectory(ExecutablePath(imagePath), isLeadByte);
}

}  // namespace qm
