// The dialog framework where it decides by itself: how long a text is, and
// what happens when a dialog cannot be created.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "actions/messages.h"
#include "ui/framework/dialog.h"

namespace {

// An edit control counts a double-byte character once: 27 of them fit its
// limit of 27, though they take 54 bytes.
TEST(Framework, CountsCharactersAsTheEditControlDoes) {
    const std::string kanji = "\x8a\xbf";  // one character in Shift-JIS (932)
    std::string kanji27;
    for (int i = 0; i < 27; ++i) kanji27 += kanji;
    const struct {
        std::string text;
        UINT codePage;
        std::size_t characters;
    } kCases[] = {
        {"", 932, 0},         {std::string(27, '7'), 932, 27}, {kanji27, 932, 27},
        {kanji27, 1252, 54},  {"A" + kanji + "B", 932, 3},     {"\xe9t\xe9", 1252, 3},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(ui::CharacterCount(c.text, c.codePage), c.characters) << c.text.size() << " bytes in " << c.codePage;
    }
}

// A template that does not exist: the administrator is told, and the caller
// sees -1, not Cancel.
TEST(Framework, ReportsADialogThatCannotBeCreated) {
    std::string shown;
    std::thread answer([&shown] {
        for (int i = 0; i < 600 && shown.empty(); ++i) {
            Sleep(50);
            if (HWND box = FindWindowA("#32770", qm::text::kErrorCaption)) {
                char text[256] = {};
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                shown = text;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
        }
    });
    ui::Dialog dialog;
    EXPECT_EQ(dialog.RunModal(4242), -1);
    answer.join();
    EXPECT_EQ(shown, qm::text::kDialogError);
}

}  // namespace
