// The console on Windows: "CONIN$" is the keyboard, read as raw input events;
// the report goes through the C runtime's stdout in text mode (LF becomes CR LF).
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "console.h"
#include "console_keys.h"

namespace {

char g_report_buffer[kReportBufferSize];

// What the control handler needs to put the input mode back when the console is
// closed, Ctrl+Break is pressed or the session ends during the wait.
HANDLE g_console_input = INVALID_HANDLE_VALUE;
DWORD g_saved_mode = 0;

BOOL WINAPI restore_mode_on_control_event(DWORD) {
    SetConsoleMode(g_console_input, g_saved_mode);
    return FALSE;  // let the default handling end the process as usual
}

ConsoleKeyEvent key_event_from(const KEY_EVENT_RECORD& key) {
    return {key.bKeyDown != FALSE, key.wVirtualKeyCode, key.uChar.AsciiChar,
            static_cast<std::uint32_t>(key.dwControlKeyState)};
}

}  // namespace

void prepare_process() {
    // The C runtime treats line buffering as full buffering, so a console gets
    // no buffer at all: each formatted write still goes out as one piece.
    if (_isatty(_fileno(stdout))) {
        std::setvbuf(stdout, nullptr, _IONBF, 0);
    } else {
        std::setvbuf(stdout, g_report_buffer, _IOFBF, kReportBufferSize);
    }
}

void wait_for_key() {
    const HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) return;  // no console: nobody to wait for
    DWORD saved_mode = 0;
    if (!GetConsoleMode(input, &saved_mode)) {
        CloseHandle(input);
        return;
    }
    g_console_input = input;
    g_saved_mode = saved_mode;
    SetConsoleCtrlHandler(restore_mode_on_control_event, TRUE);
    // Mode 0: no echo, no line input, and Ctrl+C arrives as a key. The queue is
    // not flushed, so a key pressed while the files loaded ends the wait at once.
    SetConsoleMode(input, 0);

    for (;;) {
        INPUT_RECORD record{};
        DWORD count = 0;
        if (!ReadConsoleInputA(input, &record, 1, &count) || count == 0) break;
        if (record.EventType == KEY_EVENT &&
            key_event_ends_wait(key_event_from(record.Event.KeyEvent))) {
            break;
        }
    }

    SetConsoleMode(input, saved_mode);
    SetConsoleCtrlHandler(restore_mode_on_control_event, FALSE);
    g_console_input = INVALID_HANDLE_VALUE;
    CloseHandle(input);
}
