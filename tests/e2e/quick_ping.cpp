// A stand-in for ping.exe, put first on PATH when the update script runs
// under test. The script waits with "PING -n N 127.0.0.1", about N-1
// seconds; this waits a twentieth of that, so that a run stays short while
// a service that fails a moment after its start has failed before the
// script looks at it.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    long count = 4;  // ping's default
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-n") == 0) count = std::strtol(argv[i + 1], nullptr, 10);
    if (count > 1) Sleep(static_cast<DWORD>(count - 1) * 1000 / 20);
    return 0;
}
