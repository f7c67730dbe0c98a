#include "KeyLockState.h"

#include <QGuiApplication>

#ifdef TOLVA_HAVE_XKB
#include <X11/XKBlib.h>

namespace {

bool indicatorOn(Display* display, const char* name)
{
    Bool on = False;
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None || !XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
        return false;
    return on;
}

} // namespace
#endif

KeyLockState KeyLockState::current()
{
    KeyLockState state;
#ifdef TOLVA_HAVE_XKB
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (Display* display = x11->display()) {
            state.capsLock = indicatorOn(display, "Caps Lock");
            state.numLock = indicatorOn(display, "Num Lock");
            state.scrollLock = indicatorOn(display, "Scroll Lock");
        }
    }
#endif
    return state;
}
