// Which console key events end the key wait. Pure and portable, so every
// platform's tests check it, though only the Windows console feeds it events.
#pragma once

#include <cstdint>

// The parts of a console key event that decide, with the console's own codes:
// a virtual-key code, the character the key yields (0 for none), and the
// control-key state flags.
struct ConsoleKeyEvent {
    bool key_down;
    std::uint16_t virtual_key;
    char character;
    std::uint32_t control_state;
};

// Virtual-key codes this decision names.
namespace vk {
inline constexpr std::uint16_t kBackspace = 0x08, kTab = 0x09, kClear = 0x0C, kReturn = 0x0D,
                               kShift = 0x10, kControl = 0x11, kMenu = 0x12, kCapsLock = 0x14,
                               kEscape = 0x1B, kSpace = 0x20, kPageUp = 0x21, kPageDown = 0x22,
                               kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27,
                               kDown = 0x28, kInsert = 0x2D, kDelete = 0x2E, kDigit0 = 0x30,
                               kDigit2 = 0x32, kDigit9 = 0x39, kLetterA = 0x41, kLetterZ = 0x5A,
                               kNumpad0 = 0x60, kNumpad9 = 0x69, kDivide = 0x6F, kF1 = 0x70,
                               kF12 = 0x7B, kNumLock = 0x90, kScrollLock = 0x91, kSemicolon = 0xBA,
                               kEquals = 0xBB, kComma = 0xBC, kMinus = 0xBD, kPeriod = 0xBE,
                               kSlash = 0xBF, kBackquote = 0xC0, kOpenBracket = 0xDB,
                               kBackslash = 0xDC, kCloseBracket = 0xDD, kApostrophe = 0xDE;
}  // namespace vk

// Control-key state flags, as the console reports them.
namespace key_state {
inline constexpr std::uint32_t kRightAlt = 0x0001, kLeftAlt = 0x0002, kRightCtrl = 0x0004,
                               kLeftCtrl = 0x0008, kShift = 0x0010, kNumLockOn = 0x0020,
                               kEnhanced = 0x0100;
}  // namespace key_state

// True for a key press that yields a character or has an extended key code;
// false for releases and for presses that yield neither (a modifier alone,
// keypad 5 with Num Lock off, ...). Where several modifiers are held, Alt counts
// before Ctrl and Ctrl before Shift.
bool key_event_ends_wait(const ConsoleKeyEvent& event);
