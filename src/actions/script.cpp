#include "actions/script.h"

#include <algorithm>
#include <array>
#include <set>

// The flow of one instance, as the script runs it:
//
//   mark  -> clear its recovery actions -> stop (waiting out pending
//   states) -> back up -> remove KORVAN\KORVAN -> copy the update ->
//   start -> watch a minute -> put the recovery actions back -> next
//
// and where each failure goes (the Failure table below):
//   before a file is touched        -> Untouched: started again if it ran, halt
//   nothing could be done at all    -> Halt: left as it is, halt
//   after a file was touched        -> Restore: the backup copied back over
//                                      the folder, started and watched, halt
//
// A run that was cut short leaves the mark beside the folder; the next run
// reads it first: with a complete backup recorded in it, the backup comes
// back before anything else.

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

constexpr char kRecoveryWord[] = "recovery";

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

std::string MarkRecoveryLine(const RecoveryActions& recovery) {
    return std::string(kRecoveryWord) + " " + std::to_string(recovery.resetSeconds) + " " + ActionsArgument(recovery);
}

namespace {

// The pieces of |text| between |separator|s; with a blank, between runs of
// blanks and tabs, empty pieces dropped. (No string streams: they bring the
// C++ library's locale machinery into the executable, doubling its size.)
std::vector<std::string> Pieces(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string piece;
    const auto end = [&] {
        if (separator != ' ' || !piece.empty()) pieces.push_back(piece);
        piece.clear();
    };
    for (const char c : text) {
        if (c == separator || (separator == ' ' && c == '\t')) {
            end();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) end();
    return pieces;
}

// A number of at most ten digits that fits 32 bits.
bool ReadNumber(const std::string& digits, std::uint32_t& number) {
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long long value = std::stoull(digits);
    if (value > 0xFFFFFFFFull) return false;
    number = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

std::optional<RecoveryActions> RecoveryFromMark(const std::string& mark) {
    for (std::string line : Pieces(mark, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> words = Pieces(line, ' ');
        RecoveryActions recovery;
        if (words.size() < 3 || words[0] != kRecoveryWord || !ReadNumber(words[1], recovery.resetSeconds)) continue;
        if (words[2] == "\"\"") return recovery;
        const std::vector<std::string> parts = Pieces(words[2], '/');
        bool whole = parts.size() % 2 == 0;
        for (std::size_t i = 0; whole && i < parts.size(); i += 2) {
            FailureAction action{parts[i] == "restart", 0};
            whole = (action.restart || parts[i] == "\"\"") && ReadNumber(parts[i + 1], action.delayMilliseconds);
            recovery.actions.push_back(action);
        }
        if (whole && !recovery.actions.empty()) return recovery;
    }
    return std::nullopt;
}

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A file beside the script, whatever the current folder. Inside a CALLed
// label %0 is the label, but its modifiers still give the script's own
// path (ss64.com/nt/syntax-args.html; Wine's cmd alike).
std::string BesideScript(const char* name) { return Quoted(std::string("%~dp0") + name); }

// The folder without its closing backslash, as RD names a folder.
std::string Unclosed(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
}

constexpr int kStopSeconds = 120;  // how long a service is given to stop
constexpr int kDeleteTries = 5;    // how often KORVAN\KORVAN is removed before the step fails
constexpr int kWatchRounds = 12;   // a reading every five seconds through the minute after a start
constexpr char kFiveSeconds[] = "PING -n 6 127.0.0.1 >NUL";  // TIMEOUT ends at once without console input

// A redirection that cannot be opened (a file another program holds
// against writing) makes cmd skip the command, or the whole block it is
// written for, without setting ERRORLEVEL ("File redirection in Windows
// and %errorlevel%", Stack Overflow). A log line may so be lost: each one
// counts itself lost unless its block ran, and the run says so at its
// end. No command is ever redirected to the log. (Wine's cmd runs the
// rest of such a block all the same, so there a lost line goes unsaid.)
bool ParenthesisOutsideQuotes(const std::string& text) {
    bool quoted = false;
    for (char c : text) {
        quoted ^= c == '"';
        if (!quoted && (c == ')' || c == '(')) return true;
    }
    return false;
}

// The script's lines, CR LF each, and its labels: a label that is jumped
// to and never defined, or defined twice, makes the script incomplete.
class ScriptText {
public:
    void Line(const std::string& line) { text_ += line + "\r\n"; }
    // A line appended to the log, with date and time, if |condition|.
    void Log(const std::string& message, const std::string& condition = {}) {
        // A parenthesis would end the block early.
        complete_ = complete_ && !ParenthesisOutsideQuotes(message);
        ToLog("ECHO %DATE% %TIME% " + message, condition);
    }
    // A line on the console and in the log.
    void Say(const std::string& message) {
        Line("ECHO " + message);
        Log(message);
    }
    void SayIf(const std::string& condition, const std::string& message) {
        Line("IF " + condition + " ECHO " + message);
        Log(message, condition);
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
    // Runs |command| with what it says kept in KVNUpdate.said, to be shown
    // if it fails. Where that file cannot be written, the command runs all
    // the same and says it on the console: a command is never skipped.
    // A command that writes a file of its own runs in a block: when that
    // file cannot be opened, cmd's own words go to the block's standard
    // error ("(command)2> filename  Redirect any CMD.exe error into a file",
    // ss64.com/nt/syntax-redirection.html), and its output still to the file.
    // The block's redirections stand before it, as the log's lines have
    // them. (Wine's cmd reads a numbered one there as a command named "2",
    // says it cannot find it, and runs the block unredirected.)
    void Capture(const std::string& command) {
        const std::string said = BesideScript(kSaidName);
        Line("IF EXIST " + said + " DEL " + said + " >NUL 2>&1");
        if (command[0] == '>') {
            Line("IF EXIST " + said + " 2>&1 (" + command + ")");
            Line("IF NOT EXIST " + said + " >" + said + " 2>&1 (" + command + ")");
        } else {
            Line("IF EXIST " + said + " " + command + " 2>&1");
            Line("IF NOT EXIST " + said + " " + command + " >" + said + " 2>&1");
        }
    }
    // Shows what the last captured command said, and logs it.
    void ShowSaid() {
        Line("TYPE " + BesideScript(kSaidName) + " 2>NUL");
        ToLog("TYPE " + BesideScript(kSaidName) + " 2>NUL", {});
    }
    // Sets STATE to the service's state: UNKNOWN when SC QUERY shows none,
    // or what it said could not be kept apart from an earlier answer.
    void ReadState(const std::string& name) {
        Line("SC QUERY " + Quoted(name) + " >" + BesideScript(kStateName) + " 2>&1");
        Line(Call("READ_STATE"));
    }
    // |command| with its output appended to the log, if |condition|.
    void ToLog(const std::string& command, const std::string& condition) {
        const std::string when = condition.empty() ? "" : "IF " + condition + " ";
        Line(when + "SET /A LOG_LOST+=1");
        Line(when + ">>" + BesideScript(kLogName) + " (" + command + "& SET /A LOG_LOST-=1)");
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

// Copies a folder whole into another: hidden and system files, empty
// folders, attributes, read-only files overwritten, without a chance to
// prompt ("xcopy", Windows commands reference, learn.microsoft.com).
// Not /O: Wine's XCOPY takes it for a bad switch and then drops every
// other switch, /Y included, and waits at a prompt.
std::string CopyWhole(const std::string& from, const std::string& to) {
    return "XCOPY " + Quoted(from + "*") + " " + Quoted(to) + " /E /I /H /K /R /Y <NUL";
}

// The permissions (DACLs) of every file and folder below |from|, saved,
// then put on the same names below |to| ("icacls", Windows commands
// reference, learn.microsoft.com: /save stores the DACLs of all matching
// files, /restore applies them to the files in a directory).
std::string SaveAcls(const std::string& from) {
    return "ICACLS " + Quoted(from + "*") + " /save " + BesideScript(kAclName) + " /T /C /Q";
}
std::string RestoreAcls(const std::string& to) {
    return "ICACLS " + Quoted(Unclosed(to)) + " /restore " + BesideScript(kAclName) + " /C /Q";
}

// What can go wrong with one instance.
enum class Failure {
    Unread, NoMark, NoClear, Dependents, StopRefused, NotStopped, NoBackup, NoBackupMark, StartedBeforeBackup,
    Started, NotRemoved, NotCopied, NotRunning,
};
// What the script shows with it.
enum class Shows {
    Message,     // the message alone
    Said,        // and what the failed command said
    Dependents,  // and the services that depend on it
    Backup,      // and what XCOPY said; the partial backup is removed
};
// Where the run goes on.
enum class Then {
    Halt,     // nothing to undo: it is left as it is
    Restart,  // none of its files were touched: started again if it was running
    Restore,  // its files were changed: the previous version comes back
};
struct FailureText {
    Failure failure;
    const char* label;
    const char* message;  // after "<n> of <total>: "<name>""
    Shows shows;
    Then then;
};
constexpr FailureText kFailures[] = {
    {Failure::Unread, "UNREAD", " was not stopped: its state could not be read. SC QUERY said:", Shows::Said,
     Then::Halt},
    {Failure::NoMark, "NO_MARK", " was not stopped: the mark of the update could not be written beside its folder:",
     Shows::Said, Then::Halt},
    {Failure::NoClear, "NO_CLEAR", " was not stopped: its recovery actions could not be cleared for the update:",
     Shows::Said, Then::Halt},
    {Failure::Dependents, "DEPENDENTS",
     " was not stopped: other services that depend on it are running. They were not stopped:", Shows::Dependents,
     Then::Halt},
    {Failure::StopRefused, "STOP_REFUSED", " was not stopped: the service manager refused to stop it:",
     Shows::Said, Then::Restart},
    {Failure::NotStopped, "NOT_STOPPED",
     " did not stop within 2 minutes. None of its files were touched. What SC STOP said last:", Shows::Said,
     Then::Restart},
    {Failure::NoBackup, "NO_BACKUP", " could not be backed up; what was copied is removed, none of its files were touched:",
     Shows::Backup, Then::Restart},
    {Failure::NoBackupMark, "NO_BACKUP_MARK",
     ": its backup could not be recorded in the mark beside its folder. None of its files were touched:",
     Shows::Said, Then::Restart},
    {Failure::StartedBeforeBackup, "STARTED_BEFORE_BACKUP",
     " was started by another program before its backup. None of its files were touched.", Shows::Message,
     Then::Restart},
    {Failure::Started, "STARTED", " was started by another program while its files were being changed.",
     Shows::Message, Then::Restore},
    {Failure::NotRemoved, "NOT_REMOVED", ": KORVAN\\KORVAN could not be removed:", Shows::Said, Then::Restore},
    {Failure::NotCopied, "NOT_COPIED", ": the update files could not be copied:", Shows::Said, Then::Restore},
    {Failure::NotRunning, "NOT_RUNNING", " did not keep running for a minute after its start. What NET START said:",
     Shows::Said, Then::Restore},
};
constexpr std::size_t kFailureCount = sizeof kFailures / sizeof kFailures[0];
constexpr const FailureText& TextOf(Failure failure) { return kFailures[static_cast<std::size_t>(failure)]; }
static_assert([] {
    for (std::size_t i = 0; i < kFailureCount; ++i)
        if (static_cast<std::size_t>(kFailures[i].failure) != i) return false;
    return true;
}(), "kFailures is in the order of Failure");

class InstanceWriter {
public:
    InstanceWriter(ScriptText& s, const Instance& instance, const std::string& source, int number,
                   const std::string& total, const std::string& next)
        : s_(s),
          name_(EscapePercent(instance.serviceName)),
          folder_(EscapePercent(instance.folder)),
          backup_(EscapePercent(instance.beside.backup)),
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
        s_.Line("SET MARKED=");
        s_.Line("SET KEEP_MARK=");
        if (HasMark()) {
            s_.Line("IF EXIST " + Quoted(mark_) + " " + Go("MARKED"));
            s_.Label(At("FRESH"));
        }
        // Without update files, only what a run cut short left is put right.
        s_.Line("IF DEFINED NO_FILES " + s_.Goto(next_));
        s_.ReadState(name_);
        s_.Line("IF \"%STATE%\"==\"UNKNOWN\" " + Go(Failure::Unread));
        // Running, paused or on its way there: it runs again after the
        // update. Stopped or being stopped: it stays stopped.
        s_.Line("SET WAS_RUNNING=1");
        s_.Line("IF \"%STATE%\"==\"STOPPED\" SET WAS_RUNNING=0");
        s_.Line("IF \"%STATE%\"==\"STOP_PENDING\" SET WAS_RUNNING=0");
        if (HasMark()) {
            // Written before anything is done, so that a run cut short
            // leaves the next one knowing whether the service ran, and
            // the recovery actions it cleared.
            s_.Line("SET MARK_STATE=running");
            s_.Line("IF %WAS_RUNNING%==0 SET MARK_STATE=stopped");
            s_.Capture(">" + Quoted(mark_) + " ECHO %MARK_STATE%");
            s_.Line("IF NOT EXIST " + Quoted(mark_) + " " + Go(Failure::NoMark));
            if (Clears()) {
                s_.Capture(">>" + Quoted(mark_) + " ECHO " + MarkRecoveryLine(*instance_.recovery));
                s_.Line("FIND \"" + std::string(kRecoveryWord) + "\" " + Quoted(mark_) + " >NUL 2>&1");
                s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(Failure::NoMark));
            }
            s_.Line(Go("CLEAR"));
            Marked();
        }

        ClearRecovery();
        Stop();
        Update();
        for (const FailureText& failure : kFailures)
            if (used_[static_cast<std::size_t>(failure.failure)]) Fail(failure);
        // Untouched: started again if it was running, then halted.
        s_.Label(At("UNTOUCHED"));
        s_.Line("IF %WAS_RUNNING%==1 NET START " + Quoted(name_) + " <NUL >NUL 2>&1");
        s_.Line(Go("HALT"));
        if (HasMark()) {
            Restore("RESTORE", "RESTORE_FAILED", {Go("RESTORED")});
            s_.Label(At("RESTORED"));
            s_.Line("SET FILES=restored");
            s_.Line("IF %WAS_RUNNING%==0 " + Go("HALT"));
            s_.Log("  starting the previous version, then watching it for a minute");
            s_.Capture("NET START " + Quoted(name_) + " <NUL");
            Watch("WATCH_PREVIOUS", Go("PREVIOUS_NOT_RUNNING"));
            s_.Line(Go("HALT"));
            s_.Label(At("PREVIOUS_NOT_RUNNING"));
            s_.Say(who_ + " could not be restored: the previous version did not keep running for a minute after "
                          "its start. What NET START said:");
            s_.ShowSaid();
            s_.Line("SET KEEP_MARK=1");
            s_.Line(Go("HALT"));
            s_.Label(At("RESTORE_FAILED"));
            s_.Line("SET FILES=unrestored");
            s_.Say(who_ + " could not be restored. Its previous version is whole in " + Quoted(backup_) +
                   "; copy it over " + Quoted(folder_) + " by hand, or run this script again, which restores it "
                   "first. What the copy said:");
            s_.ShowSaid();
            s_.Line(Go("HALT"));
        } else {
            s_.Label(At("RESTORE"));
            s_.Say(who_ + " has no backup to restore: its folder keeps what the update left.");
            s_.Line(Go("HALT"));
        }
        Halt();
    }

private:
    bool HasMark() const { return !instance_.beside.mark.empty(); }
    bool Clears() const { return instance_.recovery && !instance_.recovery->actions.empty(); }
    std::string At(const std::string& label) const { return at_ + label; }
    std::string Go(const std::string& label) { return s_.Goto(At(label)); }
    std::string Go(Failure failure) {
        used_[static_cast<std::size_t>(failure)] = true;
        return Go(TextOf(failure).label);
    }

    // Goes to |fail| unless the service is stopped.
    void RequireStopped(const std::string& fail) {
        s_.ReadState(name_);
        s_.Line("IF NOT \"%STATE%\"==\"STOPPED\" " + fail);
    }

    // A mark left by a run that was cut short: whether the service ran
    // before it, and whether its backup was complete. With a complete
    // backup the folder may hold part of the update: the backup comes back
    // first, and the update goes on from there without a new backup. The
    // mark stays until this instance is updated.
    void Marked() {
        s_.Label(At("MARKED"));
        s_.Log("  a previous run did not finish with this instance: " + Quoted(mark_));
        // Updated, and cut short while its recovery actions were put back:
        // its folder is the version that passed its minute.
        s_.Line("FIND \"updated\" " + Quoted(mark_) + " >NUL 2>&1");
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go("UNFINISHED"));
        s_.Line("IF DEFINED NO_FILES " + Go("DONE"));
        s_.Line(Go("FRESH"));
        s_.Label(At("UNFINISHED"));
        s_.Line("SET MARKED=1");
        s_.Line("SET WAS_RUNNING=1");
        s_.Line("FIND \"stopped\" " + Quoted(mark_) + " >NUL 2>&1");
        s_.Line("IF %ERRORLEVEL% EQU 0 SET WAS_RUNNING=0");
        s_.Line("FIND \"backup\" " + Quoted(mark_) + " >NUL 2>&1");
        s_.Line("IF %ERRORLEVEL% EQU 0 SET FILES=changed");
        s_.ReadState(name_);
        s_.Line("IF \"%STATE%\"==\"UNKNOWN\" " + Go(Failure::Unread));
        s_.Line("IF \"%FILES%\"==\"changed\" " + Go("BACKED_UP_BEFORE"));
        // The folder was not touched: without update files, it is only
        // started again if it ran.
        s_.Line("IF DEFINED NO_FILES " + Go("UNTOUCHED"));
        s_.Line(Go("CLEAR"));
        s_.Label(At("BACKED_UP_BEFORE"));
        s_.Say(who_ + ": a previous run was cut short after its backup; the previous version comes back from " +
               Quoted(backup_) + " first.");
    }

    // A restart queued by the service manager after a crash cannot be
    // cancelled: while the files change, the service has none to queue.
    void ClearRecovery() {
        s_.Label(At("CLEAR"));
        if (!instance_.recovery) {
            s_.Log("  its recovery actions could not be read when this script was written: left as they are");
        } else if (Clears()) {
            s_.Log("  clearing its recovery actions; they were: reset " +
                   std::to_string(instance_.recovery->resetSeconds) + " s, actions " +
                   ActionsArgument(*instance_.recovery));
            s_.Capture("SC FAILURE " + Quoted(name_) + " reset= 0 actions= \"\"");
            s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(Failure::NoClear));
        }
    }

    // Puts back what ClearRecovery cleared; a failure is said with sc's words.
    void PutBackRecovery(const std::string& label) {
        if (!Clears()) return;
        s_.Log("  putting its recovery actions back");
        s_.Capture("SC FAILURE " + Quoted(name_) + " reset= " + std::to_string(instance_.recovery->resetSeconds) +
                   " actions= " + ActionsArgument(*instance_.recovery));
        s_.Line("IF %ERRORLEVEL% EQU 0 " + Go(label));
        s_.Say(who_ + ": its recovery actions could not be put back; set them in the Services console. SC FAILURE "
                      "said:");
        s_.ShowSaid();
        s_.Line("SET KEEP_MARK=1");
        s_.Label(At(label));
    }

    // Asks the service to stop until it is stopped: a pending state is
    // waited out, and a stop it cannot take now (1061) or that finds it
    // not started (1062) is asked again; running dependents (1051) and
    // any other refusal end the wait with sc's words ("System Error
    // Codes", learn.microsoft.com).
    void StopAndWait(const std::string& label, const std::string& stopped, const std::string& timedOut,
                     const std::string& refused, const std::string& dependents) {
        s_.Line("IF EXIST " + BesideScript(kSaidName) + " DEL " + BesideScript(kSaidName) + " >NUL 2>&1");
        s_.Line("SET /A WAITED=0");
        s_.Label(At(label));
        s_.ReadState(name_);
        s_.Line("IF \"%STATE%\"==\"STOPPED\" " + stopped);
        s_.Line("IF \"%STATE%\"==\"RUNNING\" " + Go(label + "_ASK"));
        s_.Line("IF \"%STATE%\"==\"PAUSED\" " + Go(label + "_ASK"));
        s_.Line(Go(label + "_WAIT"));
        s_.Label(At(label + "_ASK"));
        s_.Capture("SC STOP " + Quoted(name_));
        s_.Line("IF %ERRORLEVEL% EQU 1051 " + dependents);
        s_.Line("IF %ERRORLEVEL% EQU 1061 " + Go(label + "_WAIT"));
        s_.Line("IF %ERRORLEVEL% EQU 1062 " + Go(label + "_WAIT"));
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + refused);
        // Asked: read again at once, as most services stop at once; each
        // ask counts a second against the bound.
        s_.Line("SET /A WAITED+=1");
        s_.Line("IF %WAITED% GEQ " + std::to_string(kStopSeconds) + " " + timedOut);
        s_.Line(Go(label));
        s_.Label(At(label + "_WAIT"));
        s_.Line("SET /A WAITED+=5");
        s_.Line("IF %WAITED% GEQ " + std::to_string(kStopSeconds) + " " + timedOut);
        s_.Line(kFiveSeconds);
        s_.Line(Go(label));
    }

    void Stop() {
        s_.Log("  stopping the service");
        StopAndWait("STOPPING", Go("STOPPED"), Go(Failure::NotStopped), Go(Failure::StopRefused),
                    Go(Failure::Dependents));
        s_.Label(At("STOPPED"));
        if (!HasMark()) {
            s_.Log(instance_.noBackup == NoBackup::Root
                       ? "  no backup: the folder is a drive or share root, there is no folder beside it"
                       : "  no backup: every name beside the folder would touch the update folder or another "
                         "instance");
            return;
        }
        s_.Line("IF \"%FILES%\"==\"changed\" " + Go("RESTORE_FIRST"));
        // A stopped instance may be stopped because it does not run: its
        // folder replaces a backup only where none is left by an earlier run.
        s_.Line("IF %WAS_RUNNING%==0 IF NOT DEFINED MARKED IF EXIST " + Quoted(backup_) + " " + Go("KEEP_BACKUP"));
        s_.Log("  backing up the folder to " + Quoted(backup_));
        s_.Line("IF NOT EXIST " + Quoted(backup_) + " " + Go("BACKUP_COPY"));
        s_.Capture("RD /S /Q " + Quoted(Unclosed(backup_)));
        s_.Line("IF EXIST " + Quoted(backup_) + " " + Go(Failure::NoBackup));
        s_.Label(At("BACKUP_COPY"));
        RequireStopped(Go(Failure::StartedBeforeBackup));
        s_.Capture(CopyWhole(folder_, backup_));
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(Failure::NoBackup));
        // A backup whose files lost their permissions would give them
        // others when it is copied back.
        s_.Capture(SaveAcls(folder_));
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(Failure::NoBackup));
        s_.Capture(RestoreAcls(backup_));
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(Failure::NoBackup));
        s_.Line(Go("BACKED_UP"));
        s_.Label(At("KEEP_BACKUP"));
        s_.Log("  it was not running, so its folder may hold no version that ran: the backup " + Quoted(backup_) +
               " of an earlier run is kept");
        s_.Label(At("BACKED_UP"));
        s_.Capture(">>" + Quoted(mark_) + " ECHO backup");
        s_.Line("FIND \"backup\" " + Quoted(mark_) + " >NUL 2>&1");
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(Failure::NoBackupMark));
        s_.Line(Go("REMOVE"));
        Restore("RESTORE_FIRST", "RESTORE_FAILED", {"IF DEFINED NO_FILES " + Go("RESTORED"), Go("REMOVE")});
    }

    void Update() {
        const std::string subFolder = Quoted(folder_ + "KORVAN\\KORVAN");
        s_.Label(At("REMOVE"));
        s_.Line("SET FILES=changed");
        s_.Log("  removing " + subFolder);
        s_.Line("SET /A TRIES=0");
        s_.Label(At("REMOVING"));
        RequireStopped(Go(Failure::Started));
        s_.Line("IF NOT EXIST " + subFolder + " " + Go("COPY"));
        s_.Capture("RD /S /Q " + subFolder);
        s_.Line("IF NOT EXIST " + subFolder + " " + Go("COPY"));
        s_.Line("SET /A TRIES+=1");
        s_.Line("IF %TRIES% GEQ " + std::to_string(kDeleteTries) + " " + Go(Failure::NotRemoved));
        s_.Line("PING -n 3 127.0.0.1 >NUL");
        s_.Line(Go("REMOVING"));

        s_.Label(At("COPY"));
        s_.Log("  copying the update files");
        RequireStopped(Go(Failure::Started));
        s_.Capture("XCOPY /Y /S /R " + Quoted(source_ + "\\*.*") + " " + Quoted(folder_) + " <NUL");
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(Failure::NotCopied));

        s_.Log("  starting the service, then watching it for a minute");
        s_.Capture("NET START " + Quoted(name_) + " <NUL");
        s_.Line("IF %WAS_RUNNING%==0 " + Go("MAY_STAY_STOPPED"));
        Watch("WATCH", Go(Failure::NotRunning));
        s_.Say(who_ + " updated and running.");
        s_.Line(Go("DONE"));
        s_.Label(At("MAY_STAY_STOPPED"));
        s_.Line("PING -n 61 127.0.0.1 >NUL");  // the minute, as for any instance
        s_.ReadState(name_);
        s_.Say(who_ + " updated. It was not running before the update and is %STATE% now.");
        s_.Label(At("DONE"));
        if (HasMark()) {
            // From here on, a run cut short must not bring the previous
            // version back over this one.
            s_.Line(">>" + Quoted(mark_) + " ECHO updated");
            s_.Line("FIND \"updated\" " + Quoted(mark_) + " >NUL 2>&1");
            s_.Line("IF %ERRORLEVEL% NEQ 0 DEL " + Quoted(mark_) + " >NUL 2>&1");
            s_.Line("IF EXIST " + Quoted(mark_) + " " + Go("MARK_UPDATED"));
            s_.Say(who_ + ": its mark could not be changed or removed; delete " + Quoted(mark_) +
                   " before the next run, which would otherwise bring the previous version back.");
            s_.Label(At("MARK_UPDATED"));
        }
        PutBackRecovery("PUT_BACK");
        if (HasMark()) {
            s_.Line("IF NOT DEFINED KEEP_MARK DEL " + Quoted(mark_) + " >NUL 2>&1");
        }
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
        s_.Line("IF NOT \"%STATE%\"==\"RUNNING\" " + fail);
        s_.Line("SET /A ROUNDS+=1");
        s_.Line("IF %ROUNDS% LSS " + std::to_string(kWatchRounds) + " " + Go(label));
    }

    void Fail(const FailureText& failure) {
        s_.Label(At(failure.label));
        s_.Say(who_ + failure.message);
        switch (failure.shows) {
            case Shows::Message: break;
            case Shows::Dependents:
                // SC STOP's refusal, then the services that depend on it ("Sc
                // enumdepend", Windows Server command reference, learn.microsoft.com).
                s_.ShowSaid();
                s_.Capture("SC ENUMDEPEND " + Quoted(name_));
                s_.ShowSaid();
                break;
            case Shows::Said: s_.ShowSaid(); break;
            case Shows::Backup:
                s_.ShowSaid();
                s_.Line("IF EXIST " + Quoted(backup_) + " RD /S /Q " + Quoted(Unclosed(backup_)) + " >NUL 2>&1");
                // A part of a backup left behind must not pass for a whole one.
                s_.Line("IF EXIST " + Quoted(backup_) + " SET KEEP_MARK=1");
                s_.Line("IF EXIST " + Quoted(backup_) + " ECHO " + Quoted(backup_) + " could not be removed.");
                break;
        }
        switch (failure.then) {
            case Then::Halt: s_.Line(Go("HALT")); break;
            case Then::Restart: s_.Line(Go("UNTOUCHED")); break;
            case Then::Restore: s_.Line(Go("RESTORE")); break;
        }
    }

    // Brings the previous version back: the service stopped, the backup
    // copied over the folder. The folder itself is never moved or removed:
    // Windows refuses to rename a folder while any file in it is open, and
    // the folder keeps its own permissions. Files that the update added and
    // the previous version did not have stay. Goes on with |restored| or
    // at |failed|.
    void Restore(const std::string& label, const std::string& failed, const std::vector<std::string>& restored) {
        s_.Label(At(label));
        s_.Log("  restoring the previous version from " + Quoted(backup_));
        StopAndWait(label + "_STOPPING", Go(label + "_STOPPED"), Go(failed), Go(failed), Go(failed));
        s_.Label(At(label + "_STOPPED"));
        // A file held for a moment (a scanner, a viewer) fails the copy:
        // it is tried a few times.
        s_.Line("SET /A TRIES=0");
        s_.Label(At(label + "_COPY"));
        RequireStopped(Go(failed));
        s_.Capture(CopyWhole(backup_, folder_));
        s_.Line("IF %ERRORLEVEL% EQU 0 " + Go(label + "_COPIED"));
        s_.Line("SET /A TRIES+=1");
        s_.Line("IF %TRIES% GEQ " + std::to_string(kDeleteTries) + " " + Go(failed));
        s_.Line("PING -n 3 127.0.0.1 >NUL");
        s_.Line(Go(label + "_COPY"));
        s_.Label(At(label + "_COPIED"));
        s_.Capture(SaveAcls(backup_));
        s_.Line("IF %ERRORLEVEL% NEQ 0 " + Go(label + "_NO_ACLS"));
        s_.Capture(RestoreAcls(folder_));
        s_.Line("IF %ERRORLEVEL% EQU 0 " + Go(label + "_ACLS"));
        s_.Label(At(label + "_NO_ACLS"));
        s_.Say(who_ + ": its files are back, but their permissions could not be put back; they take the folder's. "
                      "ICACLS said:");
        s_.ShowSaid();
        s_.Label(At(label + "_ACLS"));
        s_.Say(who_ + ": the previous version is back in " + Quoted(folder_) +
               ". Files that the update added stay there: any file of " + Quoted(source_) +
               " that the previous version did not have.");
        for (const std::string& line : restored) s_.Line(line);
    }

    void Halt() {
        s_.Label(At("HALT"));
        PutBackRecovery("HALT_PUT_BACK");
        s_.ReadState(name_);
        if (HasMark()) {
            s_.SayIf("\"%FILES%\"==\"changed\"", who_ + " could not be restored now: its folder may hold part of the "
                                                    "update. Its previous version is whole in " + Quoted(backup_) +
                                                    "; run this script again, which restores it first.");
        }
        s_.Say(who_ + " is left %STATE%.");
        if (HasMark()) {
            // The mark stays while the folder may hold part of the update,
            // the service does not run as it did, or it was found at the
            // start: the next run knows.
            s_.Line("IF \"%FILES%\"==\"changed\" SET KEEP_MARK=1");
            s_.Line("IF \"%FILES%\"==\"unrestored\" SET KEEP_MARK=1");
            s_.Line("IF DEFINED MARKED SET KEEP_MARK=1");
            s_.Line("IF \"%WAS_RUNNING%\"==\"1\" IF NOT \"%STATE%\"==\"RUNNING\" SET KEEP_MARK=1");
            s_.Line("IF NOT DEFINED KEEP_MARK IF EXIST " + Quoted(mark_) + " DEL " + Quoted(mark_) + " >NUL 2>&1");
            s_.Log("  the mark stays, so that the next run restores or checks this instance first: " + Quoted(mark_),
                   "DEFINED KEEP_MARK IF EXIST " + Quoted(mark_));
        }
        // Those after it that a run cut short left changed are named.
        s_.Line("SET /A HALTED_AT=" + first_.substr(1));
        s_.Line(s_.Call("LATER_MARKS"));
        s_.Line("IF DEFINED NO_FILES " + s_.Goto("NO_UPDATE_FILES"));
        s_.Say("Update stopped at " + who_ + ". The instances after it were not touched. Exit code 1.");
        s_.Line("SET CODE=1");
        s_.Line(s_.Goto("END"));
    }

    ScriptText& s_;
    const std::string name_, folder_, backup_, mark_, source_, at_, who_, first_, next_;
    const Instance& instance_;
    std::array<bool, kFailureCount> used_{};
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
    // Inside, standard error goes back to the console: the lock holds
    // nothing, and cmd's own words are seen.
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
    s.Line(s.Call("BODY") + " 2>&1");
    s.Line("EXIT /B %ERRORLEVEL%");
    s.Line("");
    s.Label("BODY");
    s.Line("SET /A LOG_LOST=0");
    // The log is written first, the same way: if it cannot be, nothing is touched.
    s.Line("SET LOGGED=");
    s.Line(s.Call("LOG_START") + " >>" + BesideScript(kLogName));
    s.Line("IF NOT DEFINED LOGGED " + s.Goto("NO_LOG"));
    s.Line("ECHO Update of " + total + " instances from " + Quoted(source) + " started.");  // logged by LOG_START
    s.Line("SET NO_FILES=");
    s.Line("DIR /B /S /A-D " + Quoted(source) + " >NUL 2>&1");
    s.Line("IF %ERRORLEVEL% NEQ 0 SET NO_FILES=1");
    s.SayIf("DEFINED NO_FILES", "The update folder " + Quoted(source) +
                                   " does not exist or holds no files: only what a run cut short left is put right.");
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::string next = i + 1 < written.size() ? "I" + std::to_string(i + 2) : "FINISHED";
        InstanceWriter(s, *written[i], source, static_cast<int>(i + 1), total, next).Write();
    }
    s.Line("");
    s.Label("FINISHED");
    s.Line("IF DEFINED NO_FILES " + s.Goto("NO_UPDATE_FILES"));
    s.Say("Update finished: all " + total + " instances updated. Exit code 0.");
    s.Line("SET CODE=0");
    s.Line(s.Goto("END"));
    s.Line("");
    s.Label("NO_UPDATE_FILES");
    s.Say("Update stopped: the update folder " + Quoted(source) +
          " does not exist or holds no files. No instance was updated; run this script again with the update "
          "files to update them. Exit code 1.");
    s.Line("SET CODE=1");
    s.Label("END");
    s.Line("IF NOT \"%LOG_LOST%\"==\"0\" ECHO Some lines could not be written to " + BesideScript(kLogName) +
           ": another program held it. This window showed every step.");
    s.Line("EXIT /B %CODE%");
    s.Label("NO_LOG");
    s.Line("SET /A HALTED_AT=0");
    s.Line(s.Call("LATER_MARKS"));
    s.Line(std::string("ECHO Update stopped: the log ") + kLogName +
           " beside this script cannot be written. No instance was touched. Exit code 1.");
    s.Line("EXIT /B 1");
    s.Line("");
    // After a halt: the instances after it that a run cut short left
    // with part of an update.
    s.Label("LATER_MARKS");
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i]->beside.mark.empty()) continue;
        const std::string mark = Quoted(EscapePercent(written[i]->beside.mark));
        const std::string message = std::to_string(i + 1) + " of " + total + ": " +
                                    Quoted(EscapePercent(written[i]->serviceName)) +
                                    " could not be restored by this run: a run that was cut short left its mark. If "
                                    "its update had begun, its previous version is whole in " +
                                    Quoted(EscapePercent(written[i]->beside.backup)) +
                                    "; run this script again, which restores it first.";
        s.SayIf("%HALTED_AT% LSS " + std::to_string(i + 1) + " IF EXIST " + mark, message);
    }
    s.Line("EXIT /B 0");
    s.Line("");
    s.Label("LOG_START");
    s.Line("SET LOGGED=1");
    s.Line("ECHO %DATE% %TIME% Update of " + total + " instances from " + Quoted(source) + " started.");
    s.Line("EXIT /B 0");
    s.Line("");
    // STATE from what SC QUERY said last. FIND exits 0 when the text was
    // found, 1 when not, 2 when the file is missing (Windows commands
    // reference, "find", learn.microsoft.com). The answer is removed once
    // read: one that cannot be is no answer to the next question.
    s.Label("READ_STATE");
    for (const auto& state : kStates) {
        s.Line("SET STATE=" + std::string(state[1]));
        s.Line("FIND " + Quoted(state[0]) + " " + BesideScript(kStateName) + " >NUL 2>&1");
        s.Line("IF %ERRORLEVEL% EQU 0 " + s.Goto("STATE_READ"));
    }
    s.Line("SET STATE=UNKNOWN");
    s.Label("STATE_READ");
    s.Line("IF \"%STATE%\"==\"UNKNOWN\" TYPE " + BesideScript(kStateName) + " >" + BesideScript(kSaidName) + " 2>&1");
    s.Line("DEL " + BesideScript(kStateName) + " >NUL 2>&1");
    s.Line("IF EXIST " + BesideScript(kStateName) + " SET STATE=UNKNOWN");
    s.Line("EXIT /B 0");
    return s.Complete() ? s.text() : std::string();
}

std::string ScriptPath(const std::string& modulePath, LeadBytePredicate isLeadByte) {
    return DriveAndDirectory(modulePath, isLeadByte) + kScriptName;
}

}  // namespace qm
