// The three dialog templates as compiled into Quilmarsk.exe, read from the
// executable's resources and compared with one table.
// Command line: the Linux path of Quilmarsk.exe, then GoogleTest's flags.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "driver.h"
#include "quilmarsk_version.h"
#include "ui/resource.h"

namespace {

struct Control {
    int id;
    const wchar_t* type;
    DWORD style;
    short x, y, cx, cy;
    const wchar_t* text;  // nullptr: not compared
};

struct Template {
    int id;
    bool extended;
    DWORD style, exStyle;
    short cx, cy;
    const wchar_t* title;
    WORD points;
    const wchar_t* font;
    WORD weight;
    BYTE italic, charset;
    std::vector<Control> controls;
};

// The styles the standard statements give, with what the table adds.
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kDefault = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr DWORD kEdit = kChild | WS_TABSTOP | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kIcon = kChild | SS_ICON;
constexpr DWORD kList = kChild | WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_SORT | LBS_NOTIFY |
                        LBS_NOINTEGRALHEIGHT;
constexpr DWORD kModal = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;

const Template kTemplates[] = {
    {IDD_QUILMARSK_DIALOG, true, kModal | WS_VISIBLE, WS_EX_APPWINDOW, 301, 181,
     L"Korvane Multiple Services Configuration Utility", 8, L"MS Sans Serif", 0, 0, DEFAULT_CHARSET,
     {{IDOK, L"Button", kDefault, 244, 160, 50, 14, L"Exit"},
      {IDC_SERVICE_LIST, L"ListBox", kList, 7, 16, 287, 88, L""},
      {IDC_STATIC, L"Static", kLabel, 7, 7, 90, 8, L"Installed Korvane Services:"},
      {IDC_ADD, L"Button", kButton, 7, 160, 50, 14, L"Add"},
      {IDC_REMOVE, L"Button", kButton, 66, 160, 50, 14, L"Remove"},
      {IDC_STATIC, L"Static", kLabel, 7, 107, 52, 8, L"Installation path:"},
      {IDC_INSTALL_PATH, L"Static", kLabel, 7, 117, 287, 8, L""},
      {IDC_SUFFIX, L"Edit", kEdit, 7, 137, 287, 14, L""},
      {IDC_STATIC, L"Static", kLabel, 7, 128, 234, 8,
       L"Suffix for new service (service names must be unique), max 27 characters:"},
      {IDC_CREATE_BATCH, L"Button", kButton, 184, 160, 50, 14, L"Create Batch"},
      {IDC_STATUS, L"Button", kButton, 125, 160, 50, 14, L"Status..."}}},
    {IDD_SERVICE_ACCOUNT, false, kModal, 0, 187, 143, L"Exchange Service Account", 8, L"MS Sans Serif", 0, 0, 0,
     {{IDC_ACCOUNT, L"Edit", kEdit, 77, 65, 103, 14, L""},
      {IDC_PASSWORD, L"Edit", kEdit | ES_PASSWORD, 77, 81, 103, 14, L""},
      {IDC_VERIFY_PASSWORD, L"Edit", kEdit | ES_PASSWORD, 77, 97, 103, 14, L""},
      {IDOK, L"Button", kDefault, 35, 122, 50, 14, L"OK"},
      {IDCANCEL, L"Button", kButton, 101, 122, 50, 14, L"Cancel"},
      {IDC_STATIC, L"Static", kLabel, 35, 7, 145, 31,
       L"Please enter the Exchange Service Account name and password  to use to start the Korvane Service:"},
      {IDC_STATIC, L"Static", kIcon, 7, 7, 20, 20, L"#139"},
      {IDC_STATIC, L"Static", kLabel, 7, 68, 62, 8, L"Account name:"},
      {IDC_STATIC, L"Static", kLabel, 7, 83, 33, 8, L"Password:"},
      {IDC_STATIC, L"Static", kLabel, 7, 99, 51, 8, L"Verify Password:"},
      {IDC_STATIC, L"Static", kLabel, 7, 41, 173, 19, L"Enter the account in the following form:\nDOMAIN\\Account"}}},
    {IDD_ABOUTBOX, false, kModal, 0, 235, 55, L"About Quilmarsk", 8, L"MS Sans Serif", 0, 0, 0,
     {{IDC_STATIC, L"Static", kIcon, 13, 13, 20, 20, nullptr},
      {IDC_STATIC, L"Static", kLabel | SS_NOPREFIX, 40, 10, 119, 8, L"" QM_ABOUT_VERSION_TEXT},
      {IDC_STATIC, L"Static", kLabel, 40, 25, 188, 8, nullptr},
      {IDOK, L"Button", kDefault | WS_GROUP, 178, 7, 50, 14, L"OK"}}},
};

// Reads a template front to back; each read moves on.
class Reader {
public:
    Reader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}

    template <typename T>
    T Read() {
        T value{};
        if (at_ + sizeof value > size_) throw std::runtime_error("the template ends early");
        std::memcpy(&value, data_ + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    // A name or an ordinal (given as "#number"; empty when absent).
    std::wstring NameOrOrdinal() {
        const WORD first = Read<WORD>();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
        std::wstring text;
        for (WORD c = first; c; c = Read<WORD>()) text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignToDword() { at_ = (at_ + 3) & ~std::size_t{3}; }
    void Skip(std::size_t bytes) { at_ += bytes; }

private:
    const BYTE* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Predefined window classes are stored as ordinals.
std::wstring ClassName(const std::wstring& stored) {
    static const wchar_t* const kNames[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
    for (int i = 0; i < 6; ++i) {
        if (stored == L"#" + std::to_wstring(0x80 + i)) return kNames[i];
    }
    return stored;
}

// The style and extended style, in the order of the template's kind.
std::pair<DWORD, DWORD> ReadStyles(Reader& r, bool extended) {
    if (!extended) {
        const DWORD style = r.Read<DWORD>();
        return {style, r.Read<DWORD>()};
    }
    r.Read<DWORD>();  // help id
    const DWORD exStyle = r.Read<DWORD>();
    return {r.Read<DWORD>(), exStyle};
}

void ExpectControl(Reader& r, bool extended, const Control& want) {
    r.AlignToDword();
    const auto [style, exStyle] = ReadStyles(r, extended);
    const short x = r.Read<short>(), y = r.Read<short>(), cx = r.Read<short>(), cy = r.Read<short>();
    const int id = extended ? static_cast<int>(r.Read<DWORD>()) : static_cast<short>(r.Read<WORD>());
    const std::wstring type = ClassName(r.NameOrOrdinal());
    const std::wstring text = r.NameOrOrdinal();
    r.Skip(r.Read<WORD>());  // creation data
    SCOPED_TRACE(testing::Message() << "control " << want.id << " at " << want.x << "," << want.y);
    EXPECT_EQ(id, want.id);
    EXPECT_EQ(_wcsicmp(type.c_str(), want.type), 0) << std::string(type.begin(), type.end());
    EXPECT_EQ(style, want.style) << std::hex << (style ^ want.style);
    EXPECT_EQ(exStyle, 0u);
    EXPECT_EQ((std::vector<short>{x, y, cx, cy}), (std::vector<short>{want.x, want.y, want.cx, want.cy}));
    if (want.text) {
        EXPECT_EQ(text, want.text);
    }
}

TEST(Templates, MatchTheTableControlByControl) {
    ASSERT_GE(__argc, 2) << "usage: templates_test QUILMARSK_EXE [gtest flags]";
    const std::string path = e2e::WinePath(__argv[1]);
    HMODULE exe = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(exe) << path;
    for (const Template& want : kTemplates) {
        SCOPED_TRACE(testing::Message() << "template " << want.id);
        HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(want.id), RT_DIALOG);
        ASSERT_TRUE(found);
        const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(exe, found)));
        Reader r(data, SizeofResource(exe, found));
        const bool extended = r.Read<DWORD>() == 0xFFFF0001;  // version 1, signature 0xFFFF
        ASSERT_EQ(extended, want.extended);
        if (!extended) r = Reader(data, SizeofResource(exe, found));
        const auto [style, exStyle] = ReadStyles(r, extended);
        EXPECT_EQ(style, want.style) << std::hex << (style ^ want.style);
        EXPECT_EQ(exStyle, want.exStyle);
        const WORD count = r.Read<WORD>();
        r.Skip(2 * sizeof(short));  // x, y
        EXPECT_EQ(r.Read<short>(), want.cx);
        EXPECT_EQ(r.Read<short>(), want.cy);
        EXPECT_EQ(r.NameOrOrdinal(), L"");  // no menu
        EXPECT_EQ(r.NameOrOrdinal(), L"");  // the standard dialog class
        EXPECT_EQ(r.NameOrOrdinal(), want.title);
        EXPECT_EQ(r.Read<WORD>(), want.points);
        if (extended) {
            EXPECT_EQ(r.Read<WORD>(), want.weight);
            EXPECT_EQ(r.Read<BYTE>(), want.italic);
            EXPECT_EQ(r.Read<BYTE>(), want.charset);
        }
        EXPECT_EQ(r.NameOrOrdinal(), want.font);
        ASSERT_EQ(count, want.controls.size());
        for (const Control& control : want.controls) ExpectControl(r, extended, control);
    }
    FreeLibrary(exe);
}

}  // namespace
