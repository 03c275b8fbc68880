#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "actions/folder.h"
#include "actions/main_dialog_state.h"
#include "actions/script.h"
#include "actions/wipe.h"

namespace qm {
namespace {

// Shift-JIS: 0x81-0x9F and 0xE0-0xFC lead a double-byte character.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

TEST(InstallFolder, SplitsLikeSplitpath) {
    EXPECT_EQ(InstallFolder("C:\\Program Files\\Svc\\KorvaneSrv.exe"), "C:\\Program Files\\Svc\\");
    EXPECT_EQ(InstallFolder("C:\\\\KorvaneSrv.exe"), "C:\\\\");
    EXPECT_EQ(InstallFolder("C:KorvaneSrv.exe"), "C:");
    EXPECT_EQ(InstallFolder("KorvaneSrv.exe"), "");
    EXPECT_EQ(InstallFolder(""), "");
    EXPECT_EQ(InstallFolder("D:/a/b.exe"), "D:/a/");
    EXPECT_EQ(InstallFolder("\\\\server\\share\\x.exe"), "\\\\server\\share\\");
    EXPECT_EQ(InstallFolder("%SystemRoot%\\System32\\svchost.exe -k netsvcs"), "%SystemRoot%\\System32\\");
    // Only the first 255 characters of the directory survive.
    const std::string dir = "\\" + std::string(300, 'd') + "\\";
    EXPECT_EQ(InstallFolder("C:" + dir + "x.exe"), "C:" + dir.substr(0, 255));
}

TEST(InstallFolder, QuotedValueEndsAtTheClosingQuote) {
    EXPECT_EQ(InstallFolder("\"C:\\Program Files\\K 01\\KorvaneSrv.exe\""), "C:\\Program Files\\K 01\\");
    EXPECT_EQ(InstallFolder("\"C:\\K 01\\KorvaneSrv.exe\" -service \"D:\\x\\y\""), "C:\\K 01\\");
    EXPECT_EQ(InstallFolder("\"C:\\K 01\\KorvaneSrv.exe"), "C:\\K 01\\");  // never closed
    EXPECT_EQ(InstallFolder("\"KorvaneSrv.exe\""), "");
}

TEST(InstallFolder, UnquotedValueEndsAtTheFirstExe) {
    EXPECT_EQ(InstallFolder("C:\\K09\\KorvaneSrv.exe -config C:\\cfg\\k.ini"), "C:\\K09\\");
    EXPECT_EQ(InstallFolder("C:\\K10\\KorvaneSrv.EXE /service"), "C:\\K10\\");
    EXPECT_EQ(InstallFolder("C:\\Program Files\\K\\KorvaneSrv.exe"), "C:\\Program Files\\K\\");
    // ".exe" inside a name does not end the path.
    EXPECT_EQ(InstallFolder("C:\\a.exec\\KorvaneSrv.exe"), "C:\\a.exec\\");
}

TEST(InstallFolder, TrailByteIsNoSeparator) {
    // 0x95 0x5C is one Shift-JIS character whose second byte is a backslash.
    const std::string path = "C:\\\x95\x5C\\KorvaneSrv.exe";
    EXPECT_EQ(InstallFolder(path, ShiftJisLead), "C:\\\x95\x5C\\");
    const std::string tail = "C:\\a\\\x95\x5C" "b.exe";
    EXPECT_EQ(InstallFolder(tail, ShiftJisLead), "C:\\a\\");
    EXPECT_EQ(InstallFolder(tail), "C:\\a\\\x95\x5C");  // single-byte code page
}

TEST(UpdateScript, BlocksByteForByte) {
    const std::string script = UpdateScript(
        "D:\\Upd", {{"Korvane Update Service 01", "C:\\Svc01\\"}, {"Korvane Main", "E:\\K M\\"}});
    EXPECT_EQ(script,
              "NET STOP \"Korvane Update Service 01\"\r\n"
              "RD /S /Q \"C:\\Svc01\\KORVAN\\KORVAN\"\r\n"
              "XCOPY /Y /S \"D:\\Upd\\*.*\" \"C:\\Svc01\\\"\r\n"
              "NET START \"Korvane Update Service 01\"\r\n"
              "TIMEOUT 60\r\n"
              "\r\n"
              "NET STOP \"Korvane Main\"\r\n"
              "RD /S /Q \"E:\\K M\\KORVAN\\KORVAN\"\r\n"
              "XCOPY /Y /S \"D:\\Upd\\*.*\" \"E:\\K M\\\"\r\n"
              "NET START \"Korvane Main\"\r\n"
              "TIMEOUT 60\r\n"
              "\r\n");
    EXPECT_EQ(UpdateScript("D:\\Upd", {}), "");
}

TEST(UpdateScript, DriveRootSourceKeepsDoubledSeparator) {
    EXPECT_NE(UpdateScript("D:\\", {{"Korvane X", "C:\\S\\"}}).find("XCOPY /Y /S \"D:\\\\*.*\" \"C:\\S\\\""),
              std::string::npos);
}

TEST(UpdateScript, GuardsAgainstWhatCmdWouldMisread) {
    // Every percent is literal: references were expanded before.
    const std::string script = UpdateScript("D:\\Up%d", {{"Korvane 100%", "C:\\K%5\\"}});
    EXPECT_NE(script.find("NET STOP \"Korvane 100%%\"\r\n"), std::string::npos);
    EXPECT_NE(script.find("NET START \"Korvane 100%%\"\r\n"), std::string::npos);
    EXPECT_NE(script.find("RD /S /Q \"C:\\K%%5\\KORVAN\\KORVAN\""), std::string::npos);
    EXPECT_NE(script.find("\"D:\\Up%%d\\*.*\""), std::string::npos);

    EXPECT_EQ(UpdateScript("D:\\U", {{"Korvane \"x\"", "C:\\S\\"},
                                     {"Korvane Q", "C:\\S\"\\"},
                                     {"Korvane E", ""},
                                     {"Korvane R", "K13\\"},
                                     {"Korvane\r\nMD C:\\INJ", "C:\\S\\"}}),
              "");
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
    EXPECT_EQ(ScriptPath("C:\\Tools\\Quilmarsk.exe"), "C:\\Tools\\KVNUpdate.cmd");
    EXPECT_EQ(ScriptPath("C:\\Quilmarsk.exe"), "C:\\KVNUpdate.cmd");
}

}  // namespace
}  // namespace qm
