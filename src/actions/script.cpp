#include "actions/script.h"

#include <algorithm>

#include "actions/script_host.h"
#include "catalogue/naming.h"

namespace qm {

std::string ExpandWith(const std::string& text, const VariableLookup& lookup) {
    std::string expanded, value;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close != std::string::npos && close > i + 1 && lookup(text.substr(i + 1, close - i - 1), value)) {
            expanded += value;
            i = close + 1;
        } else {
            expanded += text[i++];
        }
    }
    return expanded;
}

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

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

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
    if (!CmdReadsLiterally(instance.serviceName) || !CmdReadsLiterally(instance.folder) ||
        !CmdReadsLiterally(instance.backup)) {
        return LeftOut::Misread;
    }
    if (!IsAbsoluteFolder(instance.folder)) return LeftOut::NotAbsolute;
    if (!instance.backup.empty() && !IsAbsoluteFolder(instance.backup)) return LeftOut::NotAbsolute;
    return LeftOut::None;
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

std::string BackupFolder(const std::string& folder, const std::vector<std::string>& avoid, LeadBytePredicate isLeadByte,
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
    const std::string base = folder.substr(0, end) + ".previous";
    for (int n = 1; n <= 9; ++n) {
        const std::string candidate = base + (n > 1 ? std::to_string(n) : "") + "\\";
        const std::string candidateKey = FolderKey(candidate, isLeadByte);
        const bool clear = std::none_of(avoid.begin(), avoid.end(),
                                        [&](const std::string& other) { return FoldersOverlap(candidateKey, other); });
        if (clear) {
            noBackup = NoBackup::None;
            return candidate;
        }
    }
    noBackup = NoBackup::NoName;
    return {};
}

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The log beside the script, whatever the current folder.
std::string LogFile() { return Quoted(std::string("%~dp0") + kLogName); }

// The script's lines, CR LF each. Every line that names an instance names
// it literally: cmd parses a CALL's arguments or a variable's value again.
class ScriptText {
public:
    void Line(const std::string& line) { text_ += line + "\r\n"; }
    // A line appended to the log beside the script, with date and time.
    void Log(const std::string& message) { Line(">>" + LogFile() + " ECHO %DATE% %TIME% " + message); }
    // A line on the console and in the log.
    void Say(const std::string& message) {
        Line("ECHO " + message);
        Log(message);
    }
    // Sets STATE to the state the manager reports for the service
    // (STOPPED, RUNNING, ...; empty when there is no such service). Decided
    // by the state, never by NET's exit code, and read from the line that
    // begins with STATE, whatever words the service's name holds.
    void QueryState(const std::string& name) {
        Line("SET STATE=");
        Line("FOR /F \"tokens=1,4\" %%A IN ('SC QUERY \"" + name + "\"') DO IF \"%%A\"==\"STATE\" SET STATE=%%B");
    }
    // Waits, up to |seconds| in rounds of five, until the service has
    // stopped; then goes on at |stopped|, or at |timedOut|. A count bounds
    // the wait, not the clock: %TIME% need not show seconds.
    void WaitUntilStopped(const std::string& name, const std::string& label, int seconds, const std::string& stopped,
                          const std::string& timedOut) {
        Line("SET /A WAITED=0");
        Line(":" + label);
        QueryState(name);
        Line("IF \"%STATE%\"==\"STOPPED\" GOTO " + stopped);
        Line("SET /A WAITED+=1");
        Line("IF %WAITED% GEQ " + std::to_string(seconds / 5) + " GOTO " + timedOut);
        Line("PING -n 6 127.0.0.1 >NUL");
        Line("GOTO " + label);
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

constexpr int kStopSeconds = 120;   // how long a service is given to stop
constexpr int kDeleteTries = 5;     // how often KORVAN\KORVAN is removed before the step fails
constexpr char kWaitAMinute[] = "PING -n 61 127.0.0.1 >NUL";  // TIMEOUT ends at once without console input

// A command's output is dropped and its errors go to the log.
std::string ErrorsToLog() { return " >NUL 2>>" + LogFile(); }

// Copies a folder whole (hidden files, attributes, read-only files
// overwritten) over another, without a chance to prompt.
std::string CopyWhole(const std::string& from, const std::string& to) {
    return "XCOPY " + Quoted(from + "*") + " " + Quoted(to) + " /E /I /H /K /R /Y <NUL" + ErrorsToLog();
}

// The block of one instance, |number| of |total|; |next| is the label the
// run goes on at when the instance is updated.
void WriteInstance(ScriptText& s, const Instance& instance, const std::string& source, int number,
                   const std::string& total, const std::string& next) {
    const std::string name = EscapePercent(instance.serviceName);
    const std::string folder = EscapePercent(instance.folder);
    const std::string backup = EscapePercent(instance.backup);
    const std::string at = "I" + std::to_string(number) + "_";
    const std::string who = std::to_string(number) + " of " + total + ": " + Quoted(name);
    const std::string subFolder = Quoted(folder + "KORVAN\\KORVAN");

    s.Line("");
    s.Line("REM ---- " + who + " in " + Quoted(folder));
    s.Line(":I" + std::to_string(number));
    s.Say(who + " ...");
    s.Log("  folder " + Quoted(folder));
    // Whether it runs now decides whether it must run after the update. A
    // state that cannot be read counts as running: the check after the
    // start is then kept, never skipped.
    s.Line("SET WAS_RUNNING=1");
    s.QueryState(name);
    s.Line("IF \"%STATE%\"==\"STOPPED\" SET WAS_RUNNING=0");

    s.Log("  stopping the service");
    s.Line("NET STOP " + Quoted(name) + " >NUL 2>&1");
    s.WaitUntilStopped(name, at + "STOPPING", kStopSeconds, at + "BACKUP", at + "NOT_STOPPED");

    s.Line(":" + at + "BACKUP");
    if (instance.backup.empty()) {
        s.Log(instance.noBackup == NoBackup::Root
                  ? "  no backup: the folder is a drive or share root, there is no folder beside it"
                  : "  no backup: every name beside the folder would touch the update folder or another instance");
    } else {
        s.Log("  backing up the folder to " + Quoted(backup));
        s.Line("IF EXIST " + Quoted(backup) + " RD /S /Q " + Quoted(backup) + ErrorsToLog());
        s.Line("IF EXIST " + Quoted(backup) + " GOTO " + at + "NO_BACKUP");
        s.Line(CopyWhole(folder, backup));
        s.Line("IF ERRORLEVEL 1 GOTO " + at + "NO_BACKUP");
    }

    s.Log("  removing " + subFolder);
    s.Line("SET /A TRIES=0");
    s.Line(":" + at + "REMOVING");
    s.Line("IF NOT EXIST " + subFolder + " GOTO " + at + "COPY");
    s.Line("RD /S /Q " + subFolder + ErrorsToLog());
    s.Line("IF NOT EXIST " + subFolder + " GOTO " + at + "COPY");
    s.Line("SET /A TRIES+=1");
    s.Line("IF %TRIES% GEQ " + std::to_string(kDeleteTries) + " GOTO " + at + "NOT_REMOVED");
    s.Line("PING -n 3 127.0.0.1 >NUL");
    s.Line("GOTO " + at + "REMOVING");

    s.Line(":" + at + "COPY");
    s.Log("  copying the update files");
    s.Line("XCOPY /Y /S " + Quoted(source + "\\*.*") + " " + Quoted(folder) + " <NUL" + ErrorsToLog());
    s.Line("IF ERRORLEVEL 1 GOTO " + at + "NOT_COPIED");

    s.Log("  starting the service, then waiting a minute");
    s.Line("NET START " + Quoted(name) + " >NUL 2>&1");
    s.Line(kWaitAMinute);
    s.QueryState(name);
    s.Line("IF \"%STATE%\"==\"RUNNING\" GOTO " + at + "DONE");
    s.Line("IF %WAS_RUNNING%==1 GOTO " + at + "NOT_RUNNING");
    s.Say(who + " updated. It was not running before the update and is not running now.");
    s.Line("GOTO " + next);
    s.Line(":" + at + "DONE");
    s.Say(who + " updated and running.");
    s.Line("GOTO " + next);

    // Failures before any file was touched.
    s.Line(":" + at + "NOT_STOPPED");
    s.Say(who + " did not stop within " + std::to_string(kStopSeconds / 60) +
          " minutes. None of its files were touched.");
    s.Line("GOTO " + at + "HALT");
    if (!instance.backup.empty()) {
        s.Line(":" + at + "NO_BACKUP");
        s.Say(who + " could not be backed up to " + Quoted(backup) +
              ". None of its files were touched; the service is started again.");
        s.Line("IF %WAS_RUNNING%==1 NET START " + Quoted(name) + " >NUL 2>&1");
        s.Line("GOTO " + at + "HALT");
    }

    // Failures after the backup: the previous version comes back.
    s.Line(":" + at + "NOT_REMOVED");
    s.Say(who + ": " + subFolder + " could not be removed.");
    s.Line("GOTO " + at + "RESTORE");
    s.Line(":" + at + "NOT_COPIED");
    s.Say(who + ": the update files could not be copied.");
    s.Line("GOTO " + at + "RESTORE");
    s.Line(":" + at + "NOT_RUNNING");
    s.Say(who + " is not running a minute after its start.");
    s.Line("GOTO " + at + "RESTORE");

    s.Line(":" + at + "RESTORE");
    if (instance.backup.empty()) {
        s.Say(who + " has no backup to restore: its folder keeps what the update left.");
    } else {
        s.Say(who + ": restoring the previous version from " + Quoted(backup));
        s.Line("NET STOP " + Quoted(name) + " >NUL 2>&1");
        s.WaitUntilStopped(name, at + "STOPPING_AGAIN", kStopSeconds, at + "RESTORING", at + "NOT_RESTORED");
        s.Line(":" + at + "RESTORING");
        s.Line(CopyWhole(backup, folder));
        s.Line("IF ERRORLEVEL 1 GOTO " + at + "NOT_RESTORED");
        s.Say(who + ": the previous version is restored.");
    }
    s.Line("IF %WAS_RUNNING%==0 GOTO " + at + "HALT");
    s.Log("  starting the previous version");
    s.Line("NET START " + Quoted(name) + " >NUL 2>&1");
    s.Line("GOTO " + at + "HALT");
    if (!instance.backup.empty()) {
        s.Line(":" + at + "NOT_RESTORED");
        s.Say(who + " could not be restored. Copy " + Quoted(backup) + " over " + Quoted(folder) + " by hand.");
    }
    s.Line(":" + at + "HALT");
    s.Say("Update stopped at " + who + ". The instances after it were not touched. Exit code 1.");
    s.Line("EXIT /B 1");
}

}  // namespace

std::string UpdateScript(const std::string& updateFolder, const std::vector<Instance>& instances) {
    std::vector<const Instance*> written;
    for (const Instance& instance : instances)
        if (CheckInstance(instance) == LeftOut::None) written.push_back(&instance);
    const std::string total = std::to_string(written.size());
    const std::string source = EscapePercent(updateFolder);

    ScriptText s;
    // Delayed expansion would read a ! in a name or folder as a variable.
    s.Line("@SETLOCAL ENABLEEXTENSIONS DISABLEDELAYEDEXPANSION");
    s.Line("@ECHO OFF");
    s.Line("REM Written by Quilmarsk: updates each Korvane instance from the update folder, one after");
    s.Line("REM another. Each is stopped, its folder backed up beside it (<folder>.previous), KORVAN\\KORVAN");
    s.Line("REM removed, the update files copied over the folder, and the service started and checked a");
    s.Line("REM minute later. The first instance that fails gets its previous version back and ends the");
    s.Line("REM run with exit code 1; the instances after it are not touched. Every step goes to");
    s.Line(std::string("REM ") + kLogName + " beside this script.");
    s.Line("");
    s.Say("Update of " + total + " instances from " + Quoted(source) + " started.");
    s.Line("DIR /B /S /A-D " + Quoted(source) + " >NUL 2>&1");
    s.Line("IF ERRORLEVEL 1 GOTO NO_UPDATE_FILES");
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::string next = i + 1 < written.size() ? "I" + std::to_string(i + 2) : "FINISHED";
        WriteInstance(s, *written[i], source, static_cast<int>(i + 1), total, next);
    }
    s.Line("");
    s.Line(":FINISHED");
    s.Say("Update finished: all " + total + " instances updated. Exit code 0.");
    s.Line("EXIT /B 0");
    s.Line("");
    s.Line(":NO_UPDATE_FILES");
    s.Say("Update stopped: the update folder " + Quoted(source) +
          " does not exist or holds no files. No instance was touched. Exit code 1.");
    s.Line("EXIT /B 1");
    return s.text();
}

std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte) {
    return DriveAndDirectory(modulePath, isLeadByte) + kScriptName;
}

}  // namespace qm
