// The screen blitter over the toolkit's direct painter.
#include "host/blitter.h"

#include <QWidget>

#include "host/blitrows.h"
#include "host/toolkit/toolkit.h"

DirectPainterBlitter::DirectPainterBlitter(QWidget *owner, int width, int height)
    : ScreenBlitter(owner, width, height), m_clip(QPoint(0, 0), QPoint(-1, -1)),
      m_rowBytes(Blit_engineRowBytes(width))
{
}

bool DirectPainterBlitter::probe()
{
    QDirectPainter painter(m_owner);
    m_orientation = painter.transformOrientation();
    int depth = painter.depth();
    m_depthCode = depth == 16 ? 2 : depth == 18 || depth == 24 ? 3 : depth == 32 ? 4 : depth;
    m_lineStep = painter.lineStep();
    m_blitted = false;
    m_clip.setRect(0, 0, m_width, m_height);
    return m_depthCode == 3;
}

void DirectPainterBlitter::setSourceRowBytes(int rowBytes)
{
    // Rows shorter than the content would be read past their end.
    m_rowBytes = rowBytes >= 2 * m_width ? rowBytes : Blit_engineRowBytes(m_width);
}

void DirectPainterBlitter::blit(const short *pixels, QRect *rect)
{
    if (!pixels || !rect || !m_owner || m_depthCode != 3)
        return;
    QDirectPainter painter(m_owner);
    painter.setClipRect(m_clip);
    const QRect geometry = m_owner->geometry();
    const int ox = geometry.left() + m_clip.left(), oy = geometry.top() + m_clip.top();
    const QRect area = rect->translated(ox, oy);
    // Only what lies over the source image is ever read.
    const QRect source(ox, oy + titleHeight, m_width, m_height);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(pixels);
    uint8_t *frame = painter.frameBuffer();
    m_blitted = true;
    for (int i = painter.numRects() - 1; i >= 0; i--) {
        const QRect piece = painter.rect(i).intersected(area).intersected(source);
        if (piece.isEmpty())
            continue;
        const int column = piece.left() - ox, row = piece.top() - oy - titleHeight;
        Blit_rows565To18(bytes + intptr_t(row) * m_rowBytes + intptr_t(column) * 2, m_rowBytes,
                         frame + intptr_t(piece.top()) * m_lineStep + intptr_t(piece.left()) * 3,
                         m_lineStep, piece.width(), piece.height());
    }
}

void DirectPainterBlitter::redraw()
{
    if (!m_blitted || !m_owner)
        return;
    // The painter shows its region anew when it goes.
    QDirectPainter painter(m_owner);
    painter.setClipRect(m_clip);
}
