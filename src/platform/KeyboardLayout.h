#pragma once
// The desktop's keyboard layouts, for the window's layout indicator. On Linux this is the X11
// keyboard extension (XKB): the active group and the layout names of the groups. Without an X11
// display (Wayland, no display at all) nothing is known and nothing can be switched.

#include <string>
#include <vector>

namespace cq {

/// The layout names of the keyboard groups in group order ("us", "ru"), and the active group.
struct KeyboardLayouts {
    std::vector<std::string> groups;
    int active = -1;
};

/// The layouts of the display named by DISPLAY; empty when there is no X11 display with the
/// keyboard extension.
KeyboardLayouts CurrentKeyboardLayouts();

/// The short name of the active layout ("us", "ru"); empty when it is not known.
std::string ActiveKeyboardLayout();

/// Makes the first group whose layout is `layout` the active one; false when there is no such
/// group or no X11 display.
bool ActivateKeyboardLayout(const std::string& layout);

/// The layout names listed in an XKB layout string ("us,ru(phonetic)" -> "us", "ru"): variants in
/// parentheses and spaces are dropped.
std::vector<std::string> ParseXkbLayoutList(const std::string& layouts);

} // namespace cq
