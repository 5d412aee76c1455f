// The pointer gesture machine: presses, moves and releases of the touch
// screen become taps, pans, zooms, page swipes, holds and text selection.
//
// The values that the platform layer keeps for the host (the flag mask,
// the current zoom, the usable height, the active rectangle, the click
// timer and the state callback) are read from the host platform record;
// the machine's own state is kept here. Times come from a clock that
// tests can replace, in milliseconds. Engine calls go through the host's
// engine-call table.
#pragma once

#include <cstdint>
#include <functional>

struct EngineInstance;
struct HostPlatform;

// The pointer states, as reported through the state callback.
enum : int32_t {
    Pointer_idle = 0,
    Pointer_panning = 1,
    Pointer_zooming = 2,
    Pointer_swiping = 3,
    Pointer_selecting = 4,
    Pointer_pressed = 5,
};

// Flag mask bits.
enum : uint32_t {
    Pointer_dragZooms = 1,       // a drag after a double press zooms
    Pointer_dragPans = 2,        // a drag pans
    Pointer_bandSwipes = 4,      // horizontal drags below the usable height swipe pages
    Pointer_holdSelects = 8,     // a hold of 300 ms selects at the press point
    Pointer_lateDragSelects = 16 // a drag 300 to 900 ms after the press selects text
};

// The engine's zoom range (16.16): 1/16 to 256.
enum : uint32_t {
    Pointer_minZoom = 4096,
    Pointer_maxZoom = 0x1000000,
};

// The zoom of a drag: the step d²/12 for a drag of d pixels up, d itself
// down, at least -256; the new zoom is start × (step + 256) / 256, in 64
// bits and clamped to the engine's zoom range.
uint32_t Pointer_dragZoom(uint32_t startZoom, int32_t d);

class PointerMachine {
  public:
    // Milliseconds of the time of day.
    using Clock = std::function<int64_t()>;

    PointerMachine();

    void setEngine(EngineInstance *engine)
    {
        m_engine = engine;
    }
    void setPlatform(HostPlatform *platform)
    {
        m_platform = platform;
    }
    void setClock(Clock clock);
    // The desktop's mouse: a drag from a single press selects text in a
    // document whose text can be selected (the selection stays after the
    // release, for copying), and a click with a selection clears it.
    void setDragSelects(bool on)
    {
        m_dragSelects = on;
    }
    bool dragSelects() const
    {
        return m_dragSelects;
    }

    // Pointer kinds: 0 press, 1 release, 2 move, 3 double press.
    void event(int x, int y, int kind);
    void press(int x, int y);
    void release();
    void move(int x, int y);
    void doublePress();
    // The click timer ran out.
    void tick();

    int32_t state() const
    {
        return m_state;
    }
    int32_t tickCounter() const
    {
        return m_ticks;
    }
    bool autoScrolling() const
    {
        return m_autoScroll;
    }

  private:
    int64_t now() const;
    uint32_t mask() const;
    void armTimer(int32_t ms);
    void report(int32_t state);

    EngineInstance *m_engine = nullptr;
    HostPlatform *m_platform = nullptr;
    Clock m_clock;
    int32_t m_ticks = 0;
    int32_t m_state = Pointer_idle;
    uint32_t m_startZoom = 0x10000;
    int32_t m_pressX = 0, m_pressY = 0;
    int64_t m_lastPress = 0;
    int64_t m_doublePress = 0;
    int32_t m_lastX = 0, m_lastY = 0;
    bool m_autoScroll = false;
    bool m_dragSelects = false;
    bool m_mouseSelecting = false; // the selection in progress is the desktop's drag
    int32_t m_scrollX = 0, m_scrollY = 0;
};
