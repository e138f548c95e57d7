#include "ui/KeyIndicators.h"

#include <QGuiApplication>

#ifdef TAVI_HAVE_X11
#include <X11/XKBlib.h>
#endif

namespace tavi {

std::optional<LockKeyStates> QueryLockKeyStates() {
#ifdef TAVI_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return std::nullopt;
    // The indicators by name, since their bit positions depend on the keyboard map.
    static const Atom names[3] = {XInternAtom(display, "Caps Lock", False), XInternAtom(display, "Num Lock", False),
                                  XInternAtom(display, "Scroll Lock", False)};
    bool on[3] = {};
    for (int i = 0; i < 3; ++i) {
        Bool lit = False;
        if (XkbGetNamedIndicator(display, names[i], nullptr, &lit, nullptr, nullptr)) on[i] = lit;
    }
    return LockKeyStates{on[0], on[1], on[2]};
#else
    return std::nullopt;
#endif
}

}  // namespace tavi
