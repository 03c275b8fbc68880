#include "actions/folder.h"

#include <algorithm>

#include "catalogue/naming.h"
#include "catalogue/system.h"

namespace qm {

namespace {

constexpr char kExecutableName[] = "KorvaneSrv.exe";
constexpr std::size_t kMaxDirectory = 255;  // _MAX_DIR less its terminator

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

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

Readings ExecutablePath(const std::string& imagePath, const FileExists& exists, std::string& executable) {
    if (!imagePath.empty() && imagePath[0] == '"') {
        const std::size_t close = imagePath.find('"', 1);
        executable = WithBackslashes(imagePath.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return Readings::One;
    }
    if (std::find_if(imagePath.begin(), imagePath.end(), IsBlank) == imagePath.end()) {
        executable = WithBackslashes(imagePath);
        return Readings::One;
    }
    Readings found = Readings::None;
    for (std::size_t end = 0; end <= imagePath.size(); ++end) {
        if (end == 0 || (end < imagePath.size() && !IsBlank(imagePath[end]))) continue;
        const std::string candidate = WithExtension(imagePath.substr(0, end));
        if (!exists(candidate)) continue;
        if (found == Readings::One) return Readings::Several;
        executable = WithBackslashes(candidate);
        found = Readings::One;
    }
    return found;
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

bool IsAbsoluteFolder(const std::string& folder) {
    if (folder.size() >= 3 && IsDriveLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\') return true;
    if (folder.compare(0, 2, "\\\\") != 0) return false;
    const std::size_t server = folder.find('\\', 2);
    if (server == std::string::npos || server == 2) return false;
    const std::size_t share = folder.find('\\', server + 1);
    return share != std::string::npos && share > server + 1;
}

std::string FolderKey(const std::string& folder, LeadBytePredicate isLeadByte) {
    std::string prefix;
    std::size_t i = 0;
    if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) {
        prefix = "\\\\";
        i = 2;
    } else if (folder.size() >= 2 && folder[1] == ':') {
        prefix = FoldCase(folder.substr(0, 2)) + "\\";
        i = 2;
    }
    std::vector<std::string> names;
    std::string name;
    const auto endName = [&] {
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        name.clear();
    };
    for (; i < folder.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(folder[i]);
        if (isLeadByte && isLeadByte(c) && i + 1 < folder.size()) {
            name += folder[i];
            name += folder[++i];  // a trail byte is never a separator nor a letter to fold
        } else if (IsSeparator(folder[i])) {
            endName();
        } else {
            name += FoldCase(std::string(1, folder[i]));
        }
    }
    endName();
    std::string key = prefix;
    for (const std::string& n : names) key += n + "\\";
    return key;
}

bool FoldersOverlap(const std::string& key, const std::string& otherKey) {
    return key.compare(0, otherKey.size(), otherKey) == 0 || otherKey.compare(0, key.size(), key) == 0;
}

Beside BesideFolder(const std::string& folder, const std::vector<std::string>& avoid, LeadBytePredicate isLeadByte,
                    NoBackup& noBackup) {
    const std::string key = FolderKey(folder, isLeadByte);
    const bool unc = key.compare(0, 2, "\\\\") == 0;
    const std::size_t separators = static_cast<std::size_t>(std::count(key.begin(), key.end(), '\\'));
    // A drive's root (x:\) has one separator, a share's (\\server\share\) four.
    if (separators <= (unc ? 4u : 1u)) {
        noBackup = NoBackup::Root;
        return {};
    }
    // The folder without its closing separators.
    std::size_t end = 0;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        if (isLeadByte && isLeadByte(static_cast<unsigned char>(folder[i])) && i + 1 < folder.size()) {
            end = ++i + 1;
        } else if (!IsSeparator(folder[i])) {
            end = i + 1;
        }
    }
    const std::string base = folder.substr(0, end);
    const auto clear = [&](const std::string& candidate) {
        const std::string key = FolderKey(candidate, isLeadByte);
        return std::none_of(avoid.begin(), avoid.end(),
                            [&](const std::string& other) { return FoldersOverlap(key, other); });
    };
    for (int n = 1; n <= 9; ++n) {
        const std::string number = n > 1 ? std::to_string(n) : "";
        Beside beside{base + ".previous" + number + "\\", base + ".failed" + number + "\\",
                      base + ".previous" + number + ".unfinished"};
        if (clear(beside.backup) && clear(beside.failed)) {
            noBackup = NoBackup::None;
            return beside;
        }
    }
    noBackup = NoBackup::NoName;
    return {};
}

}  // namespace qm
