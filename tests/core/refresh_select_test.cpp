#include <gtest/gtest.h>

#include <cstdio>

#include "actions/overview.h"
#include "support/fakes.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

TEST(Refresh, ListsTheFamilyAndProposes) {
    Harness h;
    h.system.AddService("Spooler");
    h.system.AddService("Korvane Update Service 03");
    h.system.AddService("korvane update service 05");
    h.system.AddService("XKorvaneY");
    h.system.AddService("Korvane Update Service 01");
    RefreshServiceList(h.context);
    // In the manager's order: the list box sorts them itself.
    EXPECT_EQ(h.view.filled, (Strings{"Korvane Update Service 03", "XKorvaneY", "Korvane Update Service 01"}));
    EXPECT_EQ(h.m_nServiceCount, 4u);
    EXPECT_EQ(h.m_strSuffix, "04");
    EXPECT_EQ(h.view.suffixControl, "04");
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

TEST(Refresh, ProposalPassesEveryInstalledNumberAndName) {
    Harness padded;
    for (int i = 1; i <= 300; ++i) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%04d", i);
        padded.system.AddService(std::string("Korvane Update Service ") + suffix);
    }
    RefreshServiceList(padded.context);
    EXPECT_EQ(padded.m_strSuffix, "301");

    // A driver is not listed, but its name is taken all the same.
    Harness driver;
    driver.system.AddService("Korvane Update Service 01");
    driver.system.drivers.insert("Korvane Update Service 02");
    RefreshServiceList(driver.context);
    EXPECT_EQ(driver.m_strSuffix, "03");

    // Nor is a service outside the family, whose name differs only in case.
    Harness other;
    other.system.AddService("Korvane Update Service 01");
    other.system.AddService("korvane update service 02");
    RefreshServiceList(other.context);
    EXPECT_EQ(other.m_strSuffix, "03");
    EXPECT_EQ(driver.system.OpenHandles(), 0u);
}

TEST(Refresh, ManagerUnavailableLeavesEmptyListAndSuffix) {
    Harness h;
    h.system.AddService("Korvane Update Service 01");
    h.m_strSuffix = h.view.suffixControl = "07";
    h.m_nServiceCount = 3;
    h.Fail(Op::OpenManager);
    RefreshServiceList(h.context);
    EXPECT_TRUE(h.view.list.empty());
    EXPECT_EQ(h.view.suffixControl, "07");
    EXPECT_EQ(h.m_nServiceCount, 0u);
    EXPECT_TRUE(h.user.messages.empty());
    EXPECT_TRUE(h.Calls("WriteControls").empty());
}

TEST(Refresh, FailedEnumerationProposes00) {
    Harness h;
    h.system.AddService("Korvane Update Service 01");
    h.Fail(Op::EnumServices);
    RefreshServiceList(h.context);
    EXPECT_TRUE(h.view.list.empty());
    EXPECT_EQ(h.view.suffixControl, "00");
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

// A server with more services than one 147,456-byte buffer holds.
void AddManyServices(FakeSystem& system, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        if (i % 10 == 0) {
            system.AddService("Korvane Update Service " + n);
        } else {
            system.AddService("Other" + n, {}, std::string(200, 'd') + n);
        }
    }
}

TEST(Enumeration, WindowsStyleTakesEveryRound) {
    Harness h;
    AddManyServices(h.system, 1500);
    std::vector<std::string> names;
    ASSERT_TRUE(EnumerateServices(h.system, h.system.OpenManager(), names));
    EXPECT_EQ(names.size(), 1500u);
    EXPECT_EQ(names.back(), "Other1499");
    EXPECT_GT(h.system.enumCalls, 1);
    for (std::uint32_t size : h.system.enumBufferSizes) EXPECT_EQ(size, kEnumBufferBytes);

    RefreshServiceList(h.context);
    EXPECT_EQ(h.view.list.size(), 150u);
    EXPECT_EQ(h.m_strSuffix, "1491");
}

TEST(Enumeration, WineStyleGrowsTheBufferAndStartsOver) {
    for (auto style : {FakeSystem::EnumStyle::Wine, FakeSystem::EnumStyle::WineNoSize}) {
        Harness h;
        h.system.enumStyle = style;
        AddManyServices(h.system, 1500);
        std::vector<std::string> names;
        ASSERT_TRUE(EnumerateServices(h.system, h.system.OpenManager(), names));
        EXPECT_EQ(names.size(), 1500u);
        EXPECT_EQ(names.front(), "Korvane Update Service 0");
        EXPECT_GT(h.system.enumBufferSizes.back(), kEnumBufferBytes);
    }
}

// The dialog's lister starts where the last listing ended: after the first
// refresh, one call each, even with a service more (an Add's refresh).
TEST(Enumeration, RefreshesStartAtTheRememberedSize) {
    using Style = FakeSystem::EnumStyle;
    for (auto [style, count] : {std::pair{Style::Wine, 1500}, {Style::WineNoSize, 1500}, {Style::Windows, 800}}) {
        Harness h;
        h.system.enumStyle = style;
        AddManyServices(h.system, count);
        h.Fail(Op::ServiceBytesNeeded);  // the size is learned the hard way
        RefreshServiceList(h.context);
        const int first = h.system.enumCalls;
        EXPECT_GT(first, 1);
        h.system.AddService("Korvane Update Service 9999");
        RefreshServiceList(h.context);
        EXPECT_EQ(h.system.enumCalls, first + 1) << count;
        EXPECT_EQ(h.view.list.size(), count / 10 + 1u);
    }
    // Asked first, the size makes the first listing one call too.
    Harness h;
    h.system.enumStyle = Style::Wine;
    AddManyServices(h.system, 1500);
    RefreshServiceList(h.context);
    // The size asked for is more than the entries take; the next listings
    // start at what they took, with room for more: Wine copies the whole
    // buffer between processes on every call.
    EXPECT_LT(h.lister.startBytes(), h.system.enumBufferSizes.front());
    h.system.AddService("Korvane Update Service 9999");
    RefreshServiceList(h.context);
    EXPECT_EQ(h.system.enumCalls, 2);
    EXPECT_EQ(h.Calls("ServiceBytesNeeded").size(), 1u);
}

// A manager that answers from a script: each round's answer, and the
// buffer size and resume handle each call was made with.
struct ScriptedManager : FakeSystem {
    using FakeSystem::FakeSystem;
    std::vector<EnumRound> answers;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> asked;  // buffer, resume
    std::uint32_t sizeAnswer = 0;
    std::uint32_t ServiceBytesNeeded(ManagerHandle) override { return sizeAnswer; }
    EnumRound EnumServices(ManagerHandle, std::uint32_t bytes, std::uint32_t resume) override {
        asked.emplace_back(bytes, resume);
        if (answers.empty()) return {};
        EnumRound r = answers.front();
        answers.erase(answers.begin());
        return r;
    }
};

EnumRound Answer(bool ok, std::uint32_t error, std::uint32_t needed, std::uint32_t resume, Strings names = {}) {
    EnumRound r;
    r.ok = ok;
    r.error = error;
    r.bytesNeeded = needed;
    r.resume = resume;
    r.names = std::move(names);
    return r;
}

TEST(Enumeration, RetriesAsEachAnswerCallsFor) {
    const std::uint32_t B = kEnumBufferBytes;
    const struct Row {
        const char* what;
        std::vector<EnumRound> answers;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> asked;
        Strings names;  // empty: the listing fails
        std::uint32_t sizeAnswer = 0;  // else listed by a lister, told this size first
    } rows[] = {
        {"a full page, then the rest from the moved resume handle",
         {Answer(false, kErrorMoreData, 10, 7, {"a"}), Answer(true, 0, 0, 0, {"b"})}, {{B, 0}, {B, 7}}, {"a", "b"}},
        {"an untouched buffer and the size asked: grow, start over",
         {Answer(false, kErrorMoreData, 2 * B + 1, 0, {"x"}), Answer(true, 0, 0, 0, {"a", "b"})},
         {{B, 0}, {2 * B + 1, 0}}, {"a", "b"}},
        {"too small, no size: double",
         {Answer(false, kErrorInsufficientBuffer, 0, 0), Answer(true, 0, 0, 0, {"a"})}, {{B, 0}, {2 * B, 0}}, {"a"}},
        {"a size smaller than the buffer: double, never shrink",
         {Answer(false, kErrorMoreData, 10, 0), Answer(true, 0, 0, 0, {"a"})}, {{B, 0}, {2 * B, 0}}, {"a"}},
        {"a size past the limit: give up", {Answer(false, kErrorMoreData, kEnumBufferLimit + 1, 0)}, {{B, 0}}, {}},
        {"another error after a page: nothing",
         {Answer(false, kErrorMoreData, 10, 7, {"a"}), Answer(false, 6, 0, 7)}, {{B, 0}, {B, 7}}, {}},
        {"a page, then an untouched buffer: grow, start over from the first service",
         {Answer(false, kErrorMoreData, 10, 7, {"a"}), Answer(false, kErrorMoreData, 2 * B, 7),
          Answer(true, 0, 0, 0, {"a", "b"})},
         {{B, 0}, {B, 7}, {2 * B, 0}}, {"a", "b"}},
        {"the lister's start refused outright: the usual start",
         {Answer(false, 6, 0, 0), Answer(true, 0, 0, 0, {"a"})}, {{kEnumBufferLimit, 0}, {B, 0}}, {"a"},
         kEnumBufferLimit},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Log log;
        Failures failures;
        ScriptedManager manager(log, failures);
        manager.answers = row.answers;
        manager.sizeAnswer = row.sizeAnswer;
        std::vector<std::string> names{"stale"};
        ServiceLister lister;
        EXPECT_EQ(row.sizeAnswer ? lister.List(manager, ManagerHandle{1}, names)
                                 : EnumerateServices(manager, ManagerHandle{1}, names),
                  !row.names.empty());
        EXPECT_EQ(names, row.names);
        EXPECT_EQ(manager.asked, row.asked);
    }
}

TEST(Enumeration, GivesUpPastTheLimitAndOnOtherErrors) {
    Harness h;
    h.system.enumStyle = FakeSystem::EnumStyle::WineNoSize;
    h.system.entryHeaderBytes = 1u << 20;  // 100 entries of a megabyte each
    AddManyServices(h.system, 100);
    std::vector<std::string> names{"stale"};
    EXPECT_FALSE(EnumerateServices(h.system, h.system.OpenManager(), names));
    EXPECT_TRUE(names.empty());
    EXPECT_LE(h.system.enumBufferSizes.back(), kEnumBufferLimit);

    Harness other;
    other.system.AddService("Korvane Update Service 01");
    other.Fail(Op::EnumServices, 1);
    EXPECT_FALSE(EnumerateServices(other.system, other.system.OpenManager(), names));
    EXPECT_EQ(other.system.enumCalls, 1);
}

TEST(Selection, ShowsTheFolderOfTheSelectedService) {
    Harness h;
    h.system.AddService("Korvane Update Service 01", "\"C:\\Program Files\\K 01\\KorvaneSrv.exe\"");
    h.system.AddService("Korvane Update Service 02", "%SystemDrive%\\K02\\KorvaneSrv.exe");
    h.system.AddService("Korvane Main");  // no ImagePath
    RefreshServiceList(h.context);

    h.view.selection = 0;  // Korvane Main, sorted first
    h.m_strInstallPath = h.view.pathControl = "C:\\Before\\";
    SelectionChanged(h.context);
    EXPECT_EQ(h.m_strServiceName, "Korvane Main");
    EXPECT_EQ(h.m_strInstallPath, "C:\\Before\\");  // unreadable: the old folder stays
    EXPECT_EQ(h.view.pathControl, "C:\\Before\\");

    h.view.selection = 1;
    SelectionChanged(h.context);
    EXPECT_EQ(h.m_strServiceName, "Korvane Update Service 01");
    EXPECT_EQ(h.m_strInstallPath, "C:\\Program Files\\K 01\\");
    EXPECT_EQ(h.view.pathControl, "C:\\Program Files\\K 01\\");

    h.view.selection = 2;
    SelectionChanged(h.context);
    EXPECT_EQ(h.view.pathControl, "%SystemDrive%\\K02\\");

    h.view.selection = -1;
    SelectionChanged(h.context);
    EXPECT_EQ(h.m_strServiceName, "Korvane Update Service 02");
    EXPECT_EQ(h.system.OpenHandles(), 0u);
}

TEST(Selection, KeyOpenedButValueUnreadableClosesTheKey) {
    Harness h;
    h.system.AddService("Korvane Update Service 01", "C:\\K\\KorvaneSrv.exe");
    RefreshServiceList(h.context);
    h.view.selection = 0;
    h.Fail(Op::QueryImagePath);
    SelectionChanged(h.context);
    EXPECT_EQ(h.m_strServiceName, "Korvane Update Service 01");
    EXPECT_EQ(h.view.pathControl, "");
    EXPECT_EQ(h.Calls("CloseKey").size(), 1u);

    h.Fail(Op::OpenServiceKey);
    SelectionChanged(h.context);
    EXPECT_EQ(h.Calls("CloseKey").size(), 1u);  // a key is closed only when opened
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// The overview reads state and process id in one enumeration, then each
// instance's account, version and folder; what cannot be read stays empty.
TEST(Refresh, OverviewRowsKeepWhatCouldBeRead) {
    Harness h;
    const std::string k1 = "Korvane Update Service 01", k2 = "Korvane Update Service 02", k3 = "Korvane Update Service 03";
    // Several readings: the service manager runs C:\K.exe.
    h.system.AddService(k3, std::string("C:\\K 3\\KorvaneSrv.exe"));
    h.host.files = {{"C:\\K.exe", ""}, {"C:\\K 3\\KorvaneSrv.exe", ""}};
    h.system.AddService("Spooler");
    h.system.AddService(k2, std::string("C:\\K2\\KorvaneSrv.exe"));
    h.system.AddService(k1, std::string("%ProgramFiles%\\K1\\KorvaneSrv.exe"));
    h.system.Run(k2);
    h.system.At(k2).account = "DOM\\svc";
    h.system.fileVersions = {{"C:\\K2\\KorvaneSrv.exe", {2, 1, 10, 3}}, {"C:\\Program Files\\K1\\KorvaneSrv.exe", {2, 1, 9, 0}},
                            {"C:\\K.exe", {1, 0, 0, 0}}};
    h.Fail(Op::QueryServiceAccount, 1);  // the first read, in the list's order: 01's configuration
    std::vector<OverviewRow> rows;
    ASSERT_TRUE(ReadOverview(h.context, rows));
    EXPECT_EQ(RowsAsText(rows), "Name\tState\tProcess id\tVersion\tAccount\tFolder\r\n" + k1 +
                                    "\tStopped\t\t2.1.9.0\t\tC:\\Program Files\\K1\\\r\n" + k2 + "\tRunning\t" +
                                    std::to_string(h.system.Find(k2)->processId) + "\t2.1.10.3\tDOM\\svc\tC:\\K2\\\r\n" +
                                    k3 + "\tStopped\t\t1.0.0.0\tLocalSystem\tC:\\\r\n");
    EXPECT_EQ(h.Calls("EnumServiceStatuses").size(), 1u);
    EXPECT_EQ(h.system.OpenHandles(), 0u);

    // Versions sort as numbers, 2.1.9 before 2.1.10, and none before any.
    SortRows(rows, OverviewColumn::Version, false);
    EXPECT_EQ(rows[0].name + rows[1].name + rows[2].name, k3 + k1 + k2);
    SortRows(rows, OverviewColumn::State, true);
    EXPECT_EQ(rows[0].name + rows[1].name, k1 + k3);
    EXPECT_EQ(StateText(kServicePaused) + StateText(9), "Paused9");

    // Read again: states and process ids from one enumeration, the rest kept.
    h.system.At(k2).running = false, h.system.Run(k3);
    h.system.DeleteService(h.system.OpenServiceToRemove(h.system.OpenManager(), k1));
    const std::size_t enumerations = h.Calls("EnumServiceStatuses").size();
    ASSERT_TRUE(ReadStatesAgain(h.system, rows));
    EXPECT_EQ(h.Calls("EnumServiceStatuses").size(), enumerations + 1);
    EXPECT_EQ(RowsAsText(rows), "Name\tState\tProcess id\tVersion\tAccount\tFolder\r\n" + k1 +
                                    "\tunknown\t\t2.1.9.0\t\tC:\\Program Files\\K1\\\r\n" + k3 + "\tRunning\t" +
                                    std::to_string(h.system.Find(k3)->processId) + "\t1.0.0.0\tLocalSystem\tC:\\\r\n" +
                                    k2 + "\tStopped\t\t2.1.10.3\tDOM\\svc\tC:\\K2\\\r\n");
    h.Fail(Op::EnumServiceStatuses, 1);
    EXPECT_FALSE(ReadStatesAgain(h.system, rows));

    h.Fail(Op::EnumServiceStatuses, 1);
    EXPECT_FALSE(ReadOverview(h.context, rows));
    EXPECT_TRUE(rows.empty());
}

}  // namespace
}  // namespace qm::test
