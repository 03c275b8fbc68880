#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <set>

#include "actions/folder.h"
#include "actions/main_dialog_state.h"
#include "actions/script.h"
#include "actions/wipe.h"

namespace qm {
namespace {

// Shift-JIS: 0x81-0x9F and 0xE0-0xFC lead a double-byte character.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The folder of an "ImagePath" value, as selection shows it.
std::string InstallFolder(const std::string& imagePath, LeadBytePredicate isLeadByte,
                          const std::set<std::string>& files = {}) {
    std::string executable;
    const auto exists = [&files](const std::string& path) { return files.count(path) != 0; };
    if (ExecutablePath(imagePath, exists, executable) == Readings::None) return "(none)";
    return DriveAndDirectory(executable, isLeadByte);
}

TEST(InstallFolder, SplitsLikeSplitpath) {
    EXPECT_EQ(InstallFolder("C:\\Program Files\\Svc\\KorvaneSrv.exe", nullptr, {"C:\\Program Files\\Svc\\KorvaneSrv.exe"}),
              "C:\\Program Files\\Svc\\");
    EXPECT_EQ(InstallFolder("C:\\\\KorvaneSrv.exe", nullptr), "C:\\\\");
    EXPECT_EQ(InstallFolder("C:KorvaneSrv.exe", nullptr), "C:");
    EXPECT_EQ(InstallFolder("KorvaneSrv.exe", nullptr), "");
    EXPECT_EQ(InstallFolder("", nullptr), "");
    EXPECT_EQ(InstallFolder("\\\\server\\share\\x.exe", nullptr), "\\\\server\\share\\");
    // Only the first 255 characters of the directory survive.
    const std::string dir = "\\" + std::string(300, 'd') + "\\";
    EXPECT_EQ(InstallFolder("C:" + dir + "x.exe", nullptr), "C:" + dir.substr(0, 255));
    const std::string dir255 = "\\" + std::string(253, 'd') + "\\";
    EXPECT_EQ(InstallFolder("C:" + dir255 + "x.exe", nullptr), "C:" + dir255);
}

// The executable the service manager would start: quoted up to the closing
// quote; unquoted, the first reading up to a blank that names a file.
TEST(InstallFolder, FoundAsTheServiceManagerFindsIt) {
    const struct Row {
        std::string imagePath;
        std::set<std::string> files;  // what exists
        std::string folder;           // "(none)" when no reading names a file
    } rows[] = {
        {"\"C:\\Program Files\\K 01\\KorvaneSrv.exe\"", {}, "C:\\Program Files\\K 01\\"},
        {"\"C:\\K 01\\KorvaneSrv.exe\" -service \"D:\\x\\y\"", {}, "C:\\K 01\\"},
        {"\"C:\\K 01\\KorvaneSrv.exe", {}, "C:\\K 01\\"},  // never closed
        {"\"KorvaneSrv.exe\"", {}, ""},
        {"C:\\K09\\KorvaneSrv.exe -config C:\\cfg\\k.ini", {"C:\\K09\\KorvaneSrv.exe"}, "C:\\K09\\"},
        {"C:\\K10\\KorvaneSrv.EXE\t/service", {"C:\\K10\\KorvaneSrv.EXE"}, "C:\\K10\\"},
        // ".exe" inside a folder's name, as older installers wrote it.
        {"C:\\Apps.exe files\\K01\\KorvaneSrv.exe", {"C:\\Apps.exe files\\K01\\KorvaneSrv.exe"}, "C:\\Apps.exe files\\K01\\"},
        // The first reading that names a file wins, as it does for the manager.
        {"C:\\Program Files\\K\\KorvaneSrv.exe", {"C:\\Program.exe", "C:\\Program Files\\K\\KorvaneSrv.exe"}, "C:\\"},
        {"C:\\K 2\\KorvaneSrv -x", {"C:\\K 2\\KorvaneSrv.exe"}, "C:\\K 2\\"},
        {"C:\\K 3\\KorvaneSrv.exe -x", {}, "(none)"},
        {"C:\\K 4\\KorvaneSrv.exe -x", {"C:\\K 4\\KorvaneSrv.exe -x"}, "C:\\K 4\\"},
        {"%SystemRoot%\\System32\\svchost.exe", {}, "%SystemRoot%\\System32\\"},
        {"D:/a/b.exe", {}, "D:\\a\\"},
        {"C:/K 5/KorvaneSrv.exe -x", {"C:/K 5/KorvaneSrv.exe"}, "C:\\K 5\\"},
    };
    for (const Row& row : rows) EXPECT_EQ(InstallFolder(row.imagePath, nullptr, row.files), row.folder) << row.imagePath;
}

TEST(InstallFolder, TrailByteIsNoSeparator) {
    // 0x95 0x5C is one Shift-JIS character whose second byte is a backslash.
    const std::string path = "C:\\\x95\x5C\\KorvaneSrv.exe";
    EXPECT_EQ(InstallFolder(path, ShiftJisLead), "C:\\\x95\x5C\\");
    const std::string tail = "C:\\a\\\x95\x5C" "b.exe";
    EXPECT_EQ(InstallFolder(tail, ShiftJisLead), "C:\\a\\");
    EXPECT_EQ(InstallFolder(tail, nullptr), "C:\\a\\\x95\x5C");  // single-byte code page
    EXPECT_EQ(FolderKey("C:\\\x95\x5C\\", ShiftJisLead), "c:\\\x95\x5C\\");
    NoBackup why;
    EXPECT_EQ(BesideFolder("C:\\\x95\x5C\\", {}, ShiftJisLead, why).backup, "C:\\\x95\x5C.previous\\");
}

// Folders compared as places, and the backup beside an instance's folder,
// which touches neither the update folder nor another instance.
TEST(Folders, OverlapsAndBackups) {
    EXPECT_EQ(FolderKey("C:\\Svc\\\\K01/.\\x\\..\\", nullptr), "c:\\svc\\k01\\");
    EXPECT_EQ(FolderKey("\\\\Srv\\Share\\K", nullptr), "\\\\srv\\share\\k\\");
    EXPECT_TRUE(FoldersOverlap("c:\\k01\\", "c:\\k01\\korvan\\korvan\\upd\\"));
    EXPECT_TRUE(FoldersOverlap("c:\\k01\\", "c:\\"));
    EXPECT_FALSE(FoldersOverlap("c:\\k01\\", "c:\\k01.previous\\"));

    const std::vector<std::string> taken = {"c:\\svc\\k01\\", "d:\\upd\\", "c:\\svc\\k02.previous\\",
                                            "c:\\svc\\k03.previous\\a\\", "c:\\svc\\k04.previous\\",
                                            "c:\\svc\\k04.previous2\\", "c:\\svc\\k06.failed\\"};
    const struct Row {
        std::string folder, backup;
        NoBackup why;
    } rows[] = {
        {"C:\\Svc\\K01\\", "C:\\Svc\\K01.previous\\", NoBackup::None},
        {"C:\\Svc\\K02\\", "C:\\Svc\\K02.previous2\\", NoBackup::None},  // another instance's folder
        {"C:\\Svc\\K03\\", "C:\\Svc\\K03.previous2\\", NoBackup::None},  // would hold one
        {"C:\\Svc\\K04\\", "C:\\Svc\\K04.previous3\\", NoBackup::None},
        {"C:\\Svc\\K05\\\\", "C:\\Svc\\K05.previous\\", NoBackup::None},
        {"C:\\Svc\\K06\\", "C:\\Svc\\K06.previous2\\", NoBackup::None},  // its .failed is taken
        {"C:\\", "", NoBackup::Root},
        {"C:\\\\", "", NoBackup::Root},
        {"\\\\srv\\share\\", "", NoBackup::Root},
        {"\\\\srv\\share\\K\\", "\\\\srv\\share\\K.previous\\", NoBackup::None},
        {"D:\\", "", NoBackup::Root},
        {"C:\\Svc\\K01\\.\\", "", NoBackup::NoName},  // every name would lie inside the folder
    };
    for (const Row& row : rows) {
        NoBackup why = NoBackup::NoName;
        const Beside beside = BesideFolder(row.folder, taken, nullptr, why);
        EXPECT_EQ(beside.backup, row.backup) << row.folder;
        if (!row.backup.empty()) {
            const std::string base = row.backup.substr(0, row.backup.rfind(".previous"));
            const std::string number = row.backup.substr(base.size() + 9, row.backup.size() - base.size() - 10);
            EXPECT_EQ(beside.failed, base + ".failed" + number + "\\");
            EXPECT_EQ(beside.mark, row.backup.substr(0, row.backup.size() - 1) + ".unfinished");
        }
        EXPECT_EQ(why, row.why) << row.folder;
    }
}

// An instance with the names the script keeps beside its folder.
Instance At(const std::string& name, const std::string& folder, std::optional<RecoveryActions> recovery = {}) {
    Instance instance;
    instance.serviceName = name;
    instance.folder = folder;
    NoBackup why;
    instance.beside = BesideFolder(folder, {}, nullptr, why);
    instance.noBackup = why;
    instance.recovery = recovery;
    return instance;
}

TEST(UpdateScript, NamesOnlyWhatCmdReadsLiterally) {
    // The source pattern keeps its doubled separator at a drive root.
    EXPECT_NE(UpdateScript("D:\\", {At("Korvane X", "C:\\S\\")}).find("\"D:\\\\*.*\""), std::string::npos);

    Instance injected = At("Korvane B", "C:\\S\\");
    injected.beside.backup = "C:\\S\r\nMD C:\\INJ\\";
    const std::string none = UpdateScript("D:\\U", {At("Korvane \"x\"", "C:\\S\\"), At("Korvane Q", "C:\\S\"\\"),
                                                    injected, At("Korvane E", ""), At("Korvane R", "K13\\"),
                                                    At("Korvane\r\nMD C:\\INJ", "C:\\S\\"),
                                                    At("Korvane 4  RUNNING", "C:\\S\\"),
                                                    At("1  STOPPED Korvane", "C:\\S\\")});
    EXPECT_EQ(none, UpdateScript("D:\\U", {}));
}

// A password leaves no copy in memory: wiped where it is replaced, and in
// the dialog's state when the state goes.
TEST(Wipe, OverwritesSecretsBeforeTheirMemoryGoes) {
    std::string secret(40, 's');
    const char* bytes = secret.data();
    Wipe(secret);
    EXPECT_TRUE(secret.empty());
    EXPECT_EQ(std::string(bytes, 40), std::string(40, '\0'));

    // A short password lives inside the object itself.
    alignas(MainDialogState) unsigned char storage[sizeof(MainDialogState)];
    auto* state = new (storage) MainDialogState;
    state->m_strPassword = "pw4711";
    state->~MainDialogState();
    const std::string left(reinterpret_cast<const char*>(storage), sizeof storage);
    EXPECT_EQ(left.find("pw4711"), std::string::npos);
}

TEST(ScriptPath, BesideTheExecutable) {
    EXPECT_EQ(ScriptPath("C:\\Tools\\Quilmarsk.exe", nullptr), "C:\\Tools\\KVNUpdate.cmd");
    EXPECT_EQ(ScriptPath("C:\\Quilmarsk.exe", nullptr), "C:\\KVNUpdate.cmd");
}

}  // namespace
}  // namespace qm
