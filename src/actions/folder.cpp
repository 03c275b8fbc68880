#include "actions/folder.h"

namespace qm {

namespace {

constexpr std::size_t kMaxDirectory = 255;  // _MAX_DIR less its terminator

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

std::string InstallFolder(const std::string& imagePath, LeadBytePredicate isLeadByte) {
    if (!imagePath.empty() && imagePath[0] == '"') {
        const std::size_t close = imagePath.find('"', 1);
        const std::size_t length = close == std::string::npos ? std::string::npos : close - 1;
        return DriveAndDirectory(imagePath.substr(1, length), isLeadByte);
    }
    return DriveAndDirectory(imagePath, isLeadByte);
}

}  // namespace qm
