// The dialog framework where it decides by itself: how long a text is, and
// what happens when a dialog cannot be created or a handler throws. It is
// tested alone, with words of its own, as it knows nothing of the tool. Its
// refusal of a text that is too long is seen end to end, through the main
// dialog's own words (Add.RefusesASuffixOverTheLimitAndCreatesNothing).
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "framework_test_ids.h"
#include "ui/framework/dialog.h"

namespace {

const ui::Texts kTexts = {"Test caption", "Test error caption", "No window for you.", "Something threw."};

// Answers the first message box captioned |caption| that comes up within
// half a minute and gives its text.
class AnswerBox {
public:
    explicit AnswerBox(const char* caption)
        : thread_([this, caption] {
              for (int i = 0; i < 600 && shown_.empty(); ++i) {
                  Sleep(50);
                  if (HWND box = FindWindowA("#32770", caption)) {
                      char text[256] = {};
                      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                      shown_ = text;
                      PostMessageA(box, WM_COMMAND, IDOK, 0);
                  }
              }
          }) {}
    std::string Shown() {
        thread_.join();
        return shown_;
    }

private:
    std::string shown_;
    std::thread thread_;
};

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

// A template that does not exist: the administrator is told, in the words
// the application gave, and the caller sees -1, not Cancel.
TEST(Framework, ReportsADialogThatCannotBeCreated) {
    ui::SetTexts(kTexts);
    AnswerBox answer(kTexts.errorCaption);
    ui::Dialog dialog;
    EXPECT_EQ(dialog.RunModal(4242), -1);
    EXPECT_EQ(answer.Shown(), kTexts.dialogError);
}

// A handler that throws: the exception stops at the dialog procedure, which
// says so in the application's words.
TEST(Framework, StopsAnExceptionAtTheDialogProcedure) {
    class Throwing : public ui::Dialog {
        bool OnInitDialog() override {
            PostMessageA(hwnd(), WM_APP, 0, 0);
            return true;
        }
        bool OnMessage(UINT msg, WPARAM, LPARAM, INT_PTR&) override {
            if (msg != WM_APP) return false;
            EndDialog(IDCANCEL);
            throw std::runtime_error("from a handler");
        }
    };
    ui::SetTexts(kTexts);
    AnswerBox answer(kTexts.caption);
    Throwing dialog;
    EXPECT_EQ(dialog.RunModal(IDD_FIELD_DIALOG), IDCANCEL);
    EXPECT_EQ(answer.Shown(), kTexts.unexpectedError);
}

}  // namespace
