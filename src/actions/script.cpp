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

}  // namespace

bool CanWriteBlock(const Instance& instance) {
    return !instance.folder.empty() && instance.serviceName.find('"') == std::string::npos &&
           instance.folder.find('"') == std::string::npos;
}

std::string UpdateScript(const std::string& updateFolder, const std::vector<Instance>& instances) {
    // The update folder is a real path from the picker; the installation
    // folders are expandable strings whose references cmd is meant to expand.
    const std::string source = EscapePercent(updateFolder);
    std::string script;
    for (const Instance& instance : instances) {
        if (!CanWriteBlock(instance)) continue;
        const std::string name = EscapePercent(instance.serviceName);
        script += "NET STOP \"" + name + "\"\r\n";
        script += "RD /S /Q \"" + instance.folder + "KORVAN\\KORVAN\"\r\n";
        script += "XCOPY /Y /S \"" + source + "\\*.*\" \"" + instance.folder + "\"\r\n";
        script += "NET START \"" + name + "\"\r\n";
        script += "TIMEOUT 60\r\n\r\n";
    }
    return script;
}

std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte) {
    return DriveAndDirectory(modulePath, isLeadByte) + kScriptName;
}

}  // namespace qm
