// What writing the update script needs of the machine besides the service
// manager: the environment, the files, the command prompt's code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "actions/expand.h"

namespace qm {

// A file or folder found under a folder, as a walk of it finds it.
struct FolderEntry {
    std::string path;  // below the folder walked, without a leading backslash
    std::uint64_t bytes = 0;
    bool folder = false;
    bool readOnly = false;
    bool hidden = false;  // hidden or system
};

class ScriptHost {
public:
    virtual ~ScriptHost() = default;

    // |text| with its environment references expanded as the service
    // manager expands an executable path when it starts a service: with
    // the system's variables, never the administrator's own.
    virtual bool ExpandReferences(const std::string& text, std::string& expanded) = 0;
    // Whether |path| names an existing file (not a folder).
    virtual bool FileExists(const std::string& path) = 0;
    // |ansi| in the code page in which cmd reads a batch file (the OEM code
    // page), converted through Unicode; false when a character has no
    // equivalent there.
    virtual bool ToConsoleCodePage(const std::string& ansi, std::string& console) = 0;
    // Writes |contents| to a new file beside |path| and moves it over |path|
    // only when all of it was written; on failure |path| is left as it was.
    virtual bool WriteFileAtomically(const std::string& path, const std::string& contents) = 0;
    // Whether another program holds |path| open against writing, as a run
    // of the update script holds its lock.
    virtual bool FileInUse(const std::string& path) = 0;
    // The text of the file |path|; false when it cannot be read.
    virtual bool ReadTextFile(const std::string& path, std::string& text) = 0;

    // ---- What the update's plan reads ----
    // Every file and folder under |folder|, at every depth, parents before
    // what they hold; false when the folder cannot be listed.
    virtual bool ReadFolder(const std::string& folder, std::vector<FolderEntry>& entries) = 0;
    // The bytes free for this account on the volume that holds |folder|.
    virtual bool FreeSpace(const std::string& folder, std::uint64_t& bytes) = 0;
};

}  // namespace qm
