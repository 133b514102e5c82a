// XKB through Xlib. Built into its own small library (certquorix_platform_x11) that only the
// window links, so the core and the command-line tool never need the X11 libraries.
#include "platform/KeyboardLayout.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <memory>

namespace cq {
namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct XFreeDeleter {
    void operator()(unsigned char* data) const { XFree(data); }
};

DisplayPtr OpenDisplay() {
    int event = 0, error = 0, reason = 0;
    int major = XkbMajorVersion, minor = XkbMinorVersion;
    return DisplayPtr(XkbOpenDisplay(nullptr, &event, &error, &major, &minor, &reason));
}

// The root window's _XKB_RULES_NAMES: rules, model, layouts, variants and options, each ended by
// a zero byte. The third is the comma-separated list of the groups' layouts.
std::string LayoutListOf(Display* display) {
    const Atom names = XInternAtom(display, "_XKB_RULES_NAMES", True);
    if (names == None)
        return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), names, 0, 1024, False, XA_STRING,
                           &type, &format, &count, &remaining, &raw) != Success)
        return {};
    const std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (data == nullptr || type != XA_STRING || format != 8)
        return {};
    const std::string all(reinterpret_cast<const char*>(data.get()), count);
    std::size_t start = 0;
    for (int field = 0; field < 2; ++field) {
        start = all.find('\0', start);
        if (start == std::string::npos)
            return {};
        ++start;
    }
    const std::size_t end = all.find('\0', start);
    return all.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

KeyboardLayouts LayoutsOf(Display* display) {
    KeyboardLayouts layouts;
    layouts.groups = ParseXkbLayoutList(LayoutListOf(display));
    XkbStateRec state{};
    if (XkbGetState(display, XkbUseCoreKbd, &state) == Success)
        layouts.active = state.group;
    return layouts;
}

} // namespace

std::vector<std::string> ParseXkbLayoutList(const std::string& layouts) {
    std::vector<std::string> groups;
    std::string current;
    int depth = 0;
    for (const char c : layouts) {
        if (c == ',' && depth == 0) {
            groups.push_back(current);
            current.clear();
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (depth == 0 && c != ' ') {
            current += c;
        }
    }
    if (!groups.empty() || !current.empty())
        groups.push_back(current);
    return groups;
}

KeyboardLayouts CurrentKeyboardLayouts() {
    const DisplayPtr display = OpenDisplay();
    return display ? LayoutsOf(display.get()) : KeyboardLayouts{};
}

std::string ActiveKeyboardLayout() {
    const KeyboardLayouts layouts = CurrentKeyboardLayouts();
    if (layouts.active < 0 || layouts.active >= static_cast<int>(layouts.groups.size()))
        return {};
    return layouts.groups[static_cast<std::size_t>(layouts.active)];
}

bool ActivateKeyboardLayout(const std::string& layout) {
    const DisplayPtr display = OpenDisplay();
    if (!display)
        return false;
    const KeyboardLayouts layouts = LayoutsOf(display.get());
    for (std::size_t group = 0; group < layouts.groups.size(); ++group) {
        if (layouts.groups[group] != layout)
            continue;
        if (!XkbLockGroup(display.get(), XkbUseCoreKbd, static_cast<unsigned int>(group)))
            return false;
        XSync(display.get(), False);
        return true;
    }
    return false;
}

} // namespace cq
