#include "actions/script.h"

namespace qm {

namespace {

// cmd expands %...% even inside double quotes; %% is a literal percent.
std::string EscapePercent(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        escaped += c;
        if (c == '%') escaped += '%';
    }
    return escaped;
}

bool CmdReadsLiterally(const std::string& text) {
    for (char c : text) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool IsAbsoluteFolder(const std::string& folder) {
    if (folder.size() >= 3 && IsDriveLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\') return true;
    if (folder.compare(0, 2, "\\\\") != 0) return false;
    const std::size_t server = folder.find('\\', 2);
    if (server == std::string::npos || server == 2) return false;
    const std::size_t share = folder.find('\\', server + 1);
    return share != std::string::npos && share > server + 1;
}

LeftOut CheckInstance(const Instance& instance) {
    if (!CmdReadsLiterally(instance.serviceName) || !CmdReadsLiterally(instance.folder)) return LeftOut::Misread;
    if (!IsAbsoluteFolder(instance.folder)) return LeftOut::NotAbsolute;
    return LeftOut::None;
}

std::string UpdateScript(const std::string& updateFolder, const std::vector<Instance>& instances) {
    const std::string source = EscapePercent(updateFolder);
    std::string script;
    for (const Instance& instance : instances) {
        if (CheckInstance(instance) != LeftOut::None) continue;
        const std::string name = EscapePercent(instance.serviceName);
        const std::string folder = EscapePercent(instance.folder);
        script += "NET STOP \"" + name + "\"\r\n";
        script += "RD /S /Q \"" + folder + "KORVAN\\KORVAN\"\r\n";
        script += "XCOPY /Y /S \"" + source + "\\*.*\" \"" + folder + "\"\r\n";
        script += "NET START \"" + name + "\"\r\n";
        script += "TIMEOUT 60\r\n\r\n";
    }
    return script;
}

std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte) {
    return DriveAndDirectory(modulePath, isLeadByte) + kScriptName;
}

}  // namespace qm
