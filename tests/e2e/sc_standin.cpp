// An sc.exe that answers as Windows does where Wine's cannot: it runs the
// system's own sc.exe with the same arguments and translates the field
// labels as a German sc.exe prints them (STATE becomes STATUS, TYPE becomes
// TYP; numbers and state words stay). Put first on PATH, so that the
// update script's SC commands find it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The command line after the program's own name.
std::string Arguments() {
    const char* line = GetCommandLineA();
    bool quoted = false;
    for (; *line && (quoted || (*line != ' ' && *line != '\t')); ++line) quoted ^= *line == '"';
    return line;
}

std::string Translated(std::string text) {
    const std::pair<const char*, const char*> labels[] = {{" STATE ", " STATUS"}, {" TYPE ", " TYP  "}};
    for (const auto& [english, german] : labels)
        for (std::size_t at; (at = text.find(english)) != std::string::npos;) text.replace(at, 7, german);
    return text;
}

}  // namespace

int main() {
    const std::string arguments = Arguments();
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    std::string command = "\"" + std::string(system) + "\\sc.exe\"" + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return 1;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) return 1;
    CloseHandle(write);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    std::fputs(Translated(output).c_str(), stdout);
    return static_cast<int>(code);
}
