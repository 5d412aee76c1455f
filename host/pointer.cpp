// The pointer gesture machine.
#include "host/pointer.h"

#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host/guihost.h"
#include "platform/host/hostplatform.h"

namespace {

// A press closer than this to the previous one is a bounce.
constexpr int64_t bounceMs = 20;
// Two presses closer than this make a double press.
constexpr int64_t doublePressMs = 300;
// A move within this many pixels (squared distance up to 255) is no drag.
constexpr int32_t dragDistanceSquared = 255;
// A single swipe steps a page once it passes this many pixels.
constexpr int32_t swipeDistance = 63;
constexpr int32_t holdTicks = 10;
constexpr int32_t tickMs = 100;
constexpr int32_t autoScrollMs = 200;

constexpr intptr_t actionMove = 0x10004;
// Edit-call codes: a caret at the character boundary nearest a point (a
// press in a character's trailing half puts it behind the character),
// extending the selection to a point.
constexpr intptr_t selectCaret = 0x10006;
constexpr intptr_t selectExtend = 0x10007;
constexpr intptr_t actionEnd = 0x10005;

int64_t timeOfDayMs()
{
    struct timeval tv;
    if (gettimeofday(&tv, nullptr) != 0) {
        perror("gettimeofday");
        abort();
    }
    return int64_t(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

HostEngineCalls &calls()
{
    return HostGui_engineCalls();
}

} // namespace

uint32_t Pointer_dragZoom(uint32_t startZoom, int32_t d)
{
    int64_t step = d > 0 ? int64_t(d) * d / 12 : d;
    step = std::max<int64_t>(step, -256);
    int64_t zoom = (int64_t(startZoom) * (step + 256)) >> 8;
    return uint32_t(std::clamp<int64_t>(zoom, Pointer_minZoom, Pointer_maxZoom));
}

PointerMachine::PointerMachine() : m_clock(timeOfDayMs) {}

void PointerMachine::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(timeOfDayMs);
}

int64_t PointerMachine::now() const
{
    return m_clock();
}

uint32_t PointerMachine::mask() const
{
    return m_platform ? m_platform->keyMode : 0;
}

void PointerMachine::armTimer(int32_t ms)
{
    if (m_platform && m_platform->timerCallback)
        m_platform->timerCallback(m_platform->callbackArgument, ms);
}

void PointerMachine::report(int32_t state)
{
    if (!m_platform || !m_platform->callbackWord)
        return;
    auto callback = reinterpret_cast<void (*)(void *, int32_t)>(m_platform->callbackWord);
    callback(m_platform->callbackArgument, state);
}

void PointerMachine::event(int x, int y, int kind)
{
    switch (kind) {
    case 0: press(x, y); break;
    case 1: release(); break;
    case 2: move(x, y); break;
    case 3: doublePress(); break;
    default: break;
    }
}

void PointerMachine::press(int x, int y)
{
    const int64_t t = now();
    if (m_platform && m_platform->timerCallback &&
        (mask() & (Pointer_holdSelects | Pointer_lateDragSelects))) {
        m_ticks = holdTicks;
        armTimer(tickMs);
    }
    const int64_t dt = t - m_lastPress;
    if (dt >= 0 && dt < bounceMs)
        return;
    m_doublePress = 0;
    m_pressX = x;
    m_pressY = y;
    if (dt >= 0 && dt < doublePressMs && m_state == Pointer_idle) {
        m_doublePress = m_lastPress;
        // A third quick press starts afresh.
        m_lastPress = 0;
    } else {
        m_lastPress = t;
    }
    m_state = Pointer_pressed;
    if (m_engine)
        calls().pointerDown(m_engine);
}

void PointerMachine::doublePress()
{
    if (m_platform && m_platform->timerCallback) {
        m_ticks = holdTicks;
        armTimer(tickMs);
    }
    if (m_doublePress == 0) {
        m_state = Pointer_pressed;
        m_doublePress = now();
    }
}

void PointerMachine::move(int x, int y)
{
    const uint32_t flags = mask();
    if (m_state == Pointer_idle)
        return;
    if (m_state == Pointer_pressed) {
        bool selection = false;
        if (!m_doublePress) {
            const int64_t dx = int64_t(x) - m_pressX, dy = int64_t(y) - m_pressY;
            if (dx * dx + dy * dy <= dragDistanceSquared)
                return;
            m_mouseSelecting = m_dragSelects && m_engine && calls().viewActionsEnabled(m_engine);
            if (m_mouseSelecting) {
                selection = true;
            } else if (m_ticks >= 1 && m_ticks <= 7) {
                if (flags & Pointer_lateDragSelects)
                    selection = true;
                else if (m_engine && !calls().viewEditActive(m_engine))
                    calls().primaryAction(m_engine);
            }
        } else if (flags & Pointer_dragZooms) {
            m_state = Pointer_zooming;
        }
        armTimer(0);
        const int32_t usable = m_platform ? m_platform->screenHeight : 0x40000000;
        if ((flags & Pointer_bandSwipes) && y > usable && m_pressY > usable &&
            std::abs(int64_t(x) - m_pressX) > std::abs(int64_t(y) - m_pressY))
            m_state = Pointer_swiping;
        if (m_state != Pointer_swiping && selection) {
            m_state = Pointer_selecting;
            // A drag starts with a caret at the boundary nearest the press,
            // so that it selects whole characters from there on.
            if (m_engine)
                calls().editCall(m_engine, m_pressX, m_pressY, selectCaret);
        } else {
            m_mouseSelecting = false;
        }
        if (m_state == Pointer_pressed)
            m_state = (flags & Pointer_dragPans) ? Pointer_panning : Pointer_idle;
        report(m_state);
        m_lastX = m_pressX;
        m_lastY = m_pressY;
        m_startZoom = m_platform ? uint32_t(m_platform->scale) : 0x10000;
        if (m_state == Pointer_idle)
            return;
    }
    m_lastPress = 0;
    switch (m_state) {
    case Pointer_panning:
        if (m_engine)
            calls().pointerPan(m_engine, intptr_t(x) - m_lastX, intptr_t(y) - m_lastY, actionMove);
        m_lastX = x;
        m_lastY = y;
        break;
    case Pointer_zooming:
        if (m_engine)
            calls().pointerZoom(m_engine, m_pressX, m_pressY, actionMove,
                                Pointer_dragZoom(m_startZoom, m_pressY - y));
        break;
    case Pointer_swiping: {
        const int32_t dx = m_lastX - x;
        const bool single = m_doublePress == 0;
        if (single && std::abs(dx) <= swipeDistance)
            break;
        if (m_engine)
            calls().postPageStep(m_engine, dx < 0 ? 0x10003 : 0x10002);
        m_lastX = x;
        if (single) {
            m_state = Pointer_idle;
            report(m_state);
        }
        break;
    }
    case Pointer_selecting: {
        if (m_engine)
            calls().editCall(m_engine, x, y, selectExtend);
        const int32_t x0 = m_platform ? m_platform->areaX0 : -0x40000000;
        const int32_t y0 = m_platform ? m_platform->areaY0 : -0x40000000;
        const int32_t x1 = m_platform ? m_platform->areaX1 : 0x40000000;
        const int32_t y1 = m_platform ? m_platform->areaY1 : 0x40000000;
        const int32_t ox = x < x0 ? x - x0 : x > x1 ? x - x1 : 0;
        const int32_t oy = y < y0 ? y - y0 : y > y1 ? y - y1 : 0;
        if (!ox && !oy) {
            if (m_autoScroll) {
                m_autoScroll = false;
                armTimer(0);
            }
            break;
        }
        if (m_engine) {
            calls().pointerPan(m_engine, -2 * intptr_t(ox), -2 * intptr_t(oy), actionMove);
            calls().pointerPan(m_engine, 0, 0, actionEnd);
        }
        m_scrollX = x;
        m_scrollY = y;
        m_autoScroll = true;
        armTimer(autoScrollMs);
        break;
    }
    default: break;
    }
}

void PointerMachine::release()
{
    armTimer(0);
    switch (m_state) {
    case Pointer_panning:
        if (m_engine)
            calls().pointerPan(m_engine, 0, 0, actionEnd);
        break;
    case Pointer_zooming:
        if (m_engine)
            calls().pointerZoom(m_engine, 0, 0, actionEnd, 0);
        break;
    case Pointer_selecting:
        // The phone's selection goes on to the contents editor; the
        // desktop's stays, to be copied.
        if (!m_mouseSelecting && (mask() & Pointer_lateDragSelects) && m_engine &&
            calls().viewActionsEnabled(m_engine))
            calls().secondaryAction(m_engine);
        break;
    case Pointer_pressed:
        // A click on the desktop also clears a selection (the primary
        // action while an edit is active).
        if (m_engine && (m_dragSelects || !calls().viewEditActive(m_engine)))
            calls().primaryAction(m_engine);
        break;
    default: break;
    }
    m_state = Pointer_idle;
    m_mouseSelecting = false;
    report(m_state);
}

void PointerMachine::tick()
{
    if (m_state == Pointer_selecting) {
        if (m_autoScroll) {
            m_autoScroll = false;
            move(m_scrollX, m_scrollY);
        }
        return;
    }
    m_ticks--;
    if (m_ticks <= 0) {
        m_state = Pointer_idle;
        report(m_state);
        if (m_engine && calls().viewActionsEnabled(m_engine))
            calls().secondaryAction(m_engine);
        return;
    }
    if (m_ticks <= 7)
        report(Pointer_pressed);
    if (m_ticks == 7 && (mask() & Pointer_holdSelects) && m_engine)
        calls().editCall(m_engine, m_pressX, m_pressY, 0x10005);
    armTimer(tickMs);
}
