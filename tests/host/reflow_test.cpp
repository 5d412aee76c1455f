// Flow view from the GUI with the real engine: the engine says whether the
// shown document can flow, and the reflow toggle lays a text document out
// again to the screen's width (the screen changes) while a PDF document
// refuses it.
#include <gtest/gtest.h>

#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "tests/host/gui_fixture.h"

namespace {

constexpr int reflowHeapBytes = 16 << 20;
constexpr int reflowScreenWidth = 480, reflowScreenHeight = 592;

// A paragraph much wider than the screen, so that lines break at other
// words when the text flows to the screen's width.
QByteArray reflowParagraph()
{
    QByteArray words;
    for (int i = 0; i < 60; i++)
        words += "flowing words " + QByteArray::number(i) + " ";
    return words;
}

// The first and the last column holding a dark (text) pixel; {width, -1}
// when there is none.
std::pair<int, int> reflowTextColumns(const std::vector<uint16_t> &pixels)
{
    int first = reflowScreenWidth, last = -1;
    for (int row = 0; row < reflowScreenHeight; row++)
        for (int col = 0; col < reflowScreenWidth; col++) {
            uint16_t p = pixels[size_t(row) * reflowScreenWidth + col];
            // Each of red, green and blue below a quarter of its range.
            if ((p >> 11) < 8 && ((p >> 5) & 63) < 16 && (p & 31) < 8) {
                first = std::min(first, col);
                last = std::max(last, col);
            }
        }
    return {first, last};
}

// The screen as the bridge shows it: each update's rectangle copied in.
struct ReflowFrame {
    std::vector<uint16_t> pixels =
        std::vector<uint16_t>(size_t(reflowScreenWidth) * reflowScreenHeight, 0);
    int updates = 0;
    void take(const QAlien *bridge, const short *source, int x, int y, int w, int h)
    {
        updates++;
        int stride = bridge->updateRowBytes() / 2;
        for (int row = y; row < std::min(y + h, reflowScreenHeight); row++)
            for (int col = x; col < std::min(x + w, reflowScreenWidth); col++)
                pixels[size_t(row) * reflowScreenWidth + col] =
                    uint16_t(source[size_t(row) * stride + col]);
    }
};

class Reflow : public ::testing::Test {
  protected:
    // Starts the bridge on the document and runs it until the document is
    // shown, the engine has said whether it can flow and the screen has
    // stopped changing.
    std::unique_ptr<QAlien> open(const QString &path)
    {
        auto bridge =
            std::make_unique<QAlien>(reflowHeapBytes, reflowScreenWidth, reflowScreenHeight, 624);
        bridge->installEventFilter(&log);
        QObject::connect(bridge.get(), &QAlien::docLoaded, [this](bool) { loaded = true; });
        QAlien *raw = bridge.get();
        QObject::connect(raw, &QAlien::screenUpdateAvailable,
                         [this, raw](const short *p, int x, int y, int w, int h) {
                             frame.take(raw, p, x, y, w, h);
                         });
        if (!bridge->init(path) || !runUntil([&] { return loaded && log.count(1021) >= 1; }, 20000))
            return nullptr;
        settle();
        return bridge;
    }
    // Runs the engine until no screen update has come for a while.
    void settle()
    {
        int seen = -1;
        for (int i = 0; i < 40 && seen != frame.updates; i++) {
            seen = frame.updates;
            runUntil([] { return false; }, 300);
        }
    }
    // Presses and releases R; true when the engine answered.
    bool toggle(QAlien *bridge)
    {
        int before = log.count(1021);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_R, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_R, Qt::NoModifier);
        bridge->processKeyEvent(&down, true);
        bridge->processKeyEvent(&up, false);
        bool answered = runUntil([&] { return log.count(1021) > before; }, 20000);
        settle();
        return answered;
    }
    QString write(const char *name, const QByteArray &contents)
    {
        QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            return QString();
        return path;
    }

    QTemporaryDir dir;
    EventLog log;
    ReflowFrame frame;
    bool loaded = false;
};

TEST_F(Reflow, TextAndHtmlFlowToTheScreenAndBack)
{
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char *name;
        QByteArray contents; // a fixture's path when empty
    };
    const Case cases[] = {
        {"long.txt", reflowParagraph() + "\n\nA second paragraph.\n"},
        {"long.html",
         "<html><body><p>" + reflowParagraph() + "</p><p>A second paragraph.</p></body></html>"},
        // A Word page's text flows too, not only its zoom changes: its
        // lines then fill the screen's width, which the page's margins
        // kept them from.
        {VEXLAN_FIXTURES "/word/sections.doc", QByteArray()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        loaded = false;
        frame = ReflowFrame();
        QString path = c.contents.isEmpty() ? QString::fromUtf8(c.name) : write(c.name, c.contents);
        ASSERT_FALSE(path.isEmpty());
        auto bridge = open(path);
        ASSERT_TRUE(bridge);
        // Shown in page view, with reflow offered.
        EXPECT_TRUE(bridge->reflowAvailable());
        EXPECT_EQ(bridge->hostContext()->toggleValue, 0x10000);
        std::vector<uint16_t> paged = frame.pixels;
        int updates = frame.updates;

        // Flow view: confirmed, still offered, and the screen shows the
        // text laid out again.
        ASSERT_TRUE(toggle(bridge.get()));
        EXPECT_TRUE(bridge->reflowAvailable());
        EXPECT_EQ(bridge->hostContext()->toggleValue, 0x10001);
        EXPECT_EQ(bridge->hostContext()->togglePending, 0);
        EXPECT_GT(frame.updates, updates);
        EXPECT_NE(frame.pixels, paged) << "the flowed text looks as the page did";
        // The flowed lines lie within the screen and fill most of it: no
        // line runs off its left or right edge.
        auto [first, last] = reflowTextColumns(frame.pixels);
        EXPECT_GT(first, 0);
        EXPECT_LT(last, reflowScreenWidth - 1);
        EXPECT_GE((last - first + 1) * 100 / reflowScreenWidth, 60);
        std::vector<uint16_t> flowed = frame.pixels;

        // Back to page view.
        updates = frame.updates;
        ASSERT_TRUE(toggle(bridge.get()));
        EXPECT_TRUE(bridge->reflowAvailable());
        EXPECT_EQ(bridge->hostContext()->toggleValue, 0x10000);
        EXPECT_GT(frame.updates, updates);
        EXPECT_NE(frame.pixels, flowed);
        EXPECT_TRUE(bridge->stop());
    }
}

TEST_F(Reflow, PdfIsNotOfferedAndRefusesTheToggle)
{
    auto bridge = open(QStringLiteral(VEXLAN_FIXTURES "/pdf/gs.pdf"));
    ASSERT_TRUE(bridge);
    EXPECT_FALSE(bridge->reflowAvailable());
    std::vector<uint16_t> paged = frame.pixels;
    ASSERT_TRUE(toggle(bridge.get()));
    // The engine keeps page view and says so.
    EXPECT_FALSE(bridge->reflowAvailable());
    EXPECT_EQ(bridge->hostContext()->toggleValue, 0x10000);
    EXPECT_EQ(bridge->hostContext()->togglePending, 0);
    EXPECT_EQ(frame.pixels, paged);
    EXPECT_TRUE(bridge->stop());
}

} // namespace
