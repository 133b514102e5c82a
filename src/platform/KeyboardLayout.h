#pragma once
// The desktop's keyboard layouts, for the window's layout indicator. On Linux this is the X11
// keyboard extension (XKB): the active group and the layout names of the groups. Without an X11
// display (Wayland, no display at all) nothing can be switched, and the active layout is known
// only where the desktop keeps it in a setting: GNOME's input sources.

#include <chrono>
#include <functional>
#include <optional>
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

/// One of GNOME's input sources: its kind ("xkb" for a keyboard layout, "ibus" for an input
/// method engine) and its name ("us", "ru+phonetic", "libpinyin").
struct InputSource {
    std::string kind;
    std::string name;
    bool operator==(const InputSource&) const = default;
};

/// The input sources in a list as gsettings prints it ("[('xkb', 'us'), ('xkb', 'ru')]",
/// "@a(ss) []"); nullopt when the text is not such a list.
std::optional<std::vector<InputSource>> ParseInputSourceList(const std::string& text);

/// The layout GNOME Shell makes active: the first of the recently used sources that is still
/// configured, else the first configured one (the shell ignores the old "current" index). The
/// layout name without its variant ("us+intl" -> "us"); empty when nothing is configured or the
/// active source is an input method engine, whose layout is not known.
std::string ActiveGnomeLayout(const std::vector<InputSource>& sources,
                              const std::vector<InputSource>& recent);

/// Reads one key of the schema org.gnome.desktop.input-sources as gsettings prints it; nullopt
/// when it cannot be read.
using InputSourceSettingReader = std::function<std::optional<std::string>(const std::string& key)>;

/// A reader that runs `gsettings get`, each run ended at `limit`.
InputSourceSettingReader GsettingsReader(std::chrono::milliseconds limit);

/// The active layout by GNOME's input-source setting (the keys "sources" and "mru-sources");
/// empty when a key cannot be read or nothing is configured.
std::string GnomeKeyboardLayout(const InputSourceSettingReader& read);

/// True when `currentDesktop` (XDG_CURRENT_DESKTOP: names separated by colons) names GNOME.
bool IsGnomeDesktop(const std::string& currentDesktop);

/// The active layout the desktop's setting tells, for sessions that have no X11 keyboard to ask:
/// GNOME's input sources read through gsettings when `currentDesktop` (XDG_CURRENT_DESKTOP)
/// names GNOME; empty elsewhere or when they cannot be read. It starts programs and may take up
/// to a second: never call it on the interface thread.
std::string DesktopSettingKeyboardLayout(const std::string& currentDesktop);

} // namespace cq
