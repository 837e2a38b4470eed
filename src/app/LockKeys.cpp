#include "app/LockKeys.h"

#include <QGuiApplication>

#ifdef JVS_HAVE_X11
#include <X11/XKBlib.h>
#endif

std::optional<std::array<bool, 3>> ReadLockKeys() {
#ifdef JVS_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return std::nullopt;
    std::array<bool, 3> states{};
    const char* names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    for (int i = 0; i < 3; ++i) {
        // The indicators by name: their bit positions differ between keymaps.
        Bool on = False;
        const Atom atom = XInternAtom(display, names[i], True);
        if (atom != None && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
            states[static_cast<size_t>(i)] = on == True;
    }
    return states;
#else
    return std::nullopt;
#endif
}
