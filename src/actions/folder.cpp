#include "actions/folder.h"

#include <algorithm>

#include "catalogue/system.h"

namespace qm {

namespace {

constexpr char kExecutableName[] = "KorvaneSrv.exe";
constexpr std::size_t kMaxDirectory = 255;  // _MAX_DIR less its terminator

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A candidate as the service manager tries it: ".exe" added when its last
// name has no extension. '.' and '/' are never the second byte of a
// double-byte character.
std::string WithExtension(const std::string& candidate) {
    const std::size_t name = candidate.find_last_of("\\/");
    const std::size_t dot = candidate.find('.', name == std::string::npos ? 0 : name);
    return dot == std::string::npos ? candidate + ".exe" : candidate;
}

std::string WithBackslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
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

bool ExecutablePath(const std::string& imagePath, const FileExists& exists, std::string& executable) {
    if (!imagePath.empty() && imagePath[0] == '"') {
        const std::size_t close = imagePath.find('"', 1);
        executable = WithBackslashes(imagePath.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return true;
    }
    if (std::find_if(imagePath.begin(), imagePath.end(), IsBlank) == imagePath.end()) {
        executable = WithBackslashes(imagePath);
        return true;
    }
    for (std::size_t end = 0; end <= imagePath.size(); ++end) {
        if (end == 0 || (end < imagePath.size() && !IsBlank(imagePath[end]))) continue;
        const std::string candidate = WithExtension(imagePath.substr(0, end));
        if (exists(candidate)) {
            executable = WithBackslashes(candidate);
            return true;
        }
    }
    return false;
}

bool ExecutablePaths(const std::string& folder, std::string& executable, std::string& commandLine) {
    // The separator is always inserted, so a drive root gives C:\\KorvaneSrv.exe.
    executable = folder + "\\" + kExecutableName;
    // Unquoted, a path with blanks would make the service manager try
    // C:\Program.exe and the like first.
    const bool quote = executable.find_first_of(" \t") != std::string::npos;
    commandLine = quote ? "\"" + executable + "\"" : executable;
    return commandLine.size() <= kMaxPathChars;  // what selection and the script read back
}

}  // namespace qm
