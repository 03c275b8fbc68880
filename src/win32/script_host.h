// The script host over the system's environment, the system's code pages
// and the file system.
#pragma once

#include "actions/script_host.h"

namespace qm {

class Win32ScriptHost : public ScriptHost {
public:
    bool ExpandReferences(const std::string& text, std::string& expanded) override;
    bool FileExists(const std::string& path) override;
    bool ToConsoleCodePage(const std::string& ansi, std::string& console) override;
    bool WriteFileAtomically(const std::string& path, const std::string& contents) override;
    bool FileInUse(const std::string& path) override;
    bool ReadTextFile(const std::string& path, std::string& text) override;
    bool ReadFolder(const std::string& folder, std::vector<FolderEntry>& entries) override;
    bool FreeSpace(const std::string& folder, std::uint64_t& bytes) override;
};

}  // namespace qm
