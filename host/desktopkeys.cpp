// The desktop's key bindings.
#include "host/desktopkeys.h"

DesktopBinding DesktopKeys_binding(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const bool alt = mods & (Qt::AltModifier | Qt::MetaModifier);
    auto engine = [](int32_t code) { return DesktopBinding{Desktop_engineKey, code}; };
    auto command = [](int c) { return DesktopBinding{c, 0}; };
    // Alt belongs to the window manager's keys.
    if (alt)
        return command(Desktop_swallow);
    if (ctrl) {
        switch (qtKey) {
        // Ctrl with "+" comes as Plus, or as Equal where "+" needs Shift.
        case Qt::Key_Plus:
        case Qt::Key_Equal: return engine(DesktopKey_zoomIn);
        case Qt::Key_Minus:
        case Qt::Key_Underscore: return engine(DesktopKey_zoomOut);
        case Qt::Key_F: return command(Desktop_find);
        case Qt::Key_G: return command(Desktop_gotoPage);
        case Qt::Key_O: return command(Desktop_open);
        case Qt::Key_Q: return command(Desktop_quit);
        case Qt::Key_C:
        case Qt::Key_Insert: return command(Desktop_copy);
        case Qt::Key_Home: return engine(DesktopKey_firstPage);
        case Qt::Key_End: return engine(DesktopKey_lastPage);
        case Qt::Key_Control:
        case Qt::Key_Shift: return command(Desktop_swallow);
        default:
            // Ctrl with a phone key (Ctrl+Z, Ctrl+A, ...) is no phone key.
            return command(Desktop_swallow);
        }
    }
    switch (qtKey) {
    case Qt::Key_PageDown: return engine(DesktopKey_screenDown);
    case Qt::Key_PageUp: return engine(DesktopKey_screenUp);
    case Qt::Key_Space: return engine(shift ? DesktopKey_screenUp : DesktopKey_screenDown);
    case Qt::Key_Backspace: return engine(DesktopKey_screenUp);
    case Qt::Key_Home: return engine(DesktopKey_firstPage);
    case Qt::Key_End: return engine(DesktopKey_lastPage);
    case Qt::Key_Left: return engine(DesktopKey_left);
    case Qt::Key_Right: return engine(DesktopKey_right);
    case Qt::Key_Up: return engine(DesktopKey_up);
    case Qt::Key_Down: return engine(DesktopKey_down);
    case Qt::Key_F3: return command(Desktop_findAgain);
    case Qt::Key_F11: return command(Desktop_fullScreen);
    default: return {};
    }
}

bool DesktopKeys_repeatsAsTaps(int32_t engineKey)
{
    switch (engineKey) {
    case DesktopKey_screenUp:
    case DesktopKey_screenDown:
    case DesktopKey_firstPage:
    case DesktopKey_lastPage: return true;
    default: return false;
    }
}
