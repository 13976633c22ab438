#include "console_keys.h"

namespace {

enum class Modifier { none, shift, ctrl, alt };

Modifier dominant_modifier(std::uint32_t state) {
    if ((state & (key_state::kLeftAlt | key_state::kRightAlt)) != 0) return Modifier::alt;
    if ((state & (key_state::kLeftCtrl | key_state::kRightCtrl)) != 0) return Modifier::ctrl;
    if ((state & key_state::kShift) != 0) return Modifier::shift;
    return Modifier::none;
}

bool in_range(std::uint16_t key, std::uint16_t first, std::uint16_t last) {
    return key >= first && key <= last;
}

// The navigation keys: on the cursor block they carry the enhanced flag; without
// it they are keypad 0-4, 6-9 and the decimal point with Num Lock off.
bool is_navigation_key(std::uint16_t key) {
    return in_range(key, vk::kPageUp, vk::kDown) || key == vk::kInsert || key == vk::kDelete;
}

bool alt_combination_has_code(std::uint16_t key) {
    switch (key) {
        case vk::kEscape:
        case vk::kMinus:
        case vk::kEquals:
        case vk::kBackspace:
        case vk::kTab:
        case vk::kOpenBracket:
        case vk::kCloseBracket:
        case vk::kReturn:
        case vk::kSemicolon:
        case vk::kApostrophe:
        case vk::kBackquote:
        case vk::kComma:
        case vk::kPeriod:
        case vk::kSlash:
            return true;
        default:
            return in_range(key, vk::kDigit0, vk::kDigit9) ||
                   in_range(key, vk::kLetterA, vk::kLetterZ);
    }
}

bool has_extended_code(std::uint16_t key, bool enhanced, Modifier modifier) {
    if (in_range(key, vk::kF1, vk::kF12)) return true;
    if (enhanced && (is_navigation_key(key) || key == vk::kReturn || key == vk::kDivide)) {
        return true;
    }
    if (is_navigation_key(key)) return modifier == Modifier::none || modifier == Modifier::ctrl;
    switch (modifier) {
        case Modifier::alt:
            return alt_combination_has_code(key);
        case Modifier::ctrl:
            return key == vk::kTab || key == vk::kDigit2;
        case Modifier::shift:
            return key == vk::kTab;
        case Modifier::none:
            return false;
    }
    return false;
}

}  // namespace

bool key_event_ends_wait(const ConsoleKeyEvent& event) {
    if (!event.key_down) return false;
    if (event.character != 0) return true;
    return has_extended_code(event.virtual_key, (event.control_state & key_state::kEnhanced) != 0,
                             dominant_modifier(event.control_state));
}
