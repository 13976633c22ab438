// Runs the tool in this program's console and watches the console's input mode:
// what it is before, whether the tool's key wait switches it to 0, and whether it
// is back as it was once the tool has ended. Prints what it saw and ends with the
// tool's exit status.
//
// usage: console_mode_probe <tarvul2semrod.exe>
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) return 120;
    const HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD before = 0;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &before)) return 121;

    std::string command_line = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(argv[1], command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 122;
    }
    bool saw_raw = false;
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        DWORD now = 0;
        if (GetConsoleMode(input, &now) && now == 0) saw_raw = true;
    }
    DWORD status = 0, after = 0;
    GetExitCodeProcess(process.hProcess, &status);
    GetConsoleMode(input, &after);
    std::printf("input mode before %lX, during the wait %s, after %lX\n", before,
                saw_raw ? "0" : "never 0", after);
    return static_cast<int>(status);
}
