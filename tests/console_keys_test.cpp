#include "console_keys.h"

#include <gtest/gtest.h>

namespace {

// The console's own codes, written out from Windows's virtual-key and
// control-key-state tables rather than taken from the header under test, so a
// wrong code there cannot move the expectations along with it.
namespace win {
constexpr std::uint16_t kBack = 0x08, kTab = 0x09, kClear = 0x0C, kReturn = 0x0D, kShiftKey = 0x10,
                        kControlKey = 0x11, kMenuKey = 0x12, kCapital = 0x14, kEscape = 0x1B,
                        kSpace = 0x20, kPrior = 0x21, kNext = 0x22, kEnd = 0x23, kHome = 0x24,
                        kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28, kSelect = 0x29,
                        kInsert = 0x2D, kDelete = 0x2E, k0 = 0x30, k2 = 0x32, k9 = 0x39, kA = 0x41,
                        kZ = 0x5A, kNumpad0 = 0x60, kDivide = 0x6F, kF1 = 0x70, kF12 = 0x7B,
                        kNumLock = 0x90, kScroll = 0x91, kOem1 = 0xBA, kOemPlus = 0xBB,
                        kOemComma = 0xBC, kOemMinus = 0xBD, kOemPeriod = 0xBE, kOem2 = 0xBF,
                        kOem3 = 0xC0, kOem4 = 0xDB, kOem5 = 0xDC, kOem6 = 0xDD, kOem7 = 0xDE;
constexpr std::uint32_t kRightAlt = 0x0001, kLeftAlt = 0x0002, kRightCtrl = 0x0004,
                        kLeftCtrl = 0x0008, kShift = 0x0010, kNumLockOn = 0x0020,
                        kEnhanced = 0x0100;
}  // namespace win

using namespace win;

constexpr std::uint32_t kAlt = kLeftAlt, kCtrl = kLeftCtrl, kE = kEnhanced;

struct Case {
    const char* name;
    ConsoleKeyEvent event;
    bool ends;
};

ConsoleKeyEvent press(std::uint16_t key, std::uint32_t state = 0, char character = 0) {
    return {true, key, character, state};
}

const Case kCases[] = {
    // Characters end the wait whatever else is held.
    {"letter", press('K', 0, 'k'), true},
    {"Enter", press(kReturn, 0, '\r'), true},
    {"Esc", press(kEscape, 0, 0x1B), true},
    {"Ctrl+C as a key", press('C', kCtrl, 0x03), true},
    {"keypad 7 with Num Lock on", press(kNumpad0 + 7, kNumLockOn, '7'), true},
    {"AltGr character", press('Q', kRightAlt | kLeftCtrl, '@'), true},
    // Releases and presses that yield nothing.
    {"release of a letter", {false, 'K', 'k', 0}, false},
    {"Shift alone", press(kShiftKey, kShift), false},
    {"Ctrl alone", press(kControlKey, kCtrl), false},
    {"Alt alone", press(kMenuKey, kAlt), false},
    {"Caps Lock", press(kCapital), false},
    {"Num Lock", press(kNumLock, kE), false},
    {"Scroll Lock", press(kScroll), false},
    {"keypad 5, Num Lock off", press(kClear), false},
    {"Ctrl+keypad 5, Num Lock off", press(kClear, kCtrl), false},
    {"Ctrl+1 without character", press('1', kCtrl), false},
    {"Alt+backslash without character", press(kOem5, kAlt), false},
    {"Alt+keypad digit (Alt code typing)", press(kNumpad0 + 4, kAlt | kNumLockOn), false},
    {"Alt+Space without character", press(kSpace, kAlt), false},
    // Keypad navigation with Num Lock off: alone or with Ctrl only.
    {"keypad 7 (Home), Num Lock off", press(kHome), true},
    {"Ctrl+keypad 7", press(kHome, kCtrl), true},
    {"Shift+keypad 7", press(kHome, kShift), false},
    {"Alt+keypad 7", press(kHome, kAlt), false},
    {"Ctrl+Shift+keypad 7: Ctrl counts", press(kHome, kCtrl | kShift), true},
    {"Alt+Ctrl+keypad 7: Alt counts", press(kHome, kAlt | kCtrl), false},
    {"keypad 9 (Page Up), Num Lock off", press(kPrior), true},
    {"keypad 2 (Down), Num Lock off", press(kDown), true},
    {"keypad 1 (End), Num Lock off", press(kEnd), true},
    {"keypad 0 (Insert), Num Lock off", press(kInsert), true},
    {"Select, beside the navigation keys", press(kSelect), false},
    {"Shift+keypad point (Delete)", press(kDelete, kShift), false},
    // The cursor block carries the enhanced flag and has a code with any modifier.
    {"Up arrow", press(kUp, kE), true},
    {"Shift+Left arrow", press(kLeft, kE | kShift), true},
    {"Ctrl+Right arrow", press(kRight, kE | kCtrl), true},
    {"Alt+Home", press(kHome, kE | kAlt), true},
    {"Alt+Ctrl+Shift+Delete", press(kDelete, kE | kAlt | kCtrl | kShift), true},
    {"Shift+Page Down", press(kNext, kE | kShift), true},
    {"Alt+Insert", press(kInsert, kE | kAlt), true},
    {"Alt+keypad Enter", press(kReturn, kE | kAlt), true},
    {"Alt+keypad /", press(kDivide, kE | kAlt), true},
    {"Shift+keypad /", press(kDivide, kE | kShift), true},
    // F1-F12 with every modifier.
    {"F1", press(kF1), true},
    {"Shift+F5", press(kF1 + 4, kShift), true},
    {"Ctrl+F10", press(kF1 + 9, kCtrl), true},
    {"Alt+F12", press(kF12, kAlt), true},
    {"Alt+Ctrl+Shift+F7", press(kF1 + 6, kAlt | kCtrl | kShift), true},
    {"F13 is not among them", press(kF12 + 1), false},
    // Tab and 2.
    {"Shift+Tab", press(kTab, kShift), true},
    {"Ctrl+Tab", press(kTab, kCtrl), true},
    {"Right Ctrl+Tab", press(kTab, kRightCtrl), true},
    {"Ctrl+Shift+Tab: Ctrl counts", press(kTab, kCtrl | kShift), true},
    {"Ctrl+2", press(k2, kCtrl), true},
    {"Ctrl+Shift+2: Ctrl counts", press(k2, kCtrl | kShift), true},
    {"Shift+2 without character", press(k2, kShift), false},
    {"Ctrl+3 without character", press(k2 + 1, kCtrl), false},
    // Alt with the listed keys.
    {"Alt+Esc", press(kEscape, kAlt), true},
    {"Alt+0", press(k0, kAlt), true},
    {"Alt+9", press(k9, kAlt), true},
    {"Alt+minus", press(kOemMinus, kAlt), true},
    {"Alt+equals", press(kOemPlus, kAlt), true},
    {"Alt+Backspace", press(kBack, kAlt), true},
    {"Alt+Tab", press(kTab, kAlt), true},
    {"Alt+A", press(kA, kAlt), true},
    {"Right Alt+Z", press(kZ, kRightAlt), true},
    {"Alt+[", press(kOem4, kAlt), true},
    {"Alt+]", press(kOem6, kAlt), true},
    {"Alt+Enter", press(kReturn, kAlt), true},
    {"Alt+semicolon", press(kOem1, kAlt), true},
    {"Alt+apostrophe", press(kOem7, kAlt), true},
    {"Alt+backquote", press(kOem3, kAlt), true},
    {"Alt+comma", press(kOemComma, kAlt), true},
    {"Alt+point", press(kOemPeriod, kAlt), true},
    {"Alt+slash", press(kOem2, kAlt), true},
    {"Alt+Ctrl+2: Alt counts", press(k2, kAlt | kCtrl), true},
    {"Alt+Shift+Tab: Alt counts", press(kTab, kAlt | kShift), true},
    {"Ctrl+A without character", press(kA, kCtrl), false},
};

TEST(KeyDecision, EndsOnCharactersAndExtendedCodesOnly) {
    for (const Case& c : kCases) {
        EXPECT_EQ(key_event_ends_wait(c.event), c.ends) << c.name;
    }
}

}  // namespace
