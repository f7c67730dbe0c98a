#pragma once

// The keyboard's lock keys, for the status bar's "CAP", "NUM" and "SCRL" indicators. Qt has no portable
// way to ask; on X11 the XKB indicators are read, elsewhere (Wayland, offscreen) every lock reads as off.
struct KeyLockState
{
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;

    static KeyLockState current();

    bool operator==(const KeyLockState&) const = default;
};
