#include "console_keys.h"

#include <gtest/gtest.h>

namespace {

using namespace key_state;

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
    {"Enter", press(vk::kReturn, 0, '\r'), true},
    {"Esc", press(vk::kEscape, 0, 0x1B), true},
    {"Ctrl+C as a key", press('C', kCtrl, 0x03), true},
    {"keypad 7 with Num Lock on", press(vk::kNumpad0 + 7, kNumLockOn, '7'), true},
    {"AltGr character", press('Q', kRightAlt | kLeftCtrl, '@'), true},
    // Releases and presses that yield nothing.
    {"release of a letter", {false, 'K', 'k', 0}, false},
    {"Shift alone", press(vk::kShift, kShift), false},
    {"Ctrl alone", press(vk::kControl, kCtrl), false},
    {"Alt alone", press(vk::kMenu, kAlt), false},
    {"Caps Lock", press(vk::kCapsLock), false},
    {"Num Lock", press(vk::kNumLock, kE), false},
    {"Scroll Lock", press(vk::kScrollLock), false},
    {"keypad 5, Num Lock off", press(vk::kClear), false},
    {"Ctrl+keypad 5, Num Lock off", press(vk::kClear, kCtrl), false},
    {"Ctrl+1 without character", press('1', kCtrl), false},
    {"Alt+backslash without character", press(vk::kBackslash, kAlt), false},
    {"Alt+keypad digit (Alt code typing)", press(vk::kNumpad0 + 4, kAlt | kNumLockOn), false},
    {"Alt+Space without character", press(vk::kSpace, kAlt), false},
    // Keypad navigation with Num Lock off: alone or with Ctrl only.
    {"keypad 7 (Home), Num Lock off", press(vk::kHome), true},
    {"Ctrl+keypad 7", press(vk::kHome, kCtrl), true},
    {"Shift+keypad 7", press(vk::kHome, kShift), false},
    {"Alt+keypad 7", press(vk::kHome, kAlt), false},
    {"Ctrl+Shift+keypad 7: Ctrl counts", press(vk::kHome, kCtrl | kShift), true},
    {"Alt+Ctrl+keypad 7: Alt counts", press(vk::kHome, kAlt | kCtrl), false},
    {"keypad 0 (Insert), Num Lock off", press(vk::kInsert), true},
    {"Shift+keypad point (Delete)", press(vk::kDelete, kShift), false},
    // The cursor block carries the enhanced flag and has a code with any modifier.
    {"Up arrow", press(vk::kUp, kE), true},
    {"Shift+Left arrow", press(vk::kLeft, kE | kShift), true},
    {"Alt+Home", press(vk::kHome, kE | kAlt), true},
    {"Alt+Ctrl+Shift+Delete", press(vk::kDelete, kE | kAlt | kCtrl | kShift), true},
    {"Shift+Page Down", press(vk::kPageDown, kE | kShift), true},
    {"Alt+Insert", press(vk::kInsert, kE | kAlt), true},
    {"Alt+keypad Enter", press(vk::kReturn, kE | kAlt), true},
    {"Alt+keypad /", press(vk::kDivide, kE | kAlt), true},
    {"Shift+keypad /", press(vk::kDivide, kE | kShift), true},
    // F1-F12 with every modifier.
    {"F1", press(vk::kF1), true},
    {"Shift+F5", press(vk::kF1 + 4, kShift), true},
    {"Ctrl+F10", press(vk::kF1 + 9, kCtrl), true},
    {"Alt+F12", press(vk::kF12, kAlt), true},
    {"Alt+Ctrl+Shift+F7", press(vk::kF1 + 6, kAlt | kCtrl | kShift), true},
    {"F13 is not among them", press(vk::kF12 + 1), false},
    // Tab and 2.
    {"Shift+Tab", press(vk::kTab, kShift), true},
    {"Ctrl+Tab", press(vk::kTab, kCtrl), true},
    {"Ctrl+Shift+Tab: Ctrl counts", press(vk::kTab, kCtrl | kShift), true},
    {"Ctrl+2", press(vk::kDigit2, kCtrl), true},
    {"Ctrl+Shift+2: Ctrl counts", press(vk::kDigit2, kCtrl | kShift), true},
    {"Shift+2 without character", press(vk::kDigit2, kShift), false},
    {"Ctrl+3 without character", press(vk::kDigit2 + 1, kCtrl), false},
    // Alt with the listed keys.
    {"Alt+Esc", press(vk::kEscape, kAlt), true},
    {"Alt+0", press(vk::kDigit0, kAlt), true},
    {"Alt+9", press(vk::kDigit9, kAlt), true},
    {"Alt+minus", press(vk::kMinus, kAlt), true},
    {"Alt+equals", press(vk::kEquals, kAlt), true},
    {"Alt+Backspace", press(vk::kBackspace, kAlt), true},
    {"Alt+Tab", press(vk::kTab, kAlt), true},
    {"Alt+A", press(vk::kLetterA, kAlt), true},
    {"Right Alt+Z", press(vk::kLetterZ, kRightAlt), true},
    {"Alt+[", press(vk::kOpenBracket, kAlt), true},
    {"Alt+]", press(vk::kCloseBracket, kAlt), true},
    {"Alt+Enter", press(vk::kReturn, kAlt), true},
    {"Alt+semicolon", press(vk::kSemicolon, kAlt), true},
    {"Alt+apostrophe", press(vk::kApostrophe, kAlt), true},
    {"Alt+backquote", press(vk::kBackquote, kAlt), true},
    {"Alt+comma", press(vk::kComma, kAlt), true},
    {"Alt+point", press(vk::kPeriod, kAlt), true},
    {"Alt+slash", press(vk::kSlash, kAlt), true},
    {"Alt+Ctrl+2: Alt counts", press(vk::kDigit2, kAlt | kCtrl), true},
    {"Alt+Shift+Tab: Alt counts", press(vk::kTab, kAlt | kShift), true},
    {"Ctrl+A without character", press(vk::kLetterA, kCtrl), false},
};

TEST(KeyDecision, EndsOnCharactersAndExtendedCodesOnly) {
    for (const Case& c : kCases) {
        EXPECT_EQ(key_event_ends_wait(c.event), c.ends) << c.name;
    }
}

}  // namespace
