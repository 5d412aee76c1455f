// The screen blitter: copies the engine's rendered pixels into the frame
// buffer beneath the main window.
//
// The engine renders into 16-bit RGB 5-6-5 images whose rows take
// (2 x width + 3) & ~3 bytes; the host services keep the row bytes of each
// update, and the main window hands them over with the pixels. The
// blitter writes only the visible parts of the window's content, one
// region rectangle at a time, straight into the frame buffer, and keeps no
// engine memory: redrawing shows the frame buffer again.
#pragma once

#include <QRect>

class QWidget;

class ScreenBlitter {
  public:
    ScreenBlitter(QWidget *owner, int width, int height)
        : m_owner(owner), m_width(width), m_height(height)
    {
    }
    virtual ~ScreenBlitter() = default;
    // True when the blitter can serve this screen.
    virtual bool probe() = 0;
    virtual void setGeometry() = 0;
    // Copies the rectangle (in window coordinates: the content starts 16
    // pixels below the window's top) of the pixels to the screen.
    virtual void blit(const short *pixels, QRect *rect) = 0;
    // Shows what was blitted again.
    virtual void redraw() = 0;

    int width() const
    {
        return m_width;
    }
    int height() const
    {
        return m_height;
    }

  protected:
    QWidget *m_owner;
    int m_width;
    int m_height;
};

class DirectPainterBlitter : public ScreenBlitter {
  public:
    // The rows of the content below the title strip.
    static constexpr int titleHeight = 16;

    DirectPainterBlitter(QWidget *owner, int width, int height);

    // Fills the frame buffer's values; true when its pixels take 3 bytes.
    bool probe() override;
    void setGeometry() override {}
    void setClipRect(const QRect &rect)
    {
        m_clip = rect;
    }
    QRect clipRect() const
    {
        return m_clip;
    }
    // The row bytes of the pixels the next blits read (the engine's row
    // bytes for the content width until told otherwise).
    void setSourceRowBytes(int rowBytes);
    int sourceRowBytes() const
    {
        return m_rowBytes;
    }
    void blit(const short *pixels, QRect *rect) override;
    void redraw() override;

    int depthCode() const
    {
        return m_depthCode;
    }
    int lineStep() const
    {
        return m_lineStep;
    }

  private:
    int m_orientation = 0;
    QRect m_clip;
    int m_depthCode = 0;
    int m_lineStep = 0;
    int m_rowBytes;
    bool m_blitted = false;
};
