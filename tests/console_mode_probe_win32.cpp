// Runs the tool in this program's console and watches the console's input mode:
// what it is before, whether the tool's key wait switches it to 0, and whether it
// is back as it was once the tool has ended. Prints what it saw and ends with the
// tool's exit status.
//
// Before the tool starts, the probe can put input records into the console's
// queue, as the console itself leaves them there: the release of the Enter that
// started the tool, a focus change from a click, a modifier pressed on the way
// to a key. Those the wait must skip, and a key press behind them must still end it.
//
// usage: console_mode_probe <tarvul2semrod.exe> [<record>,<record>,...]
//   records: enter_release focus menu mouse window_size shift ctrl key
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

INPUT_RECORD key_record(bool down, WORD key, WORD scan, char character, DWORD state) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = key;
    record.Event.KeyEvent.wVirtualScanCode = scan;
    record.Event.KeyEvent.uChar.AsciiChar = character;
    record.Event.KeyEvent.dwControlKeyState = state;
    return record;
}

// False for a name it does not know.
bool record_named(const std::string& name, INPUT_RECORD& record) {
    record = {};
    if (name == "enter_release") {
        record = key_record(false, VK_RETURN, 0x1C, '\r', 0);
    } else if (name == "shift") {
        record = key_record(true, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED);
    } else if (name == "ctrl") {
        record = key_record(true, VK_CONTROL, 0x1D, 0, LEFT_CTRL_PRESSED);
    } else if (name == "key") {
        record = key_record(true, 'K', 0x25, 'k', 0);
    } else if (name == "focus") {
        record.EventType = FOCUS_EVENT;
        record.Event.FocusEvent.bSetFocus = TRUE;
    } else if (name == "menu") {
        record.EventType = MENU_EVENT;
        record.Event.MenuEvent.dwCommandId = 0x100;
    } else if (name == "mouse") {
        record.EventType = MOUSE_EVENT;
        record.Event.MouseEvent.dwMousePosition = {10, 5};
        record.Event.MouseEvent.dwButtonState = FROM_LEFT_1ST_BUTTON_PRESSED;
    } else if (name == "window_size") {
        record.EventType = WINDOW_BUFFER_SIZE_EVENT;
        record.Event.WindowBufferSizeEvent.dwSize = {100, 30};
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 120;
    const HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD before = 0;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &before)) return 121;

    std::vector<INPUT_RECORD> queued;
    for (char* name = argc == 3 ? std::strtok(argv[2], ",") : nullptr; name != nullptr;
         name = std::strtok(nullptr, ",")) {
        INPUT_RECORD record;
        if (!record_named(name, record)) return 123;
        queued.push_back(record);
    }
    DWORD written = 0;
    if (!queued.empty() &&
        (!WriteConsoleInputA(input, queued.data(), static_cast<DWORD>(queued.size()), &written) ||
         written != queued.size())) {
        return 124;
    }

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
