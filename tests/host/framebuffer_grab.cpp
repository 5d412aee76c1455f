// Shows a pattern written into the frame buffer on an X server and checks
// it pixel by pixel in a screenshot taken with ImageMagick's import.
//
// Run under xvfb-run with a 480x640 screen of depth 24. The main window
// covers the screen from its top-left corner; the pattern goes through a
// direct painter into the frame buffer, every 6-bit value of each channel,
// and must show as exactly those values widened to 8 bits. Screenshots are
// taken until two in a row agree (the window may still be drawing), within
// a time bound. Exit status 0 when every pixel matches.
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <cstdio>

#include "host/toolkit/toolkit.h"

namespace {

constexpr int patternTop = 40;
constexpr int patternRows = 64;
constexpr int patternWidth = 256;

uint32_t widen(uint32_t c)
{
    return (c << 2) | (c >> 4);
}

// The pattern's 6-bit channels at (x, y) of the pattern area.
void channels(int x, int y, uint32_t *r, uint32_t *g, uint32_t *b)
{
    *r = uint32_t(x) & 63;
    *g = uint32_t(y) & 63;
    *b = uint32_t(x / 64 * 16 + y / 4) & 63;
}

QByteArray grabScreen(int width, int height)
{
    QProcess import;
    import.start(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-depth"),
                  QStringLiteral("8"), QStringLiteral("-crop"),
                  QStringLiteral("%1x%2+0+0").arg(width).arg(height), QStringLiteral("rgb:-")});
    if (!import.waitForFinished(20000) || import.exitStatus() != QProcess::NormalExit ||
        import.exitCode() != 0) {
        fprintf(stderr, "framebuffer_grab: import failed: %s\n",
                import.readAllStandardError().constData());
        return QByteArray();
    }
    return import.readAllStandardOutput();
}

} // namespace

int main(int argc, char **argv)
{
    ZApplication app(argc, argv);
    const int width = ZFrameBuffer::width(), height = ZFrameBuffer::height();
    ZMainWidget window;
    window.move(0, 0);
    window.show();
    QElapsedTimer clock;
    clock.start();
    while (!window.isVisible() || clock.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    {
        QDirectPainter painter(&window);
        uint8_t *bits = painter.frameBuffer();
        for (int y = 0; y < patternRows; y++)
            for (int x = 0; x < patternWidth; x++) {
                uint32_t r, g, b;
                channels(x, y, &r, &g, &b);
                uint32_t v = b | g << 6 | r << 12;
                uint8_t *p = bits + (patternTop + y) * painter.lineStep() + x * 3;
                p[0] = uint8_t(v);
                p[1] = uint8_t(v >> 8);
                p[2] = uint8_t(0xFC | v >> 16);
            }
    }

    QByteArray previous, shot;
    clock.restart();
    while (clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        shot = grabScreen(width, height);
        if (!shot.isEmpty() && shot == previous)
            break;
        previous = shot;
        QThread::msleep(100);
    }
    if (shot.size() != width * height * 3 || shot != previous) {
        fprintf(stderr, "framebuffer_grab: no steady screenshot (%lld bytes)\n",
                (long long)shot.size());
        return 1;
    }
    int wrong = 0;
    for (int y = 0; y < patternRows; y++)
        for (int x = 0; x < patternWidth; x++) {
            uint32_t r, g, b;
            channels(x, y, &r, &g, &b);
            const uint8_t *p = reinterpret_cast<const uint8_t *>(shot.constData()) +
                               (size_t(patternTop + y) * size_t(width) + size_t(x)) * 3;
            if (p[0] != widen(r) || p[1] != widen(g) || p[2] != widen(b)) {
                if (wrong++ < 5)
                    fprintf(stderr,
                            "framebuffer_grab: (%d,%d) shows %02x%02x%02x, expected %02x%02x%02x\n",
                            x, patternTop + y, p[0], p[1], p[2], widen(r), widen(g), widen(b));
            }
        }
    if (wrong) {
        fprintf(stderr, "framebuffer_grab: %d pixels differ\n", wrong);
        return 1;
    }
    printf("framebuffer_grab: %d pixels shown exactly\n", patternRows * patternWidth);
    return 0;
}
