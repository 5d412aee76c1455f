// Key and pointer input of the bridge: Qt keys become engine key codes,
// pointer events go through the gesture machine (host/pointer.h).
#include "host/qalien.h"

#include <QKeyEvent>
#include <QTimer>

#include "host/desktopkeys.h"
#include "host/guihost.h"
#include "core/host/hostservices.h"
#include "platform/host/hostplatform.h"

namespace {

// The phone's key table: Qt key, engine key code. The phone's Prior and
// Next are Qt's PageUp and PageDown; the desktop's bindings come first
// (host/desktopkeys.h), so those two and the arrows are the desktop's.
const struct {
    int qtKey;
    int32_t code;
} keyTable[] = {
    {Qt::Key_Up, 0x10003},
    {Qt::Key_Down, 0x10004},
    {Qt::Key_Left, 0x10005},
    {Qt::Key_Right, 0x10006},
    {Qt::Key_A, 0x10007},
    {Qt::Key_3, 0x10007},
    {Qt::Key_2, 0x10008},
    {Qt::Key_1, 0x10009},
    {Qt::Key_Z, 0x10009},
    {Qt::Key_PageUp, 0x1000A},
    {Qt::Key_PageDown, 0x1000B},
    {Qt::Key_8, 0x10010},
    {Qt::Key_I, 0x10012},
    {Qt::Key_O, 0x10013},
    {Qt::Key_9, QAlien::reflowToggleKey},
    {Qt::Key_R, QAlien::reflowToggleKey},
};

} // namespace

int32_t QAlien::engineKeyCode(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const DesktopBinding binding = DesktopKeys_binding(qtKey, modifiers);
    if (binding.command == Desktop_engineKey)
        return binding.engineKey;
    if (binding.command != Desktop_none)
        return 0;
    for (const auto &entry : keyTable) {
        if (entry.qtKey == qtKey)
            return entry.code;
    }
    return 0;
}

void QAlien::sendEngineKey(int32_t code, bool pressed)
{
    if (code == reflowToggleKey) {
        // The toggle acts on release, once until the engine confirms it.
        if (pressed || m_host->togglePending)
            return;
        m_host->toggleValue = m_host->toggleValue == 0x10001 ? 0x10000 : 0x10001;
        m_host->togglePending = 1;
        HostGui_engineCalls().sendKey(m_engine, m_host->toggleValue);
    } else if (code == screenModeKey) {
        // The screen mode is the window's full screen: the engine's own
        // switch would take the whole display, larger than the window.
        if (pressed)
            toggleFullScreen();
    } else if (pressed) {
        HostGui_engineCalls().keyPress(m_engine, code, 0);
    } else {
        HostGui_engineCalls().keyRelease(m_engine, code);
    }
}

namespace {

// The key a press or release is of: its scan code where the platform gives
// one, since the Qt key of a release may differ from its press's (Ctrl+"+"
// pressed with Shift comes as Plus and, once Shift is let go first, goes as
// Equal); else the Qt key.
int heldKeyOf(const QKeyEvent *event)
{
    const quint32 scan = event->nativeScanCode();
    return scan ? int(0x40000000u | (scan & 0x3FFFFFFFu)) : event->key();
}

} // namespace

void QAlien::processKeyEvent(QKeyEvent *event, bool pressed)
{
    if (!m_keysEnabled || !m_engine || !event)
        return;
    const int qtKey = event->key();
    const int heldKey = heldKeyOf(event);
    if (!pressed) {
        // The release goes with the code its press sent, whatever the
        // modifiers are now; the desktop's repeats release nothing.
        if (event->isAutoRepeat())
            return;
        auto held = m_heldKeys.find(heldKey);
        if (held == m_heldKeys.end())
            return;
        const int32_t code = held.value();
        m_heldKeys.erase(held);
        sendEngineKey(code, false);
        flushScreenUpdate();
        return;
    }
    const int32_t code = engineKeyCode(qtKey, event->modifiers());
    if (!code)
        return;
    if (event->isAutoRepeat()) {
        // The engine repeats a held pan or zoom key itself from its one
        // press; a page key repeats at the desktop's rate, each repeat a
        // tap of its own.
        if (!DesktopKeys_repeatsAsTaps(code))
            return;
        sendEngineKey(code, true);
        sendEngineKey(code, false);
        flushScreenUpdate();
        return;
    }
    m_heldKeys.insert(heldKey, code);
    sendEngineKey(code, true);
    flushScreenUpdate();
}

void QAlien::mouseEvent(int x, int y, int kind)
{
    if (!m_engine)
        return;
    m_pointer.event(x, y, kind);
    flushScreenUpdate();
}

void QAlien::clickExpired()
{
    if (m_clickTimer)
        m_clickTimer->stop();
    if (!m_engine)
        return;
    m_pointer.tick();
    flushScreenUpdate();
}
