#include "actions/script.h"

#include <algorithm>
#include <set>


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

// How SC QUERY shows each state: the number and the English word, which
// stay the same in every language, unlike the label before them (STATE,
// STATUS, ETAT, ESTADO). Read from a file, never through FOR /F ('...'):
// the command in those parentheses runs in a child cmd, which expands
// %...% in a name once more.
const char* const kStates[][2] = {
    {" 4  RUNNING", "RUNNING"},          {" 1  STOPPED", "STOPPED"},
    {" 2  START_PENDING", "START_PENDING"}, {" 3  STOP_PENDING", "STOP_PENDING"},
    {" 5  CONTINUE_PENDING", "CONTINUE_PENDING"}, {" 6  PAUSE_PENDING", "PAUSE_PENDING"},
    {" 7  PAUSED", "PAUSED"},
};

bool CmdReadsLiterally(const std::string& text) {
    for (char c : text) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

}  // namespace

LeftOut CheckInstance(const Instance& instance) {
    if (!CmdReadsLiterally(instance.serviceName) || !CmdReadsLiterally(instance.folder) ||
        !CmdReadsLiterally(instance.beside.backup) || !CmdReadsLiterally(instance.beside.failed) ||
        !CmdReadsLiterally(instance.beside.mark)) {
        return LeftOut::Misread;
    }
    // SC QUERY names the service on a line of its own ("SERVICE_NAME: ...").
    for (const auto& state : kStates)
        if ((" " + instance.serviceName).find(state[0]) != std::string::npos) return LeftOut::StateLike;
    if (!IsAbsoluteFolder(instance.folder)) return LeftOut::NotAbsolute;
    if (!instance.beside.backup.empty() && !IsAbsoluteFolder(instance.beside.backup)) return LeftOut::NotAbsolute;
    return LeftOut::None;
}

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A file beside the script, whatever the current folder. Inside a CALLed
// label %0 is the label, but its modifiers still give the script's own
// path (ss64.com/nt/syntax-args.html; Wine's cmd alike).
std::string BesideScript(const char* name) { return Quoted(std::string("%~dp0") + name); }

// The folder without its closing backslash, as MOVE and RD name a folder.
std::string Unclosed(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
}

constexpr int kStopSeconds = 120;  // how long a service is given to stop
constexpr int kDeleteTries = 5;    // how often KORVAN\KORVAN is removed before the step fails
constexpr int kWatchRounds = 12;   // a reading every five seconds through the minute after a start
constexpr char kFiveSeconds[] = "PING -n 6 127.0.0.1 >NUL";  // TIMEOUT ends at once without console input

// The script's lines, CR LF each, and its labels: a label that is jumped
// to and never defined, or defined twice, makes the script incomplete.
class ScriptText {
public:
    void Line(const std::string& line) { text_ += line + "\r\n"; }
    // A line appended to the log, with date and time.
    void Log(const std::string& message) { Line(">>" + BesideScript(kLogName) + " ECHO %DATE% %TIME% " + message); }
    // A line on the console and in the log.
    void Say(const std::string& message) {
        Line("ECHO " + message);
        Log(message);
    }
    void Label(const std::string& label) {
        complete_ = complete_ && defined_.insert(label).second;
        Line(":" + label);
    }
    std::string Goto(const std::string& label) {
        used_.insert(label);
        return "GOTO " + label;
    }
    std::string Call(const std::string& label) {
        used_.insert(label);
        return "CALL :" + label;
    }
    // Sets STATE to the service's state (UNKNOWN when SC QUERY shows none).
    void ReadState(const std::string& name) {
        Line("SC QUERY " + Quoted(name) + " >" + BesideScript(kStateName) + " 2>&1");
        Line(Call("READ_STATE"));
    }
    bool Complete() const {
        return complete_ && std::includes(defined_.begin(), defined_.end(), used_.begin(), used_.end());
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::set<std::string> defined_, used_;
    bool complete_ = true;
};

// A command's output is dropped and its errors go to the log.
std::string ErrorsToLog() { return " >NUL 2>>" + BesideScript(kLogName); }

// Copies a folder whole (hidden files, attributes, read-only files
// overwritten) into another, without a chance to prompt. What XCOPY says
// is kept in the state file, to be shown if it fails.
std::string CopyWhole(const std::string& from, const std::string& to) {
    return "XCOPY " + Quoted(from + "*") + " " + Quoted(to) + " /E /I /H /K /R /Y <NUL >" + BesideScript(kStateName) +
           " 2>&1";
}

// Shows what the last command kept in the state file, and logs it.
void ShowState(ScriptText& s) {
    s.Line("TYPE " + BesideScript(kStateName));
    s.Line("TYPE " + BesideScript(kStateName) + " >>" + BesideScript(kLogName));
}

// The recovery actions as SC FAILURE takes them: "" for no action, and
// actions= "" with reset= for none at all ("Sc failure", Windows Server
// command reference, learn.microsoft.com).
std::string ActionsArgument(const RecoveryActions& recovery) {
    std::string actions;
    for (const FailureAction& a : recovery.actions) {
        if (!actions.empty()) actions += "/";
        actions += (a.restart ? "restart/" : "\"\"/") + std::to_string(a.delayMilliseconds);
    }
    return actions.empty() ? "\"\"" : actions;
}

// What can go wrong with one instance, what the script shows with it, and
// where the run goes on.
enum class Shows {
    Message,     // the message alone
    Output,      // and what the failed command said
    Dependents,  // and the services that depend on it
    Backup,      // and what XCOPY said; the partial backup is removed
};
enum class Then {
    Halt,     // nothing to undo: it is left as it is
    Restart,  // none of its files were touched: started again if it was running
    Restore,  // its files were changed: the previous version comes back
};
struct Failure {
    const char* label;
    const char* message;  // after "<n> of <total>: "<name>""
    Shows shows;
    Then then;
};
const Failure kFailures[] = {
    {"UNREAD", " was not stopped: its state could not be read (SC QUERY).", Shows::Message, Then::Halt},
    {"NO_MARK", " was not stopped: the mark of the update could not be written beside its folder.", Shows::Message,
     Then::Halt},
    {"NO_CLEAR", " was not stopped: its recovery actions could not be cleared for the update.", Shows::Message,
     Then::Halt},
    {"DEPENDENTS", " was not stopped: other services that depend on it are running. They were not stopped:",
     Shows::Dependents, Then::Halt},
    {"NOT_STOPPED", " did not stop within 2 minutes. None of its files were touched.", Shows::Message,
     Then::Restart},
    {"NO_BACKUP", " could not be backed up; what was copied is removed, none of its files were touched:",
     Shows::Backup, Then::Restart},
    {"STARTED_BEFORE_BACKUP", " was started by another program before its backup. None of its files were touched.",
     Shows::Message, Then::Restart},
    {"STARTED", " was started by another program while its files were being changed.", Shows::Message,
     Then::Restore},
    {"NOT_REMOVED", ": KORVAN\\KORVAN could not be removed.", Shows::Message, Then::Restore},
    {"NOT_COPIED", ": the update files could not be copied:", Shows::Output, Then::Restore},
    {"NOT_RUNNING", " did not keep running for a minute after its start.", Shows::Message, Then::Restore},
};

class InstanceWriter {
public:
    InstanceWriter(ScriptText& s, const Instance& instance, const std::string& source, int number,
                   const std::string& total, const std::string& next)
        : s_(s),
          name_(EscapePercent(instance.serviceName)),
          folder_(EscapePercent(instance.folder)),
          backup_(EscapePercent(instance.beside.backup)),
          failed_(EscapePercent(instance.beside.failed)),
          mark_(EscapePercent(instance.beside.mark)),
          source_(source),
          at_("I" + std::to_string(number) + "_"),
          who_(std::to_string(number) + " of " + total + ": " + Quoted(name_)),
          first_("I" + std::to_string(number)),
          next_(next),
          instance_(instance) {}

    void Write() {
        s_.Line("");
        s_.Line("REM ---- " + who_ + " in " + Quoted(folder_));
        s_.Label(first_);
        s_.Say(who_ + " ...");
        s_.Log("  folder " + Quoted(folder_));
        s_.Line("SET FILES=untouched");
        s_.Line("SET WAS_RUNNING=");
        if (HasMark()) s_.Line("IF EXIST " + Quoted(mark_) + " " + Go("MARKED"));
        s_.ReadState(name_);
        s_.Line("IF \"%STATE%\"==\"UNKNOWN\" " + Go("UNREAD"));
        s_.Line("SET WAS_RUNNING=1");
        s_.Line("IF \"%STATE%\"==\"STOPPED\" SET WAS_RUNNING=0");
        if (HasMark()) {
            // Written before anything is done, so that a run cut short
            // leaves the next one knowing whether the service ran.
            s_.Line("IF %WAS_RUNNING%==1 >" + Quoted(mark_) + " ECHO running");
            s_.Line("IF %WAS_RUNNING%==0 >" + Quoted(mark_) + " ECHO stopped");
            s_.Line("IF NOT EXIST " + Quoted(mark_) + " " + Go("NO_MARK"));
        }
        s_.Line(Go("CLEAR"));
        if (HasMark()) Marked();

        ClearRecovery();
        Stop();
        Update();
        for (const Failure& failure : kFailures) Fail(failure);
        // Untouched: started again if it was running, then halted.
        s_.Label(At("UNTOUCHED"));
        s_.Line("IF %WAS_RUNNING%==1 NET START " + Quoted(name_) + " <NUL" + ErrorsToLog());
        s_.Line(Go("HALT"));
        Restore("RESTORE", "RESTORE_FAILED", Go("RESTORED"));
        s_.Label(At("RESTORED"));
        s_.Line("SET FILES=restored");
        s_.Say(who_ + ": the previous version is back in " + Quoted(folder_) + ".");
        s_.Line("IF %WAS_RUNNING%==0 " + Go("HALT"));
        s_.Log("  starting the previous version, then watching it for a minute");
        s_.Line("NET START " + Quoted(name_) + " <NUL" + ErrorsToLog());
        Watch("WATCH_PREVIOUS", "PREVIOUS_NOT_RUNNING");
        s_.Line(Go("HALT"));
        s_.Label(At("PREVIOUS_NOT_RUNNING"));
        s_.Say(who_ + " could not be restored: the previous version did not keep running for a minute after its "
                      "start.");
        s_.Line(Go("HALT"));
        s_.Label(At("RESTORE_FAILED"));
        s_.Line("SET FILES=changed");
        s_.Say(who_ + " could not be restored. Its previous version is in " + Quoted(backup_) +
               "; copy it over " + Quoted(folder_) + " by hand, or run this script again, which restores it first.");
        s_.Line(Go("HALT"));
        Halt();
    }

private:
    bool HasMark() const { return !instance_.beside.mark.empty(); }
    std::string At(const std::string& label) const { return at_ + label; }
    std::string Go(const std::string& label) { return s_.Goto(At(label)); }

    // Goes to |fail| unless the service is stopped.
    void RequireStopped(const std::string& fail) {
        s_.ReadState(name_);
        s_.Line("IF NOT \"%STATE%\"==\"STOPPED\" " + Go(fail));
    }

    // A mark left by a run that was cut short: whether the service ran
    // before it, and whether its backup was complete. With a complete
    // backup the folder may hold part of the update: the backup comes back
    // first, and the update goes on from there without a new backup.
    void Marked() {
        s_.Label(At("MARKED"));
        s_.Log("  a previous run did not finish with this instance: " + Quoted(mark_));
        s_.Line("SET WAS_RUNNING=1");
        s_.Line("FIND \"stopped\" " + Quoted(mark_) + " >NUL 2>&1");
        s_.Line("IF %ERRORLEVEL% EQU 0 SET WAS_RUNNING=0");
        s_.ReadState(name_);
        s_.Line("IF \"%STATE%\"==\"UNKNOWN\" " + Go("UNREAD"));
        s_.Line("FIND \"backup\" " + Quoted(mark_) + " >NUL 2>&1");
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go("CLEAR"));
        s_.Line("SET FILES=changed");
        s_.Say(who_ + ": a previous run was cut short after its backup; the previous version comes back from " +
               Quoted(backup_) + " first.");
        s_.Line(Go("CLEAR"));
    }

    // A restart queued by the service manager after a crash cannot be
    // cancelled: while the files change, the service has none to queue.
    void ClearRecovery() {
        s_.Label(At("CLEAR"));
        if (!instance_.recovery) {
            s_.Log("  its recovery actions could not be read when this script was written: left as they are");
        } else if (!instance_.recovery->actions.empty()) {
            s_.Log("  clearing its recovery actions (they were: reset " +
                   std::to_string(instance_.recovery->resetSeconds) + " s, actions " +
                   ActionsArgument(*instance_.recovery) + ")");
            s_.Line("SC FAILURE " + Quoted(name_) + " reset= 0 actions= \"\"" + ErrorsToLog());
            s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go("NO_CLEAR"));
        }
    }

    // Puts back what ClearRecovery cleared; a failure is logged and said.
    void PutBackRecovery() {
        if (!instance_.recovery || instance_.recovery->actions.empty()) return;
        s_.Log("  putting its recovery actions back");
        s_.Line("SC FAILURE " + Quoted(name_) + " reset= " + std::to_string(instance_.recovery->resetSeconds) +
                " actions= " + ActionsArgument(*instance_.recovery) + ErrorsToLog());
        s_.Line("IF %ERRORLEVEL% NEQ 0 ECHO " + who_ +
                ": its recovery actions could not be put back; set them in the Services console.");
    }

    // SC STOP, not NET STOP: NET asks before it stops dependent services,
    // and the question waits for ever; SC refuses with 1051 instead.
    void StopAndWait(const std::string& label, const std::string& stopped, const std::string& timedOut) {
        s_.Line("SC STOP " + Quoted(name_) + " >" + BesideScript(kStateName) + " 2>&1");
        s_.Line("IF %ERRORLEVEL% EQU 1051 " + Go("DEPENDENTS"));
        s_.Line("SET /A WAITED=0");
        s_.Label(At(label));
        s_.ReadState(name_);
        s_.Line("IF \"%STATE%\"==\"STOPPED\" " + Go(stopped));
        s_.Line("SET /A WAITED+=1");
        s_.Line("IF %WAITED% GEQ " + std::to_string(kStopSeconds / 5) + " " + Go(timedOut));
        s_.Line(kFiveSeconds);
        s_.Line(Go(label));
    }

    void Stop() {
        s_.Log("  stopping the service");
        StopAndWait("STOPPING", "STOPPED", "NOT_STOPPED");
        s_.Label(At("STOPPED"));
        if (HasMark()) {
            s_.Line("IF \"%FILES%\"==\"changed\" " + Go("RESTORE_FIRST"));
            s_.Log("  backing up the folder to " + Quoted(backup_));
            s_.Line("IF EXIST " + Quoted(backup_) + " RD /S /Q " + Quoted(Unclosed(backup_)) + " >" +
                    BesideScript(kStateName) + " 2>&1");
            s_.Line("IF EXIST " + Quoted(backup_) + " " + Go("NO_BACKUP"));
            RequireStopped("STARTED_BEFORE_BACKUP");
            s_.Line(CopyWhole(folder_, backup_));
            s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go("NO_BACKUP"));
            s_.Line(">>" + Quoted(mark_) + " ECHO backup");
            s_.Line(Go("REMOVE"));
            Restore("RESTORE_FIRST", "RESTORE_FAILED", Go("REMOVE"));
        } else {
            s_.Log(instance_.noBackup == NoBackup::Root
                       ? "  no backup: the folder is a drive or share root, there is no folder beside it"
                       : "  no backup: every name beside the folder would touch the update folder or another "
                         "instance");
        }
    }

    void Update() {
        const std::string subFolder = Quoted(folder_ + "KORVAN\\KORVAN");
        s_.Label(At("REMOVE"));
        s_.Line("SET FILES=changed");
        s_.Log("  removing " + subFolder);
        s_.Line("SET /A TRIES=0");
        s_.Label(At("REMOVING"));
        RequireStopped("STARTED");
        s_.Line("IF NOT EXIST " + subFolder + " " + Go("COPY"));
        s_.Line("RD /S /Q " + subFolder + ErrorsToLog());
        s_.Line("IF NOT EXIST " + subFolder + " " + Go("COPY"));
        s_.Line("SET /A TRIES+=1");
        s_.Line("IF %TRIES% GEQ " + std::to_string(kDeleteTries) + " " + Go("NOT_REMOVED"));
        s_.Line("PING -n 3 127.0.0.1 >NUL");
        s_.Line(Go("REMOVING"));

        s_.Label(At("COPY"));
        s_.Log("  copying the update files");
        RequireStopped("STARTED");
        s_.Line("XCOPY /Y /S " + Quoted(source_ + "\\*.*") + " " + Quoted(folder_) + " <NUL >" +
                BesideScript(kStateName) + " 2>&1");
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go("NOT_COPIED"));

        s_.Log("  starting the service, then watching it for a minute");
        s_.Line("NET START " + Quoted(name_) + " <NUL" + ErrorsToLog());
        s_.Line("IF %WAS_RUNNING%==0 " + Go("MAY_STAY_STOPPED"));
        Watch("WATCH", "NOT_RUNNING");
        s_.Say(who_ + " updated and running.");
        s_.Line(Go("DONE"));
        s_.Label(At("MAY_STAY_STOPPED"));
        s_.Line("PING -n 61 127.0.0.1 >NUL");  // the minute, as for any instance
        s_.ReadState(name_);
        s_.Say(who_ + " updated. It was not running before the update and is %STATE% now.");
        s_.Label(At("DONE"));
        PutBackRecovery();
        if (HasMark()) s_.Line("DEL " + Quoted(mark_) + ErrorsToLog());
        s_.Line(s_.Goto(next_));
    }

    // Reads the state every five seconds for a minute: a crash leaves it
    // STOPPED until the service manager restarts it, and a service that
    // is not RUNNING at any reading has not kept running.
    void Watch(const std::string& label, const std::string& fail) {
        s_.Line("SET /A ROUNDS=0");
        s_.Label(At(label));
        s_.Line(kFiveSeconds);
        s_.ReadState(name_);
        s_.Line("IF NOT \"%STATE%\"==\"RUNNING\" " + Go(fail));
        s_.Line("SET /A ROUNDS+=1");
        s_.Line("IF %ROUNDS% LSS " + std::to_string(kWatchRounds) + " " + Go(label));
    }

    void Fail(const Failure& failure) {
        s_.Label(At(failure.label));
        s_.Say(who_ + failure.message);
        switch (failure.shows) {
            case Shows::Message: break;
            case Shows::Dependents:
                // Lists the services that depend on it ("Sc enumdepend", Windows
                // Server command reference, learn.microsoft.com).
                s_.Line("SC ENUMDEPEND " + Quoted(name_) + " >" + BesideScript(kStateName) + " 2>&1");
                ShowState(s_);
                break;
            case Shows::Output: ShowState(s_); break;
            case Shows::Backup:
                ShowState(s_);
                s_.Line("IF EXIST " + Quoted(backup_) + " RD /S /Q " + Quoted(Unclosed(backup_)) + ErrorsToLog());
                s_.Line("IF EXIST " + Quoted(backup_) + " ECHO " + Quoted(backup_) + " could not be removed.");
                break;
        }
        switch (failure.then) {
            case Then::Halt: s_.Line(Go("HALT")); break;
            case Then::Restart: s_.Line(Go("UNTOUCHED")); break;
            case Then::Restore: s_.Line(Go("RESTORE")); break;
        }
    }

    // Brings the previous version back exactly: the service stopped, the
    // failed folder moved aside whole to .failed (it keeps what the update
    // left, for a look), the backup copied in its place. Goes on with
    // |restored| or at |failed|.
    void Restore(const std::string& label, const std::string& failed, const std::string& restored) {
        s_.Label(At(label));
        if (!HasMark()) {
            s_.Say(who_ + " has no backup to restore: its folder keeps what the update left.");
            s_.Line(Go("HALT"));
            return;
        }
        s_.Log("  restoring the previous version from " + Quoted(backup_));
        StopAndWait(label + "_STOPPING", label + "_STOPPED", failed);
        s_.Label(At(label + "_STOPPED"));
        s_.Line("IF EXIST " + Quoted(failed_) + " RD /S /Q " + Quoted(Unclosed(failed_)) + ErrorsToLog());
        s_.Line("IF EXIST " + Quoted(failed_) + " " + Go(failed));
        RequireStopped(failed);
        s_.Line("MOVE " + Quoted(Unclosed(folder_)) + " " + Quoted(Unclosed(failed_)) + " <NUL" + ErrorsToLog());
        s_.Line("IF EXIST " + Quoted(folder_) + " " + Go(failed));
        s_.Log("  the failed update's files are kept in " + Quoted(failed_));
        s_.Line(CopyWhole(backup_, folder_));
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(failed));
        s_.Line(restored);
    }

    void Halt() {
        s_.Label(At("HALT"));
        PutBackRecovery();
        s_.ReadState(name_);
        s_.Say(who_ + " is left %STATE%.");
        if (HasMark()) {
            // The mark stays while the folder may hold part of the update,
            // or the service does not run as it did: the next run knows.
            s_.Line("IF \"%FILES%\"==\"changed\" " + Go("KEEP_MARK"));
            s_.Line("IF \"%WAS_RUNNING%\"==\"1\" IF NOT \"%STATE%\"==\"RUNNING\" " + Go("KEEP_MARK"));
            s_.Line("IF EXIST " + Quoted(mark_) + " DEL " + Quoted(mark_) + ErrorsToLog());
            s_.Line(Go("HALTED"));
            s_.Label(At("KEEP_MARK"));
            s_.Log("  the mark stays, so that the next run restores or checks this instance first: " +
                   Quoted(mark_));
            s_.Label(At("HALTED"));
        }
        s_.Say("Update stopped at " + who_ + ". The instances after it were not touched. Exit code 1.");
        s_.Line("EXIT /B 1");
    }

    ScriptText& s_;
    const std::string name_, folder_, backup_, failed_, mark_, source_, at_, who_, first_, next_;
    const Instance& instance_;
};

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
    s.Line("REM removed, the update files copied over the folder, and the service started and watched for");
    s.Line("REM a minute. The first instance that fails gets its previous version back and ends the run");
    s.Line("REM with exit code 1; the instances after it are not touched. Every step goes to");
    s.Line(std::string("REM ") + kLogName + " beside this script. One run at a time: while " + kLockName);
    s.Line("REM is held by a run, another one ends at once with exit code 2.");
    s.Line("");
    // A file that a run holds open for writing cannot be opened so by a
    // second one: cmd does not run a command whose redirection fails, so
    // LOCKED stays set. The handle goes with the process that holds it:
    // a run that was killed leaves nothing behind that blocks the next.
    s.Line("SET LOCKED=1");
    s.Line(s.Call("RUN") + " 2>>" + BesideScript(kLockName));
    s.Line("IF DEFINED LOCKED " + s.Goto("LOCKED"));
    s.Line("EXIT /B %ERRORLEVEL%");
    s.Label("LOCKED");
    s.Line(std::string("ECHO Update not started: another run of this script holds ") + kLockName +
           ", or the folder of the script cannot be written. Nothing was touched. Exit code 2.");
    s.Line("EXIT /B 2");
    s.Line("");
    s.Label("RUN");
    s.Line("SET LOCKED=");
    // The log is written first, the same way: if it cannot be, nothing is touched.
    s.Line("SET LOGGED=");
    s.Line(s.Call("LOG_START") + " >>" + BesideScript(kLogName));
    s.Line("IF NOT DEFINED LOGGED " + s.Goto("NO_LOG"));
    s.Line("ECHO Update of " + total + " instances from " + Quoted(source) + " started.");  // logged by LOG_START
    s.Line("DIR /B /S /A-D " + Quoted(source) + " >NUL 2>&1");
    s.Line("IF %ERRORLEVEL% NEQ 0 " + s.Goto("NO_UPDATE_FILES"));
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::string next = i + 1 < written.size() ? "I" + std::to_string(i + 2) : "FINISHED";
        InstanceWriter(s, *written[i], source, static_cast<int>(i + 1), total, next).Write();
    }
    s.Line("");
    s.Label("FINISHED");
    s.Say("Update finished: all " + total + " instances updated. Exit code 0.");
    s.Line("EXIT /B 0");
    s.Line("");
    s.Label("NO_UPDATE_FILES");
    s.Say("Update stopped: the update folder " + Quoted(source) +
          " does not exist or holds no files. No instance was touched. Exit code 1.");
    s.Line("EXIT /B 1");
    s.Label("NO_LOG");
    s.Line(std::string("ECHO Update stopped: the log ") + kLogName +
           " beside this script cannot be written. No instance was touched. Exit code 1.");
    s.Line("EXIT /B 1");
    s.Line("");
    s.Label("LOG_START");
    s.Line("SET LOGGED=1");
    s.Line("ECHO %DATE% %TIME% Update of " + total + " instances from " + Quoted(source) + " started.");
    s.Line("EXIT /B 0");
    s.Line("");
    // STATE from what SC QUERY said last. FIND exits 0 when the text was
    // found, 1 when not, 2 when the file is missing (Windows commands
    // reference, "find", learn.microsoft.com).
    s.Label("READ_STATE");
    for (const auto& state : kStates) {
        s.Line("SET STATE=" + std::string(state[1]));
        s.Line("FIND " + Quoted(state[0]) + " " + BesideScript(kStateName) + " >NUL 2>&1");
        s.Line("IF %ERRORLEVEL% EQU 0 EXIT /B 0");
    }
    s.Line("SET STATE=UNKNOWN");
    s.Line("EXIT /B 0");
    return s.Complete() ? s.text() : std::string();
}

std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte) {
    return DriveAndDirectory(modulePath, isLeadByte) + kScriptName;
}

}  // namespace qm
