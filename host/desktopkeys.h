// The desktop's keys on top of the phone's: what a key with its modifiers
// does in the GUI program. Some keys become engine key codes (page turns
// that scroll a tall page first, first and last page, zoom steps, arrows),
// others run a command of the window (find, go to page, full screen, open,
// quit, copy). Keys the desktop does not bind keep the phone's meaning
// (QAlien::engineKeyCode); where the two clash, the desktop wins: PageUp
// and PageDown turn pages (the phone's zoom stays on 3, 1, A and Z), and
// with Ctrl held O opens and no phone key applies.
#pragma once

#include <Qt>

#include <cstdint>

enum DesktopCommand : int {
    Desktop_none = 0,       // not a desktop key: the phone's table decides
    Desktop_engineKey = 1,  // the engine key code in DesktopBinding::engineKey
    Desktop_find = 2,       // Ctrl+F
    Desktop_findAgain = 3,  // F3
    Desktop_gotoPage = 4,   // Ctrl+G
    Desktop_fullScreen = 5, // F11
    Desktop_open = 6,       // Ctrl+O
    Desktop_quit = 7,       // Ctrl+Q
    Desktop_copy = 8,       // Ctrl+C, Ctrl+Insert
    Desktop_swallow = 9,    // a Ctrl key without a binding: nothing happens
};

// The engine's key codes the desktop keys send.
enum : int32_t {
    DesktopKey_up = 0x10003,
    DesktopKey_down = 0x10004,
    // The engine's 0x10006 moves the view to the left (the content to the
    // right) and 0x10005 to the right, as Up and Down move the view up and
    // down: the phone's own table has them the other way round.
    DesktopKey_left = 0x10006,
    DesktopKey_right = 0x10005,
    DesktopKey_zoomIn = 0x10007,
    DesktopKey_zoomOut = 0x10009,
    DesktopKey_firstPage = 0x1000D,
    DesktopKey_lastPage = 0x1000E,
    // A screen up or down, turning to the adjacent page at the page's edge.
    DesktopKey_screenUp = 0x10014,
    DesktopKey_screenDown = 0x10015,
};

struct DesktopBinding {
    int command = Desktop_none;
    int32_t engineKey = 0;
};

// The binding of a Qt key with its modifiers (the keypad flag ignored).
DesktopBinding DesktopKeys_binding(int qtKey, Qt::KeyboardModifiers modifiers);

// True for the engine keys that turn a screen or a page: the desktop's own
// key repeat repeats them (each repeat a tap of its own), while the keys
// that pan and zoom are repeated by the engine as long as they are held.
bool DesktopKeys_repeatsAsTaps(int32_t engineKey);
