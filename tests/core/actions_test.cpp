#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>

#include "actions/change_account.h"
#include "actions/messages.h"
#include "actions/overview.h"
#include "support/fakes.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// A harness whose dialog shows |suffix| and whose administrator picks
// |folder| and confirms |account|/|password|.
struct AddHarness : Harness {
    AddHarness(const std::string& folder = "C:\\Korvane01", const std::string& account = "DOM\\svc",
               const std::string& password = "pw") {
        RefreshServiceList(context);
        user.folders = {folder};
        user.accounts = {{true, account, password}};
        rights.accounts = rights.serviceLogonHolders = {account};  // able to log on as a service
    }
    Strings MessageTexts() const {
        Strings out;
        for (const auto& m : user.messages) out.push_back(m.text);
        return out;
    }
};

TEST(Add, CreatesUnderTheAccountWithEventSource) {
    AddHarness h;
    h.view.suffixControl = "05";
    AddInstance(h.context);

    EXPECT_EQ(h.Calls("CreateService"),
              (Strings{"CreateService(Korvane Update Service 05, C:\\Korvane01\\KorvaneSrv.exe, \"DOM\\svc\", \"pw\")"}));
    EXPECT_EQ(h.Calls("WriteEventLogValues"), (Strings{"WriteEventLogValues(C:\\Korvane01\\KorvaneSrv.exe)"}));
    EXPECT_EQ(h.Calls("CreateEventLogKey"), (Strings{"CreateEventLogKey(Korvane Update Service 05)"}));
    EXPECT_EQ(h.Calls("SetRecoveryActions"), (Strings{"SetRecoveryActions(Korvane Update Service 05: reset 86400 s;"
                                                      " restart 60000 ms restart 60000 ms none 0 ms)"}));
    const Strings described = h.Calls("SetDescription(Korvane Update Service 05: ");
    ASSERT_EQ(described.size(), 1u);
    EXPECT_NE(described[0].find(" C:\\Korvane01)"), std::string::npos) << described[0];
    ASSERT_EQ(h.user.messages.size(), 1u);
    EXPECT_EQ(h.user.messages[0].text, text::kInstalled);
    EXPECT_EQ(h.user.messages[0].caption, "Quilmarsk");
    EXPECT_EQ(h.user.messages[0].icon, Icon::Information);
    EXPECT_EQ(h.view.list, (Strings{"Korvane Update Service 05"}));
    EXPECT_EQ(h.m_strSuffix, "06");
    EXPECT_EQ(h.view.pathControl, "C:\\Korvane01");
    // Closed in order: key, service, manager.
    const auto key = std::find(h.log.begin(), h.log.end(), "CloseKey");
    ASSERT_GE(h.log.end() - key, 3);
    EXPECT_EQ(Strings(key, key + 3),
              (Strings{"CloseKey", "CloseServiceHandle(service)", "CloseServiceHandle(manager)"}));
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

TEST(Add, PathsWithBlanksAreQuotedForTheServiceManagerOnly) {
    for (const auto& [folder, commandLine] :
         {std::pair<std::string, std::string>{"C:\\Program Files\\Korvane 05", "\"C:\\Program Files\\Korvane 05\\KorvaneSrv.exe\""},
          {"C:\\K\t05", "\"C:\\K\t05\\KorvaneSrv.exe\""},
          {"C:\\", "C:\\\\KorvaneSrv.exe"}}) {
        AddHarness h(folder);
        AddInstance(h.context);
        const FakeService* s = h.system.Find("Korvane Update Service 00");
        ASSERT_NE(s, nullptr) << folder;
        EXPECT_EQ(s->commandLine, commandLine);
        EXPECT_EQ(h.system.eventSources["Korvane Update Service 00"].messageFile, folder + "\\KorvaneSrv.exe");
    }
}

TEST(Add, PathTooLongFailsBeforeAnythingIsCreated) {
    // 259 characters is the most a path may have; quotes count.
    const std::string exe = "\\KorvaneSrv.exe";
    AddHarness fits("C:\\" + std::string(259 - 3 - exe.size(), 'a'));
    AddInstance(fits.context);
    EXPECT_EQ(fits.MessageTexts(), (Strings{text::kInstalled}));

    AddHarness over("C:\\" + std::string(260 - 3 - exe.size(), 'a'));
    AddInstance(over.context);
    EXPECT_EQ(over.MessageTexts(), (Strings{text::kInstallError}));

    AddHarness quoted("C:\\ " + std::string(259 - 4 - exe.size(), 'a'));  // + 2 quotes: 261
    AddInstance(quoted.context);
    EXPECT_EQ(quoted.MessageTexts(), (Strings{text::kInstallError}));
    EXPECT_EQ(quoted.Calls("OpenManager").size(), 1u);  // only the refresh before
    EXPECT_TRUE(quoted.Calls("CreateService").empty());
}

TEST(Add, CancelledPickerOrAccountDialogAddsNothing) {
    AddHarness picker;
    picker.user.folders = {std::nullopt};
    picker.m_strInstallPath = "C:\\Old";
    AddInstance(picker.context);
    EXPECT_TRUE(picker.Calls("AskAccount").empty());
    EXPECT_TRUE(picker.user.messages.empty());
    EXPECT_EQ(picker.m_strInstallPath, "C:\\Old");

    AddHarness account;
    account.m_strAccount = "kept";
    account.m_strPassword = "secret";
    account.user.accounts = {{false, "other", "x"}};
    AddInstance(account.context);
    EXPECT_EQ(account.m_strInstallPath, "C:\\Korvane01");
    EXPECT_EQ(account.view.pathControl, "C:\\Korvane01");
    EXPECT_EQ(account.m_strAccount, "kept");
    EXPECT_EQ(account.m_strPassword, "secret");
    EXPECT_EQ(account.Calls("OpenManager").size(), 1u);
    EXPECT_TRUE(account.user.messages.empty());
}

TEST(Add, RefusedAccountFallsBackToLocalSystem) {
    AddHarness h;
    h.system.RefuseAccount("DOM\\svc");
    AddInstance(h.context);
    EXPECT_EQ(h.Calls("CreateService"),
              (Strings{"CreateService(Korvane Update Service 00, C:\\Korvane01\\KorvaneSrv.exe, \"DOM\\svc\", \"pw\")",
                       "CreateService(Korvane Update Service 00, C:\\Korvane01\\KorvaneSrv.exe, null, null)"}));
    EXPECT_EQ(h.MessageTexts(), (Strings{text::kLocalSystemFallback, text::kInstalled}));
    EXPECT_EQ(h.user.messages[0].caption, "Quilmarsk Error");
    EXPECT_EQ(h.user.messages[0].icon, Icon::Stop);
    ASSERT_NE(h.system.Find("Korvane Update Service 00"), nullptr);
    EXPECT_FALSE(h.system.Find("Korvane Update Service 00")->account.has_value());
    EXPECT_EQ(h.view.list.size(), 1u);
}

TEST(Add, BothCreationsFailWithoutFallbackMessage) {
    AddHarness h;
    h.system.AddService("Korvane Update Service 01");
    RefreshServiceList(h.context);  // 01 alone proposes 02: type the taken one
    h.view.suffixControl = "01";
    const std::size_t fills = h.Calls("FillList").size();
    AddInstance(h.context);
    EXPECT_EQ(h.Calls("CreateService").size(), 2u);
    EXPECT_EQ(h.MessageTexts(), (Strings{text::kInstallError}));
    EXPECT_EQ(h.user.messages[0].caption, "Quilmarsk Error");
    EXPECT_EQ(h.Calls("FillList").size(), fills);  // not refreshed
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

TEST(Add, RefusedSuffixCreatesNothing) {
    AddHarness h;
    h.view.readOk = false;  // the framework has said why
    AddInstance(h.context);
    EXPECT_TRUE(h.Calls("CreateService").empty());
    EXPECT_TRUE(h.user.messages.empty());
    EXPECT_EQ(h.m_strAccount, "DOM\\svc");  // the confirmed account is kept all the same
}

TEST(Add, ManagerUnavailable) {
    AddHarness h;
    h.Fail(Op::OpenManager);
    AddInstance(h.context);
    EXPECT_EQ(h.MessageTexts(), (Strings{text::kInstallError}));
    EXPECT_TRUE(h.Calls("CreateService").empty());
}

TEST(Add, EventLogKeyFailureStillListsTheCreatedService) {
    AddHarness h;
    h.system.RefuseAccount("DOM\\svc");
    h.Fail(Op::CreateEventLogKey);
    AddInstance(h.context);
    EXPECT_EQ(h.MessageTexts(), (Strings{text::kLocalSystemFallback, text::kInstallError}));
    EXPECT_TRUE(h.Calls("WriteEventLogValues").empty());
    EXPECT_TRUE(h.Calls("CloseKey").empty());
    EXPECT_EQ(h.view.list, (Strings{"Korvane Update Service 00"}));
    EXPECT_EQ(h.m_strSuffix, "01");
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

TEST(Add, AccountIsOfferedAgainAndEmptyTextsAreNotNull) {
    AddHarness h("C:\\K", "", "");
    h.view.suffixControl = "";
    AddInstance(h.context);
    EXPECT_EQ(h.Calls("CreateService"),
              (Strings{"CreateService(Korvane Update Service , C:\\K\\KorvaneSrv.exe, \"\", \"\")"}));

    h.user.folders = {std::string("C:\\K2")};
    h.user.accounts = {{true, "DOM\\a", "p1"}};
    h.rights.accounts.insert("DOM\\a");
    AddInstance(h.context);
    h.user.folders = {std::string("C:\\K3")};
    h.user.accounts = {{false, "", ""}};
    AddInstance(h.context);
    ASSERT_EQ(h.user.accountPrefills.size(), 3u);
    EXPECT_EQ(h.user.accountPrefills[2], (std::pair<std::string, std::string>{"DOM\\a", "p1"}));
}

TEST(Add, GivesTheAccountTheRightToLogOnAsAService) {
    const std::string granted = "The account DOM\\svc has been granted the right to log on as a service";
    const std::string byHand = "Local Security Policy, under Local Policies / User Rights Assignment";
    struct Row {
        const char* what;
        std::string account;
        bool known, holds, refused;
        std::optional<Op> fail;
        Strings calls;
        std::string says;  // the start of the message after the others, or of the way by hand
        Icon icon;
    } rows[] = {
        // The check looks the account up first, the grant once more.
        {"granted", "DOM\\svc", true, false, false, {},
         {"LookUp(DOM\\svc)", "LookUp(DOM\\svc)", "Holds(SeServiceLogonRight)", "Grant(SeServiceLogonRight)"},
         granted, Icon::Information},
        {"already held", "DOM\\svc", true, true, false, {},
         {"LookUp(DOM\\svc)", "LookUp(DOM\\svc)", "Holds(SeServiceLogonRight)"}, "", Icon::None},
        {"grant fails", "DOM\\svc", true, false, false, Op::Grant,
         {"LookUp(DOM\\svc)", "LookUp(DOM\\svc)", "Holds(SeServiceLogonRight)", "Grant(SeServiceLogonRight)"},
         byHand, Icon::Warning},
        {"well-known", "nt authority\\NetworkService", false, false, false, {}, {}, "", Icon::None},
        {"empty", "", false, false, false, {}, {}, "", Icon::None},
        {"LocalSystem fallback", "DOM\\svc", true, false, true, {}, {"LookUp(DOM\\svc)"}, "", Icon::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        AddHarness h("C:\\K", row.account);
        h.rights.accounts.clear();
        h.rights.serviceLogonHolders.clear();
        if (row.known) h.rights.accounts.insert(row.account);
        if (row.holds) h.rights.serviceLogonHolders.insert(row.account);
        if (row.refused) h.system.RefuseAccount(row.account);
        if (row.fail) h.Fail(*row.fail);
        AddInstance(h.context);

        Strings calls = h.Calls("LookUp"), more = h.Calls("Holds"), grant = h.Calls("Grant");
        calls.insert(calls.end(), more.begin(), more.end());
        calls.insert(calls.end(), grant.begin(), grant.end());
        EXPECT_EQ(calls, row.calls);
        EXPECT_NE(h.system.Find("Korvane Update Service 00"), nullptr);  // installed in every case
        const std::size_t before = row.refused ? 2 : 1;
        ASSERT_EQ(h.user.messages.size(), before + (row.says.empty() ? 0 : 1));
        EXPECT_EQ(h.user.messages[before - 1].text, text::kInstalled);
        if (row.says.empty()) continue;
        const auto& last = h.user.messages.back();
        EXPECT_NE(last.text.find(row.says), std::string::npos) << last.text;
        EXPECT_EQ(last.text.find("The account " + row.account + " "), 0u) << last.text;
        EXPECT_NE(last.text.find("SeServiceLogonRight"), std::string::npos);
        EXPECT_EQ(last.icon, row.icon);
    }
}

// Each form of a name, with each answer of the look-up and the service
// logon: what LogonUserA got, and whether the instance was created. After a
// refusal the administrator cancels the dialog.
TEST(Add, ChecksTheAccountBeforeCreatingAnything) {
    const struct Form {
        std::string typed, logon;  // the name, and the user and domain LogonUserA got
    } forms[] = {{"DOM\\svc", "svc, DOM"}, {".\\svc", "svc, ."}, {"svc@dom.example", "svc@dom.example, null"},
                 {"svc", "svc, HOST"}};
    const struct Outcome {
        const char* what;
        bool known;
        std::vector<std::uint32_t> answers;  // of the logons, in turn
        std::size_t logons;
        std::vector<const char*> says;  // each with the account for its %s
        Icon last;
    } outcomes[] = {
        {"unknown", false, {}, 0, {text::kUnknownAccount}, Icon::Stop},
        {"wrong password", true, {1326}, 1, {text::kWrongPassword}, Icon::Stop},
        {"password expired", true, {1330}, 1, {text::kPasswordExpired}, Icon::Stop},
        {"password must change", true, {1907}, 1, {text::kPasswordExpired}, Icon::Stop},
        {"account expired", true, {1793}, 1, {text::kAccountExpired}, Icon::Stop},
        {"disabled", true, {1331}, 1, {text::kAccountDisabled}, Icon::Stop},
        {"locked out", true, {1909}, 1, {text::kAccountLockedOut}, Icon::Stop},
        {"1385, granted", true, {1385, 0}, 2, {text::kInstalled, text::kLogonRightGranted}, Icon::Information},
        {"1385 stays", true, {1385, 1385}, 2, {text::kInstalled, text::kServiceLogonDenied}, Icon::Stop},
    };
    for (const Form& form : forms) {
        for (const Outcome& outcome : outcomes) {
            SCOPED_TRACE(form.typed + " " + outcome.what);
            AddHarness h("C:\\K", form.typed);
            h.rights.serviceLogonHolders.clear();
            if (!outcome.known) h.rights.accounts.clear();
            h.rights.logonAnswers = outcome.answers;
            AddInstance(h.context);

            EXPECT_EQ(h.Calls("LogonUser"), Strings(outcome.logons, "LogonUser(" + form.logon + ", pw)"));
            Strings says;
            for (const char* format : outcome.says) says.push_back(text::Fill(format, form.typed));
            EXPECT_EQ(h.MessageTexts(), says);
            EXPECT_EQ(h.user.messages.back().icon, outcome.last);
            EXPECT_EQ(h.Calls("CreateService").size(), outcome.says.size() - 1);
        }
    }
}

// The kinds of account the check does not log on with, a managed account's
// name typed with a password, and an answer that says nothing of the password.
TEST(Add, ChecksEachKindOfAccountItsOwnWay) {
    const std::string gmsa = "DOM\\gmsa$", name = "Korvane Update Service 00";
    auto said = [](const char* format, const std::string& value) { return text::Fill(format, value); };
    const struct Row {
        std::string account, password;
        bool known;
        std::optional<Op> fail;
        Strings logons;
        std::string created;  // the password the creation got; empty: nothing created
        Strings says;
        std::uint32_t answer = 0;  // of the logon
    } rows[] = {
        {gmsa, "", true, Op::SetRecoveryActions, {}, "null",
         {text::kInstalled, said(text::kLogonRightGranted, gmsa), text::kRecoveryWarning}},
        {gmsa, "", false, {}, {}, "null", {text::kInstalled, said(text::kLogonRightWarning, gmsa)}},
        {gmsa, "pw", true, {}, {"LogonUser(gmsa$, DOM, pw)"}, "\"pw\"",
         {text::kInstalled, said(text::kLogonRightGranted, gmsa)}},
        {"NT SERVICE\\" + name, "pw", false, Op::SetDescription, {}, "null",
         {text::kInstalled, text::kDescriptionWarning}},
        {"nt service\\korvane update service 00", "", false, {}, {}, "null", {text::kInstalled}},
        {"NT SERVICE\\" + name + "1", "", false, {}, {}, "", {said(text::kVirtualAccountName, name)}},
        {"NT AUTHORITY\\LocalService", "pw", false, {}, {}, "\"pw\"", {text::kInstalled}},
        {"DOM\\svc", "pw", true, {}, {"LogonUser(svc, DOM, pw)"}, "\"pw\"",
         {text::Fill(text::kAccountNotChecked, {"DOM\\svc", "(error 1311)"}), text::kInstalled,
          said(text::kLogonRightGranted, "DOM\\svc")}, 1311},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.account + " " + row.password);
        AddHarness h("C:\\K", row.account, row.password);
        h.rights.serviceLogonHolders.clear();
        if (!row.known) h.rights.accounts.clear();
        h.rights.logonAnswers = {row.answer};
        if (row.fail) h.Fail(*row.fail);
        AddInstance(h.context);

        EXPECT_EQ(h.Calls("LogonUser"), row.logons);
        EXPECT_EQ(h.MessageTexts(), row.says);
        const std::string created = "CreateService(" + name + ", C:\\K\\KorvaneSrv.exe, \"" + row.account + "\", ";
        EXPECT_EQ(h.Calls("CreateService"), row.created.empty() ? Strings{} : Strings{created + row.created + ")"});
    }
}

TEST(Remove, StopsDeletesAndRefreshes) {
    Harness h;
    h.system.AddService("Korvane Update Service 01", "C:\\K\\KorvaneSrv.exe");
    h.system.AddService("Korvane Update Service 02", "C:\\K2\\KorvaneSrv.exe");
    RefreshServiceList(h.context);
    h.view.selection = 1;
    SelectionChanged(h.context);
    RemoveInstance(h.context);

    EXPECT_EQ(h.Calls("OpenService("), (Strings{"OpenService(Korvane Update Service 02)"}));
    const auto stop = std::find(h.log.begin(), h.log.end(), "StopService");
    ASSERT_NE(stop, h.log.end());
    EXPECT_EQ(*(stop + 1), "DeleteService");
    EXPECT_EQ(h.user.messages.size(), 1u);
    EXPECT_EQ(h.user.messages[0].text, text::kRemoved);
    EXPECT_EQ(h.user.messages[0].icon, Icon::Information);
    EXPECT_EQ(h.view.list, (Strings{"Korvane Update Service 01"}));
    // The list is rebuilt after the message.
    const auto shown = std::find(h.log.begin(), h.log.end(), "Message(" + std::string(text::kRemoved) + ", Quilmarsk, information)");
    EXPECT_NE(std::find(shown, h.log.end(), "FillList(1)"), h.log.end());
    EXPECT_EQ(h.view.pathControl, "C:\\K2\\");  // the removed service's folder stays
    EXPECT_EQ(h.m_strServiceName, "Korvane Update Service 02");
    EXPECT_EQ(h.system.OpenHandles(), 0u);

    // No selection now: only the refresh.
    const std::size_t fills = h.Calls("FillList").size();
    RemoveInstance(h.context);
    EXPECT_EQ(h.user.messages.size(), 1u);
    EXPECT_EQ(h.Calls("FillList").size(), fills + 2);
    EXPECT_EQ(h.Calls("OpenService(").size(), 1u);
}

TEST(Remove, UsesTheRememberedNameAndReportsFailures) {
    Harness h;
    h.system.AddService("Korvane Update Service 01");
    RefreshServiceList(h.context);
    h.view.selection = 0;
    h.m_strServiceName = "Korvane Update Service 09";  // gone since it was selected
    RemoveInstance(h.context);
    EXPECT_EQ(h.Calls("OpenService("), (Strings{"OpenService(Korvane Update Service 09)"}));
    EXPECT_TRUE(h.Calls("DeleteService").empty());
    EXPECT_EQ(h.user.messages.back().text, text::kRemoveError);
    EXPECT_EQ(h.user.messages.back().caption, "Quilmarsk Error");

    h.view.selection = 0;
    h.m_strServiceName = "Korvane Update Service 01";
    h.Fail(Op::DeleteService, 1);
    RemoveInstance(h.context);
    EXPECT_EQ(h.user.messages.back().text, text::kRemoveError);
    EXPECT_NE(h.system.Find("Korvane Update Service 01"), nullptr);

    h.view.selection = 0;
    h.Fail(Op::OpenManager);
    RemoveInstance(h.context);
    EXPECT_EQ(h.user.messages.back().text, text::kRemoveError);
    EXPECT_TRUE(h.view.list.empty());  // refreshed, and empty without a manager
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

TEST(Remove, WaitsForTheServiceToGoAndSaysWhenItStays) {
    for (bool ignoresStop : {false, true}) {
        SCOPED_TRACE(ignoresStop ? "ignores the stop" : "stops");
        Harness h;
        h.system.AddService("Korvane Update Service 01", "C:\\K\\KorvaneSrv.exe");
        h.system.Run("Korvane Update Service 01", ignoresStop);
        RefreshServiceList(h.context);
        h.view.selection = 0;
        SelectionChanged(h.context);
        RemoveInstance(h.context);

        ASSERT_EQ(h.user.messages.size(), 1u);
        EXPECT_FALSE(h.user.busy);
        EXPECT_EQ(h.user.messages[0].caption, "Quilmarsk");
        if (ignoresStop) {
            EXPECT_EQ(h.user.messages[0].text, text::kRemovePending);
            EXPECT_EQ(h.user.messages[0].icon, Icon::Warning);
            EXPECT_EQ(h.user.paused, 5000u);  // a bounded wait
            EXPECT_EQ(h.view.list, (Strings{"Korvane Update Service 01"}));
        } else {
            EXPECT_EQ(h.user.messages[0].text, text::kRemoved);
            EXPECT_EQ(h.user.paused, 0u);
            EXPECT_TRUE(h.view.list.empty());
        }
        // The wait cursor is on from the stop to the end of the wait.
        const auto on = std::find(h.log.begin(), h.log.end(), "ShowBusy(on)");
        const auto off = std::find(h.log.begin(), h.log.end(), "ShowBusy(off)");
        ASSERT_LT(on, off);
        EXPECT_EQ(*(on + 1), "StopService");
        EXPECT_EQ(*(off - 1), "ServiceGone(Korvane Update Service 01)");
        EXPECT_EQ(h.system.OpenHandles(), 0u);
    }
}

struct BatchHarness : Harness {
    static constexpr char kScript[] = "C:\\Tools\\KVNUpdate.cmd";
    BatchHarness() {
        host.files[kScript] = "previous";
        user.folders = {std::string("D:\\Upd")};
    }
};

TEST(Batch, WritesEveryReadableInstanceInEnumerationOrder) {
    BatchHarness h;
    h.system.AddService("Korvane Update Service 02", "C:\\S2\\KorvaneSrv.exe");
    h.system.AddService("Spooler", "C:\\Windows\\spool.exe");
    h.system.AddService("Korvane Main", "\"C:\\Program Files\\KM\\KorvaneSrv.exe\" -x");
    h.system.AddService("Korvane Update Service 01");  // no ImagePath: no block
    // Recovery actions read now are cleared for the update and put back
    // (each command twice: its words kept, or on the console alone).
    h.system.recovery["Korvane Main"] = {86400, {{true, 60000}, {false, 0}}};
    // Those a run cut short cleared are taken from the mark it left.
    h.host.files["C:\\S2.previous.unfinished"] = "running\r\n" + MarkRecoveryLine({3600, {{true, 1000}}}) + "\r\n";
    CreateBatch(h.context);

    const std::string& script = h.host.files[BatchHarness::kScript];
    const auto first = script.find("SC STOP \"Korvane Update Service 02\"");
    EXPECT_NE(first, std::string::npos);
    EXPECT_GT(script.find("SC STOP \"Korvane Main\""), first);
    EXPECT_EQ(CountOf(script, "SC FAILURE \"Korvane Main\" reset= 0 actions= \"\""), 2u);
    EXPECT_EQ(CountOf(script, "SC FAILURE \"Korvane Main\" reset= 86400 actions= restart/60000/\"\"/0"), 4u);
    EXPECT_EQ(CountOf(script, "SC FAILURE \"Korvane Update Service 02\" reset= 3600 actions= restart/1000 "), 4u);
    EXPECT_NE(script.find("\"C:\\Program Files\\KM\\KORVAN\\KORVAN\""), std::string::npos);
    EXPECT_EQ(script.find("Spooler"), std::string::npos);
    EXPECT_EQ(script.find("Service 01"), std::string::npos);
    ASSERT_EQ(h.user.messages.size(), 1u);
    EXPECT_EQ(h.user.messages[0].text,
              "Batch file\nC:\\Tools\\KVNUpdate.cmd\nsuccessfully created\n\n"
              "These services were left out of the batch file:\n"
              "Korvane Update Service 01: its executable path could not be read"
              "\n\n2 instances on an unknown version, unchanged; the run takes at least 2 min.");
    EXPECT_EQ(h.user.messages[0].caption, "(default)");
    EXPECT_EQ(h.user.messages[0].icon, Icon::None);
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

// Values an installer or a colleague may have left in the registry. Each
// row: the service, its "ImagePath" (std::nullopt: none), and either the
// folder its block names or why it has none.
TEST(Batch, HostileRegistryValues) {
    const std::string tooLong = "C:\\" + std::string(248, 'l') + "\\KorvaneSrv.exe";  // 266 characters
    const std::string longArgs = "C:\\K21\\KorvaneSrv.exe -config C:\\" + std::string(250, 'c');
    const struct Row {
        std::string name;
        std::optional<std::string> imagePath;
        std::string folder;  // as written in the script; empty: no block
        const char* reason;  // why not, when no block
    } rows[] = {
        {"Korvane Update Service 01", "C:\\K01\\KorvaneSrv.exe", "C:\\K01\\", nullptr},
        {"Korvane Update Service 08", "C:\\K08\r\nMD,C:\\INJ3\r\nREM,\\KorvaneSrv.exe", "", text::kLeftOutMisread},
        {"Korvane\r\nMD C:\\INJ4", "C:\\K\\KorvaneSrv.exe", "", text::kLeftOutMisread},
        {"Korvane \"Q\"", "C:\\K\\KorvaneSrv.exe", "", text::kLeftOutMisread},
        {"Korvane Ref", "%SystemRoot%\\K04\\KorvaneSrv.exe", "C:\\Windows\\K04\\", nullptr},
        {"Korvane Unknown Ref", "%Nowhere%\\K\\KorvaneSrv.exe", "", text::kLeftOutNotAbsolute},
        {"Korvane Percent", "C:\\K%5\\KorvaneSrv.exe", "C:\\K%%5\\", nullptr},
        {"Korvane 100% \xFC", "\"C:\\K 100%\\KorvaneSrv.exe\"", "C:\\K 100%%\\", nullptr},
        {"Korvane Accent", "C:\\K\xE9" "a\\KorvaneSrv.exe", "C:\\K\x82" "a\\", nullptr},
        {"Korvane Euro", "C:\\K\x80\\KorvaneSrv.exe", "", text::kLeftOutCodePage},
        {"Korvane Args", "C:\\K09\\KorvaneSrv.exe -config C:\\cfg\\k.ini", "C:\\K09\\", nullptr},
        {"Korvane Switch", "C:\\K10\\KorvaneSrv.EXE /service", "C:\\K10\\", nullptr},
        {"Korvane Quoted", "\"C:\\Program Files\\KM\\KorvaneSrv.exe\" -x", "C:\\Program Files\\KM\\", nullptr},
        {"Korvane Exe Folder", "C:\\Apps.exe files\\K11\\KorvaneSrv.exe", "C:\\Apps.exe files\\K11\\", nullptr},
        {"Korvane Gone", "C:\\Apps.exe files\\K12\\KorvaneSrv.exe", "", text::kLeftOutNoFile},
        {"Korvane Stray", "C:\\Program Files\\K 02\\KorvaneSrv.exe", "",
         "its executable path is not in quotes and names more than one file; the service manager runs C:\\Program.exe"},
        {"Korvane Long Args", longArgs, "C:\\K21\\", nullptr},
        {"Korvane Slashes", "C:/K22/KorvaneSrv.exe", "C:\\K22\\", nullptr},
        {"Korvane UNC", "\\\\srv\\share\\K\\KorvaneSrv.exe", "\\\\srv\\share\\K\\", nullptr},
        {"Korvane Three Slashes", "\\\\\\share\\K\\KorvaneSrv.exe", "", text::kLeftOutNotAbsolute},
        {"Korvane Drive Relative", "C:KorvaneSrv.exe", "", text::kLeftOutNotAbsolute},
        {"Korvane Relative", "K13\\KorvaneSrv.exe", "", text::kLeftOutNotAbsolute},
        {"Korvane Too Long", tooLong, "", text::kLeftOutTooLong},
        {"Korvane Cut Directory", "C:\\" + std::string(254, 'd') + "\\k", "", text::kLeftOutTooLong},  // 259
        {"Korvane Long Ref", "%Long%\\KorvaneSrv.exe", "", text::kLeftOutTooLong},
        {"Korvane Binary", "C:\\B\\KorvaneSrv.exe", "", text::kLeftOutNotText},
        {"Korvane No Path", std::nullopt, "", text::kLeftOutUnreadable},
    };
    BatchHarness h;
    h.host.environment["Long"] = "C:\\" + std::string(300, 'v');
    h.user.folders = {std::string("D:\\Up%d")};
    for (const Row& row : rows) h.system.AddService(row.name, row.imagePath);
    h.system.binaryImagePaths.insert("Korvane Binary");
    for (const char* file : {"C:\\K09\\KorvaneSrv.exe", "C:\\K10\\KorvaneSrv.EXE", "C:\\K21\\KorvaneSrv.exe",
                             "C:\\Apps.exe files\\K11\\KorvaneSrv.exe", "C:\\Program.exe",
                             "C:\\Program Files\\K 02\\KorvaneSrv.exe"}) {
        h.host.files[file];
    }
    CreateBatch(h.context);

    const std::string& script = h.host.files[BatchHarness::kScript];
    const std::string message = h.user.messages.at(0).text;
    std::size_t blocks = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string copy = "XCOPY /Y /S /R \"D:\\Up%%d\\*.*\" \"" + row.folder + "\"";
        if (row.reason) {
            EXPECT_NE(message.find("\n" + row.name + ": " + row.reason), std::string::npos) << message;
        } else {
            EXPECT_EQ(CountOf(script, copy), 2u) << script;
            ++blocks;
        }
    }
    EXPECT_EQ(CountOf(script, "XCOPY /Y /S /R"), 2 * blocks);
    EXPECT_EQ(script.find("INJ"), std::string::npos);
    EXPECT_NE(script.find("SC STOP \"Korvane 100%% \x81\""), std::string::npos);  // in code page 437
}

TEST(Batch, LongListsOfLeftOutServicesAreCut) {
    for (const auto& [count, more] : {std::pair{17, "\n... and 2 more"}, {15, ""}}) {
        BatchHarness h;
        for (int i = 0; i < count; ++i) h.system.AddService("Korvane " + std::to_string(i));
        CreateBatch(h.context);
        const std::string message = h.user.messages.at(0).text;
        EXPECT_EQ(CountOf(message, ": its executable path could not be read"), 15u);
        const std::size_t cut = message.find("\n... and ");
        EXPECT_EQ(cut == std::string::npos ? "" : message.substr(cut), more) << count;
    }
}

// An update folder the script cannot name, or one that the script would
// destroy or spread: it is, holds, or lies inside an instance's folder. Or
// Quilmarsk kept where the update changes files: the script beside it
// would be overwritten while it runs.
TEST(Batch, UpdateFolderTheScriptCannotNameOrWouldHarmWritesNothing) {
    const struct Row {
        const char* folder;
        const char* instance;  // named in the message
        const char* tool = "C:\\Tools\\Quilmarsk.exe";
        const char* third = nullptr;  // another instance's executable
        bool running = false;         // a run of the script holds its lock
    } rows[] = {
        {"Desktop", nullptr},
        {"D:\\Upd\x80", nullptr},
        {"C:\\K01\\KORVAN\\KORVAN\\upd", "Korvane Update Service 01"},
        {"c:\\k01", "Korvane Update Service 01"},
        {"C:\\", "Korvane Update Service 01"},
        {"D:\\Upd", "Korvane Update Service 02"},
        {"D:\\New", "the update folder", "D:\\New\\Quilmarsk.exe"},
        {"D:\\New", "Korvane Update Service 01", "C:\\K01\\Tools\\Quilmarsk.exe"},
        {"D:\\New", "C:\\K01.previous\\", "c:\\k01.PREVIOUS\\Quilmarsk.exe"},
        {"D:\\New", "C:\\K01.failed\\", "C:\\K01.failed\\Quilmarsk.exe"},
        {"D:\\New", "Korvane Update Service 03", "C:\\Tools\\Quilmarsk.exe", "c:\\K01\\sub\\KorvaneSrv.exe"},
        {"D:\\New", "Korvane Update Service 03", "C:\\Tools\\Quilmarsk.exe", "C:\\K01\\KorvaneSrv.exe"},
        {"D:\\New", "C:\\Tools\\KVNUpdate.lock", "C:\\Tools\\Quilmarsk.exe", nullptr, true},
    };
    for (const Row& row : rows) {
        BatchHarness h;
        h.system.AddService("Korvane Update Service 01", "C:\\K01\\KorvaneSrv.exe");
        h.system.AddService("Korvane Update Service 02", "D:\\Upd\\K02\\KorvaneSrv.exe");
        h.user.folders = {std::string(row.folder)};
        h.user.modulePath = row.tool;
        if (row.third) h.system.AddService("Korvane Update Service 03", row.third);
        if (row.running) h.host.inUse.insert("C:\\Tools\\KVNUpdate.lock");
        h.host.files[ScriptPath(row.tool, nullptr)] = "previous";
        CreateBatch(h.context);
        EXPECT_EQ(h.host.files[ScriptPath(row.tool, nullptr)], "previous") << row.folder;
        EXPECT_EQ(h.user.messages.at(0).icon, Icon::Stop) << row.folder;
        const bool toolRow = std::string(row.tool) != "C:\\Tools\\Quilmarsk.exe";
        const std::string named = row.third ? "Korvane Update Service 01" : toolRow ? DriveAndDirectory(row.tool, nullptr)
                                  : row.running ? "an update run is in progress" : row.folder;
        EXPECT_NE(h.user.messages.at(0).text.find(named), std::string::npos) << h.user.messages.at(0).text;
        if (row.instance) {
            EXPECT_NE(h.user.messages.at(0).text.find(row.instance), std::string::npos) << h.user.messages.at(0).text;
        }
    }
}

TEST(Batch, NoFamilyServiceWritesAScriptThatTouchesNothing) {
    BatchHarness h;
    h.system.AddService("Spooler", "C:\\Windows\\spool.exe");
    CreateBatch(h.context);
    EXPECT_EQ(h.host.files[BatchHarness::kScript], UpdateScript("D:\\Upd", {}));
    EXPECT_EQ(h.user.messages.at(0).text, "Batch file\nC:\\Tools\\KVNUpdate.cmd\nsuccessfully created");
}

TEST(Batch, FailuresKeepThePreviousScriptAndSayWhy) {
    struct Case {
        Op fail;
        std::string message;
    } cases[] = {
        {Op::OpenManager, text::kBatchServicesError},
        {Op::EnumServices, text::kBatchServicesError},
        {Op::WriteFileAtomically, "The batch file\nC:\\Tools\\KVNUpdate.cmd\ncould not be written.\n"
                                  "The previous batch file, if any, is unchanged."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        BatchHarness h;
        h.system.AddService("Korvane Update Service 01", "C:\\S\\KorvaneSrv.exe");
        h.Fail(c.fail);
        CreateBatch(h.context);
        EXPECT_EQ(h.host.files[BatchHarness::kScript], "previous");
        ASSERT_EQ(h.user.messages.size(), 1u);
        EXPECT_EQ(h.user.messages[0].text, c.message);
        EXPECT_EQ(h.user.messages[0].caption, "Quilmarsk Error");
        EXPECT_EQ(h.user.messages[0].icon, Icon::Stop);
        EXPECT_EQ(h.system.OpenHandles(), 0u);
    }
}

// Two instances, C:\K01 and D:\K02, on version 1.0.0.0, and an update
// to 2.0.0.0, with room on both volumes. Each row changes one thing and
// names the line whose Problem cell says so; the window is shown before
// anything is written, and its answer decides.
struct PlanHarness : BatchHarness {
    static constexpr char kOne[] = "Korvane Update Service 01";
    static constexpr char kTwo[] = "Korvane Update Service 02";
    PlanHarness() {
        const std::vector<FolderEntry> files{{"KorvaneSrv.exe", 1000}, {"lib", 0, true}, {"lib\\a.dll", 500}};
        for (const auto& [name, folder] : {std::pair{kOne, "C:\\K01"}, std::pair{kTwo, "D:\\K02"}}) {
            system.AddService(name, std::string(folder) + "\\KorvaneSrv.exe");
            system.fileVersions[std::string(folder) + "\\KorvaneSrv.exe"] = {1, 0, 0, 0};
            host.folders[std::string(folder) + "\\"] = files;
        }
        host.folders["D:\\Upd"] = files;
        system.fileVersions["D:\\Upd\\KorvaneSrv.exe"] = {2, 0, 0, 0};
        host.freeSpace = {{"C:", 1u << 30}, {"D:", 1u << 30}};
    }
};

TEST(Batch, ThePlanShowsEveryProblemBeforeAnythingIsWritten) {
    const std::string longName = "lib\\" + std::string(240, 'n');  // 260 characters in the backup, 251 in the folder
    const struct Row {
        const char* what;
        std::function<void(PlanHarness&)> change;
        std::string line;     // the line with the problem
        std::string problem;  // its Problem cell
    } rows[] = {
        {"no room", [](PlanHarness& h) { h.host.freeSpace["C:"] = 1000; }, PlanHarness::kOne,
         "no room for its backup (1.5 KB needed, 1000 bytes free)"},
        {"an older update", [](PlanHarness& h) { h.system.fileVersions["C:\\K01\\KorvaneSrv.exe"] = {3, 0, 0, 0}; },
         PlanHarness::kOne, "the update's 2.0.0.0 is older than the version it runs"},
        {"on it already", [](PlanHarness& h) { h.system.fileVersions["C:\\K01\\KorvaneSrv.exe"] = {2, 0, 0, 0}; },
         PlanHarness::kOne, text::kPlanSameVersion},
        {"hidden files and empty folders",
         [](PlanHarness& h) {
             auto& update = h.host.folders["D:\\Upd"];
             update.insert(update.end(), {{"cfg", 0, true, false, true}, {"cfg\\k.ini", 10},
                                          {"s.dat", 10, false, false, true}, {"logs", 0, true}});
         },
         "D:\\Upd",
         "2 hidden or system file(s) the copy skips, such as cfg\\k.ini, s.dat; "
         "1 empty folder(s) the copy skips, such as logs"},
        {"running dependents",
         [](PlanHarness& h) {
             for (const char* name : {"Helper", "Idle"}) h.system.AddService(name);
             h.system.Run("Helper");
             h.system.dependents[PlanHarness::kTwo] = {"Helper", "Idle"};
         },
         PlanHarness::kTwo, "running services depend on it: Helper"},
        {"a mark", [](PlanHarness& h) { h.host.files["C:\\K01.previous.unfinished"]; }, PlanHarness::kOne,
         "a run was cut short here: C:\\K01.previous.unfinished"},
        {"too long for XCOPY", [&](PlanHarness& h) { h.host.folders["C:\\K01\\"].push_back({longName, 1}); },
         PlanHarness::kOne, "a path longer than XCOPY copies (260 characters): C:\\K01.previous\\" + longName},
    };
    for (bool write : {false, true}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            PlanHarness h;
            row.change(h);
            h.user.writesPlan = write;
            CreateBatch(h.context);
            ASSERT_EQ(h.user.plans.size(), 1u);
            const UpdatePlan& plan = h.user.plans[0];
            EXPECT_EQ(plan.rows.at(0).name, row.line);  // problems first
            EXPECT_EQ(PlanRowCells(plan.rows[0]).back(), row.problem);
            for (std::size_t i = 1; i < plan.rows.size(); ++i) EXPECT_TRUE(plan.rows[i].problems.empty());
            EXPECT_EQ(h.host.files[BatchHarness::kScript] == "previous", !write);
            EXPECT_EQ(h.user.messages.size(), write ? 1u : 0u);
        }
    }
}

TEST(Batch, APlanWithoutProblemsWritesAtOnceAndSaysWhatTheRunDoes) {
    PlanHarness h;
    CreateBatch(h.context);
    EXPECT_TRUE(h.user.plans.empty());
    EXPECT_EQ(h.user.messages.at(0).text, "Batch file\nC:\\Tools\\KVNUpdate.cmd\nsuccessfully created\n\n"
                                          "2 instances from 1.0.0.0 to 2.0.0.0; the run takes at least 2 min.");
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

// A failure armed for a call the action never makes tests nothing.
TEST(Harness, AFailureThatNeverFiresFailsTheTest) {
    EXPECT_NONFATAL_FAILURE({ Harness h; h.Fail(Op::Grant); }, "the failure of Grant never fired");
}

TEST(Batch, CancelledPickerOrUnknownModulePath) {
    BatchHarness h;
    h.user.folders = {std::nullopt};
    CreateBatch(h.context);
    h.user.folders = {std::string("")};
    CreateBatch(h.context);
    EXPECT_TRUE(h.user.messages.empty());
    EXPECT_TRUE(h.Calls("OpenManager").empty());

    h.user.folders = {std::string("D:\\Upd")};
    h.user.modulePath.reset();
    CreateBatch(h.context);
    EXPECT_EQ(h.user.messages.at(0).text, text::kBatchPathError);
    EXPECT_EQ(h.host.files[BatchHarness::kScript], "previous");
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

struct Rows : InstanceProgress {
    Strings ended;  // name: state
    bool cancel = false;  // asked for from the start
    void InstanceEnded(const ServiceStatus& s) override { ended.push_back(s.name + ": " + StateText(s.state)); }
    bool CancelAsked() override { return cancel; }
};

// Three running instances acted on in turn; each row changes one thing.
TEST(Overview, ActsOnEachInTurnAndHaltsAtTheFirstFailure) {
    const Strings names = {"Korvane Update Service 01", "Korvane Update Service 02", "Korvane Update Service 03"};
    // The instances after the |i|th, named as left.
    const auto left = [&](int i) {
        std::string out = i < 2 ? text::kLeftAlone : "";
        for (int j = i + 1; j < 3; ++j) out += text::Fill(text::kInstanceLine, names[j]);
        return out;
    };
    const auto halt = [&](const char* format, int i, const char* state, const char* error) {
        return text::Fill(format, {names[i], state, error}) + left(i);
    };
    using R = ServiceRequest;
    const struct Row {
        const char* what;
        R request;
        std::function<void(Harness&)> arrange;
        std::string message;  // empty: none
        std::size_t reached;  // the instances that reached their state
        bool cancel = false;  // asked for at once: the first is done all the same
    } rows[] = {
        {"restart", R::Restart, [](Harness&) {}, "", 3},
        {"no stop in time", R::Restart, [&](Harness& h) { h.system.Run(names[1], true); },
         halt(text::kStopFailed, 1, "Stopping", "(error 1053)"), 1},
        {"no start", R::Restart, [&](Harness& h) { h.system.At(names[1]).failsStart = 1064; },
         halt(text::kStartFailed, 1, "Stopped", "Error 1064."), 1},
        {"disabled", R::Start, [&](Harness& h) { h.system.At(names[1]).running = false, h.system.At(names[1]).disabled = true; },
         halt(text::kStartFailed, 1, "Stopped", "(error 1058)"), 1},
        {"start running ones", R::Start, [](Harness&) {}, "", 3},
        {"stop stopped ones", R::Stop, [&](Harness& h) { for (auto& n : names) h.system.At(n).running = false; }, "", 3},
        {"open refused", R::Stop, [](Harness& h) { h.Fail(Op::OpenServiceFor, 1); },
         halt(text::kStopFailed, 0, "unknown", "(error 5)"), 0},
        {"status unreadable", R::Start, [](Harness& h) { h.Fail(Op::QueryStatus, 1); },
         halt(text::kStartFailed, 0, "unknown", "(error 6)"), 0},
        {"last one", R::Stop, [&](Harness& h) { h.system.Run(names[2], true); },
         halt(text::kStopFailed, 2, "Stopping", "(error 1053)"), 2},
        {"no manager", R::Restart, [](Harness& h) { h.Fail(Op::OpenManager); }, text::kOverviewReadError, 0},
        // A started one must keep its process through the watch time.
        {"dies in the watch", R::Restart, [&](Harness& h) { h.system.At(names[1]).livesMs = 3000; },
         text::Fill(text::kWatchEnded, {names[1], "3", "Stopped"}) + "\n\n(error 1067)" + left(1), 1},
        {"another process in the watch", R::Start,
         [&](Harness& h) { h.system.At(names[0]).running = false, h.system.At(names[0]).livesMs = 2000, h.system.At(names[0]).recovered = true; },
         text::Fill(text::kWatchReplaced, {names[0], "2", "Running"}) + left(0), 0},
        {"watch unreadable", R::Restart, [](Harness& h) { h.Fail(Op::QueryStatus, 1, 3); },  // the 4th: 01's watch
         halt(text::kStartFailed, 0, "unknown", "(error 6)"), 0},
        // A pending state ends before the opposite request: no 1061.
        {"stop while starting", R::Stop, [&](Harness& h) { h.system.At(names[1]).startPendingMs = 2000; }, "", 3},
        {"start while stopping", R::Start,
         [&](Harness& h) { auto& s = h.system.At(names[1]); s.stopRequested = true, s.stopPendingMs = 1500; }, "", 3},
        {"restart while stopping", R::Restart,
         [&](Harness& h) { auto& s = h.system.At(names[0]); s.stopRequested = true, s.stopPendingMs = 1500; }, "", 3},
        {"cancel between instances", R::Restart, [](Harness&) {}, text::Fill(text::kActionCancelled, names[0]) + left(0),
         1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Harness h;
        std::vector<std::uint32_t> before;
        for (const std::string& name : names) {
            h.system.AddService(name);
            h.system.Run(name);
            before.push_back(h.system.Find(name)->processId);
        }
        row.arrange(h);
        std::vector<bool> stopping;  // a start of one that is stopping gives it a new process
        for (const std::string& name : names) stopping.push_back(h.system.Find(name)->stopRequested);
        Rows progress;
        progress.cancel = row.cancel;
        EXPECT_EQ(ActOnInstances(h.system, h.user, row.request, names, progress), row.message.empty());
        Strings shown;
        for (const auto& m : h.user.messages) shown.push_back(m.text + " | " + m.caption);
        const std::string caption = row.cancel ? " | Quilmarsk" : " | Quilmarsk Error";
        EXPECT_EQ(shown, row.message.empty() ? Strings{} : Strings{row.message + caption});
        const bool running = row.request != R::Stop;
        // Each row is shown as its instance ends, the failing one too.
        ASSERT_EQ(progress.ended.size(),
                  row.reached + (row.reached < 3 && !row.cancel && std::string(row.what) != "no manager"));
        for (std::size_t i = 0; i < 3; ++i) {
            const FakeService& s = *h.system.Find(names[i]);
            if (i < row.reached) {
                EXPECT_EQ(progress.ended[i], names[i] + (running ? ": Running" : ": Stopped"));
                // A restart gives each a new process; a start of a running one keeps it.
                if (row.request != R::Stop && !stopping[i]) {
                    EXPECT_EQ(s.processId != before[i], row.request == R::Restart) << i;
                }
            } else if (i > row.reached) {
                EXPECT_TRUE(h.Calls("OpenServiceFor(" + names[i]).empty()) << names[i] << " was touched";
            }
        }
        if (std::string(row.what).find(" ones") != std::string::npos) {
            EXPECT_TRUE(h.Calls("RequestStart").empty() && h.Calls("RequestStop").empty());
        }
        EXPECT_FALSE(h.user.busy);
        EXPECT_EQ(h.system.OpenHandles(), 0u);
    }
}

// Three running instances under DOM\old get one account; each row changes one thing.
TEST(Overview, ChangesTheAccountOfEachInstance) {
    const Strings names = {"Korvane Update Service 01", "Korvane Update Service 02", "Korvane Update Service 03",
                           "Korvane Update Service 04"};  // the fourth only where a row adds it
    const std::string svc = "DOM\\svc", old = "DOM\\old", gmsa = "DOM\\gmsa$";
    // The instances numbered in |which|, a line each.
    const auto lines = [&](const std::string& which, const char* format = text::kInstanceLine, const char* words = "") {
        std::string out;
        for (char i : which) out += text::Fill(format, {names[i - '0'], words});
        return out;
    };
    const auto said = [](const char* format, const std::string& account) { return text::Fill(format, account); };
    const std::string refused = std::string("\n\n") + text::kAccountRefused;
    const struct Row {
        const char* what;
        std::string account, password;  // as typed; a refused one is followed by Cancel
        std::function<void(Harness&)> arrange;
        std::string prefill, changed;  // the instances changed, by number
        Strings says;
        std::size_t grants;
        std::string offered;  // the instances the restart was offered for
    } rows[] = {
        {"second refused", svc, "new", [&](Harness& h) { h.system.At(names[1]).markedForDeletion = true; }, old, "02",
         {said(text::kAccountChanged, svc) + lines("02") + refused + lines("1", text::kRefusedLine, "(error 1072)"),
          said(text::kLogonRightGranted, svc)}, 1, "02"},
        {"password only, not now", "dom\\OLD", "new", [](Harness& h) { h.user.answersYes = false; }, old, "012",
         {said(text::kAccountChanged, "dom\\OLD") + lines("012")}, 0, "012"},
        {"stopped, an account unreadable", old, "new",
         [&](Harness& h) { h.Fail(Op::QueryServiceAccount, 1); for (int i = 0; i < 3; ++i) h.system.At(names[i]).running = false; },
         old, "012", {said(text::kAccountChanged, old) + lines("012"), said(text::kLogonRightGranted, old)}, 1, ""},
        {"virtual for several", "NT SERVICE\\" + names[0], "", [&](Harness& h) { h.system.At(names[2]).account = svc; },
         "", "", {said(text::kVirtualAccountName, names[1])}, 0, ""},
        {"managed, first not opened", gmsa, "", [](Harness& h) { h.Fail(Op::OpenServiceFor, 1); }, old, "12",
         {said(text::kAccountChanged, gmsa) + lines("12") + refused + lines("0", text::kRefusedLine, "(error 5)"),
          said(text::kLogonRightGranted, gmsa)}, 1, "12"},
        {"a policy denies the logon", svc, "new", [](Harness& h) { h.rights.logonAnswers = {1385, 1385}; }, old, "012",
         {said(text::kAccountChanged, svc) + lines("012"), said(text::kServiceLogonDenied, svc)}, 1, ""},
        {"every change refused", svc, "new", [](Harness& h) { h.Fail(Op::ChangeServiceAccount); }, old, "",
         {text::kAccountRefused + lines("012", text::kRefusedLine, "(error 5)")}, 0, ""},
        {"no manager", svc, "new", [](Harness& h) { h.Fail(Op::OpenManager); }, old, "", {text::kOverviewReadError}, 0,
         ""},
        {"password only, across kinds", "", "new",
         [&](Harness& h) {
             h.system.At(names[0]).account = "LocalSystem", h.system.At(names[1]).account = "NT SERVICE\\" + names[1];
             h.system.AddService(names[3]), h.system.Run(names[3]), h.system.At(names[3]).account = svc;
         },
         "", "23",
         {text::kPasswordChanged + lines("23") + "\n\n" + text::kNoPasswordLeft +
          lines("0", text::kRefusedLine, "LocalSystem") + lines("1", text::kRefusedLine, ("NT SERVICE\\" + names[1]).c_str())},
         0, "23"},
        {"password only, an account unread, a right missing", "", "new",
         [](Harness& h) { h.Fail(Op::QueryServiceAccount, 1), h.rights.logonAnswers = {1385}; }, old, "12",
         {text::kPasswordChanged + lines("12") + refused + lines("0", text::kRefusedLine, text::kAccountUnreadable),
          said(text::kLogonRightGranted, old)}, 1, "12"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Harness h;
        for (std::size_t i = 0; i < 3; ++i) {
            h.system.AddService(names[i]), h.system.Run(names[i]), h.system.At(names[i]).account = old;
        }
        h.rights.accounts = {svc, old, "dom\\OLD", gmsa};
        h.user.accounts = {{true, row.account, row.password}};
        row.arrange(h);
        std::vector<OverviewRow> selected;
        for (const FakeService& f : h.system.services()) selected.push_back({f.name, 0, 0, {}, *f.account, ""});
        Rows progress;
        EXPECT_EQ(ChangeAccount(h.context, selected, progress), !row.changed.empty());

        EXPECT_EQ(h.user.accountPrefills, (std::vector<std::pair<std::string, std::string>>{{row.prefill, ""}}));
        const std::string password = row.password.empty() ? "null)" : "\"" + row.password + "\")";
        // An empty account is none: each keeps its own.
        const std::string given = row.account.empty() ? ", null, " : ", \"" + row.account + "\", ";
        for (const std::string& call : h.Calls("ChangeServiceAccount")) EXPECT_NE(call.find(given + password), call.npos);
        for (std::size_t i = 0; i < selected.size(); ++i) {
            const bool changed = row.changed.find(static_cast<char>('0' + i)) != std::string::npos;
            const std::string& now = *h.system.Find(names[i])->account;
            EXPECT_EQ(now, changed && !row.account.empty() ? row.account : selected[i].account) << i;
            // A password alone is given to no instance it leaves as it was.
            for (const std::string& call : h.Calls("ChangeServiceAccount"))
                EXPECT_TRUE(changed || !row.account.empty() || call.find("(" + names[i] + ",") == call.npos) << call;
        }
        Strings says;
        for (const auto& m : h.user.messages) says.push_back(m.text);
        EXPECT_EQ(says, row.says);
        EXPECT_EQ(h.Calls("Grant").size(), row.grants);
        const std::string question = "AskYesNo(" + text::Fill(text::kRestartQuestion, lines(row.offered)) + ")";
        EXPECT_EQ(h.Calls("AskYesNo"), row.offered.empty() ? Strings{} : Strings{question});
        EXPECT_EQ(progress.ended.size(), h.user.answersYes ? row.offered.size() : 0u);  // restarted
        EXPECT_TRUE(!h.user.busy && h.system.OpenHandles() == 0);
    }
}

}  // namespace
}  // namespace qm::test
