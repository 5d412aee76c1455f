#!/usr/bin/python3
"""Runs vexlanedit on an X server (Xvfb) and checks what a person sees.

    vexlanedit_screen.py CHECK --program P --docrender D --document F

CHECK is one of:
  window          the window shows its title strip, soft keys and the text
  first-page      the content equals docrender's drawing at the zoom the
                  viewer reports, after the same widening to the screen
  zoom-key        the zoom key (--key, 3 unless named) zooms in one step
                  for a tap: the content equals docrender at the new zoom
  pan-keys        after a zoom in, Down pans by a step of the configured
                  32 pixels and repeat steps of 16, and Up pans back
  menu-next-page  F1 opens the menu; View, Next page shows page 2 of N
  arrow-keys      zoomed in, the arrows move the view their own way
  page-down       PageDown, pressed until the page turns, shows page 2 of N
  continuous      a web page shows by screenfuls counted as pages, PageDown
                  shows "2/N", End "N/N", Home "1/N"; Go to page moves there
  load-error      the error for a document that cannot be opened names the
                  file and the reason (--expect)
  resize          the window resized to 900 x 800 shows the page fitted to
                  the new content (the backdrop to its right and bottom
                  edges, the page taller and wider than the old window
                  could show); full screen on and off brings the soft keys
                  back as they were
  copy-line       a drag along the first line of text selects it, and
                  Ctrl+C puts it on the clipboard (read with xclip): the
                  text is that line's (--expect, a regular expression);
                  --zoom-taps zooms in first

The script starts its own Xvfb (480 x 640, depth 24; 1024 x 900 for
resize) on a free display.
Screenshots are taken with ImageMagick's import until two in a row agree,
within a time bound. The program's reports (zoom, page, document loaded)
come from its log category "vexlan.host". A check whose engine side does
not answer (no zoom report, no loaded document) fails and says why.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import numpy
from PIL import Image, ImageChops

WIDTH, HEIGHT = 480, 640
STATUS, STRIP, SOFTKEYS = 20, 16, 36
TOP = STATUS + STRIP                        # the content's first screen row
CONTENT_H = HEIGHT - STATUS - STRIP - SOFTKEYS
STRIP_COLOUR = (40, 60, 110)
PAN_AMOUNT = 32
PAN_REPEAT = 16                             # each repeat step of a held key
ZOOM_STEP = 1.4                             # one zoom key step
SCREEN_PPI = 106                            # the engine's screens: pixels per inch at zoom 1


def fail(message):
    print("vexlanedit_screen: FAIL: " + message)
    sys.exit(1)


def skip(message):
    # A check whose engine side does not answer fails: none is skipped.
    fail(message)


def grab():
    out = subprocess.run(["import", "-window", "root", "-depth", "8", "-crop",
                          "%dx%d+0+0" % (WIDTH, HEIGHT), "rgb:-"],
                         capture_output=True, timeout=30)
    if out.returncode != 0 or len(out.stdout) != WIDTH * HEIGHT * 3:
        return None
    return Image.frombytes("RGB", (WIDTH, HEIGHT), out.stdout)


def same(a, b):
    return ImageChops.difference(a, b).getbbox() is None


def steady(bound=30.0):
    """The screen once two grabs in a row agree."""
    end = time.time() + bound
    previous = None
    while time.time() < end:
        shot = grab()
        if shot is not None and previous is not None and same(shot, previous):
            return shot
        previous = shot
        time.sleep(0.3)
    fail("no steady screenshot within %.0f s" % bound)


def settled(program, bound=30.0):
    """The screen once a key's effects are over: the program has logged
    nothing for a second and a steady grab a second later still agrees. A
    key tap works on timers (its release and repeats), which a busy machine
    stretches beyond one steady grab."""
    end = time.time() + bound
    while time.time() < end:
        count = len(program.lines())
        time.sleep(1.0)
        if len(program.lines()) != count:
            continue
        first = steady(max(1.0, end - time.time()))
        time.sleep(1.0)
        second = steady(max(1.0, end - time.time()))
        if same(first, second) and len(program.lines()) == count:
            return second
    fail("the screen did not settle within %.0f s" % bound)


def content(shot):
    return shot.crop((0, TOP, WIDTH, TOP + CONTENT_H))


def widened(picture):
    """docrender's 8-bit picture as the screen shows the same 5-6-5
    pixels: 5 bits widened to 6, then each 6 bits to 8."""
    def five(c):
        c >>= 3
        c = (c << 1) | (c >> 4)
        return (c << 2) | (c >> 4)

    def six(c):
        c >>= 2
        return (c << 2) | (c >> 4)
    r, g, b = picture.convert("RGB").split()
    return Image.merge("RGB", (r.point([five(c) for c in range(256)]),
                               g.point([six(c) for c in range(256)]),
                               b.point([five(c) for c in range(256)])))


class Program:
    def __init__(self, args):
        self.args = args
        self.data = tempfile.mkdtemp(prefix="vexlanedit-data-")
        self.log_path = os.path.join(self.data, "log")
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", MYSTUFF_DATA_PATH=self.data,
                   QT_LOGGING_RULES="vexlan.host.debug=true", LC_ALL="en_GB.UTF-8")
        self.log = open(self.log_path, "w")
        # A new server may refuse its first client for a moment: one retry.
        for attempt in range(2):
            self.process = subprocess.Popen([args.program, args.document], env=env,
                                            stdout=self.log, stderr=subprocess.STDOUT)
            try:
                self.process.wait(1.0)
            except subprocess.TimeoutExpired:
                break
            if "could not connect to display" not in "\n".join(self.lines()):
                break
            time.sleep(0.5)

    def lines(self):
        with open(self.log_path, errors="replace") as f:
            return f.read().splitlines()

    def wait_line(self, pattern, bound, after=0):
        """The first log line from index after that matches, within bound."""
        end = time.time() + bound
        while time.time() < end:
            for line in self.lines()[after:]:
                m = re.search(pattern, line)
                if m:
                    return m
            if self.process.poll() is not None:
                fail("vexlanedit ended with %s:\n%s" % (self.process.returncode, "\n".join(self.lines())))
            time.sleep(0.2)
        return None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.log.close()
        shutil.rmtree(self.data, ignore_errors=True)


def key(*names):
    for name in names:
        subprocess.run(["xdotool", "key", name], check=True, timeout=10)
        time.sleep(0.2)


def visible_windows():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "vexlanedit"],
                         capture_output=True, text=True, timeout=10)
    return out.stdout.split()


def start(program):
    """The first steady screen with the page, after the notice the load
    may show (a message box over the page) is closed."""
    steady()
    # The keys go to the window under the pointer.
    subprocess.run(["xdotool", "mousemove", str(WIDTH // 2), str(TOP + CONTENT_H // 2)], check=True)
    # The load's notice comes before the load's end is reported: once the
    # document is loaded without one, there is none to close.
    m = program.wait_line(r"\b(alert|error) |document loaded", 8)
    if m is not None and m.group(0) != "document loaded":
        end = time.time() + 10
        while len(visible_windows()) < 2 and time.time() < end:
            time.sleep(0.2)
        while len(visible_windows()) > 1 and time.time() < end:
            key("Escape")
            time.sleep(0.3)
    return steady()


def docrender_at(args, zoom):
    """docrender's page 1 at the zoom (16.16), large enough to hold the view,
    drawn as the screen draws it: the zoom is a factor of the screen's
    SCREEN_PPI pixels per inch, not of docrender's own 96. Returns the
    picture and the page's box in it (the rest is docrender's grey, where
    the screen shows its own backdrop)."""
    out = os.path.join(tempfile.mkdtemp(prefix="vexlanedit-ref-"), "page.png")
    scale = zoom / 65536.0
    size = "%dx%d" % (max(WIDTH, int(1300 * scale) + WIDTH), max(HEIGHT, int(1700 * scale) + HEIGHT))
    subprocess.run([args.docrender, args.document, "--page", "1", "--size", size,
                    "--scale", "%.12f" % scale, "--resolution", str(SCREEN_PPI), "--out", out],
                   check=True, timeout=120)
    raw = Image.open(out).convert("RGB")
    # The picture is larger than the page: its far corner is the grey.
    grey = Image.new("RGB", raw.size, raw.getpixel((raw.width - 1, raw.height - 1)))
    page = ImageChops.difference(raw, grey).getbbox()
    picture = widened(raw)
    shutil.rmtree(os.path.dirname(out), ignore_errors=True)
    return picture, page


def dark_mask(picture):
    return (numpy.asarray(picture.convert("L"), dtype=numpy.float64) < 100).astype(numpy.float64)


def matches_somewhere(view, rendered):
    """True when the view equals the reference at some offset (the
    viewer's pan position). The offset is where the dark pixels of the two
    agree best (a cross-correlation; the reference is padded by a view on
    every side, since the view may show the backdrop beside the page), and
    the pixels one step around it are tried too. Only the page is compared,
    exactly: around it the screen shows its backdrop and docrender its grey."""
    reference, page = rendered
    if page is None:
        return False
    v, r = dark_mask(view), dark_mask(reference)
    if not v.any() or not r.any():
        return False
    vh, vw = v.shape
    padded = numpy.zeros((r.shape[0] + 2 * vh, r.shape[1] + 2 * vw))
    padded[vh:vh + r.shape[0], vw:vw + r.shape[1]] = r
    kernel = numpy.zeros(padded.shape)
    kernel[:vh, :vw] = v
    score = numpy.fft.irfft2(numpy.fft.rfft2(padded) * numpy.conj(numpy.fft.rfft2(kernel)), padded.shape)
    py, px = numpy.unravel_index(numpy.argmax(score), score.shape)
    for dy in range(-1, 2):
        for dx in range(-1, 2):
            ox, oy = int(px) - vw + dx, int(py) - vh + dy
            x0, y0 = max(0, -ox, page[0] - ox), max(0, -oy, page[1] - oy)
            x1 = min(view.width, reference.width - ox, page[2] - ox)
            y1 = min(view.height, reference.height - oy, page[3] - oy)
            if x1 - x0 < view.width // 2 or y1 - y0 < view.height // 2:
                continue
            if same(view.crop((x0, y0, x1, y1)), reference.crop((x0 + ox, y0 + oy, x1 + ox, y1 + oy))):
                return True
    return False


def check_window(args, program):
    shot = start(program)
    strip = shot.crop((0, STATUS, WIDTH, STATUS + STRIP))
    background = sum(1 for p in strip.getdata() if p == STRIP_COLOUR)
    if background < WIDTH * STRIP // 2:
        fail("the title strip is not shown (%d strip pixels)" % background)
    dark = sum(1 for p in content(shot).convert("L").getdata() if p < 100)
    if dark < 500:
        fail("no text in the content area (%d dark pixels)" % dark)
    keys = shot.crop((0, HEIGHT - SOFTKEYS, WIDTH, HEIGHT))
    if same(keys, Image.new("RGB", keys.size, shot.getpixel((WIDTH // 2, TOP + 2)))):
        fail("no soft keys")


def last_zoom(program):
    zooms = [int(m.group(1), 16) for m in (re.search(r"zoom 0x([0-9a-f]+)", l) for l in program.lines()) if m]
    return zooms[-1] if zooms else None


def check_first_page(args, program):
    shot = start(program)
    zoom = last_zoom(program)
    if zoom is None:
        skip("the viewer reported no zoom for its first display")
    if not matches_somewhere(content(shot), docrender_at(args, zoom)):
        fail("the content differs from docrender's page 1 at zoom 0x%x" % zoom)


def check_zoom_key(args, program):
    start(program)
    before = len(program.lines())
    old = last_zoom(program)
    key(args.key)
    m = program.wait_line(r"zoom 0x([0-9a-f]+)", 10, before)
    if m is None:
        fail("the viewer reported no zoom after the zoom key")
    shot = settled(program)
    # The zoom the steady screen shows: the last one reported.
    zoom = last_zoom(program)
    if old is None or zoom <= old:
        fail("the zoom key did not zoom in: 0x%x after %s" % (zoom, old))
    # A tap is one step of the configured factor (1.4, snapped to 1/8192),
    # never the step and repeats of a held key.
    if abs(zoom / float(old) - ZOOM_STEP) > 0.01:
        fail("a tap zoomed 0x%x to 0x%x, not one step of %.1f" % (old, zoom, ZOOM_STEP))
    if not matches_somewhere(content(shot), docrender_at(args, zoom)):
        fail("the content differs from docrender's page 1 at zoom 0x%x" % zoom)


def check_pan_keys(args, program):
    start(program)
    # The first display fits the whole page, which leaves nothing to pan:
    # zoom in first.
    key("3")
    before = content(settled(program))
    key("Down")
    after = content(settled(program))
    if same(before, after):
        fail("the Down key did not pan the view")
    # A tap pans one step of the configured amount and, since the engine
    # hands a release to the view 300 ms after it came and repeats a held
    # key from 250 ms on, also repeat steps of their own amount; how many
    # depends on timing, and the view stops at the end of the page (how
    # far PageUp zoomed, and so how long the page is, depends on the same
    # timing).
    def shift(a, b, n):
        """b shows a moved up by n pixels."""
        return same(b.crop((0, 0, WIDTH, CONTENT_H - n)), a.crop((0, n, WIDTH, CONTENT_H)))

    def whole(n):
        return n >= PAN_AMOUNT and (n - PAN_AMOUNT) % PAN_REPEAT == 0
    moved = [n for n in range(1, CONTENT_H) if shift(before, after, n)]
    if not moved:
        fail("Down did not move the view")
    down = moved[0]
    if not whole(down):
        key("Down")
        if not same(content(settled(program)), after):
            fail("Down panned %d pixels, not a step of %d and repeats of %d, before the page's end"
                 % (down, PAN_AMOUNT, PAN_REPEAT))
    # Up pans back the same way: a step and repeat steps of its own, which
    # need not match the Down's count (the zoom left the view part-way
    # down the page, so it may also end above where Down started), or
    # less when the view stops at the page's top.
    pre = content(settled(program))
    key("Up")
    back = content(settled(program))
    moved = [n for n in range(1, CONTENT_H) if shift(back, pre, n)]
    if not moved:
        fail("Up did not move the view back up")
    up = moved[0]
    if not whole(up):
        key("Up")
        if not same(content(settled(program)), back):
            fail("Up panned %d pixels, not a step of %d and repeats of %d, before the page's top"
                 % (up, PAN_AMOUNT, PAN_REPEAT))


def turn_to_page_two(program, turn, what):
    """Waits for the loaded document with more than one page, turns with
    turn() and checks that page 2 shows: the report, the title strip and
    the content."""
    if program.wait_line(r"document loaded 1", 15) is None:
        fail("no document-loaded report")
    start(program)
    # The page count grows while the text is laid out: wait for the report
    # that shows more than one page.
    first = program.wait_line(r"page (\d+)/(\d+)", 10)
    if first is None:
        fail("the viewer reports no pages")
    more = program.wait_line(r"page \d+/([2-9]|\d\d+)\b", 30)
    if more is None:
        fail("the fixture has %s page(s)" % first.group(2))
    shot = steady()
    before = len(program.lines())
    turn()
    m = program.wait_line(r"page (\d+)/(\d+)", 10, before)
    if m is None or int(m.group(1)) != 2:
        fail("%s did not show page 2 (%s)" % (what, m.group(0) if m else "no page report"))
    after = settled(program)
    # Exactly one page on: the last report still names page 2.
    pages = [l for l in program.lines()[before:] if re.search(r"page \d+/\d+", l)]
    if not re.search(r"page 2/", pages[-1]):
        fail("%s went on past page 2: %s" % (what, pages[-1]))
    if same(after.crop((0, STATUS, WIDTH, STATUS + STRIP)), shot.crop((0, STATUS, WIDTH, STATUS + STRIP))):
        fail("the title strip still shows the first page")
    if same(content(after), content(shot)):
        fail("the content still shows the first page")


def moved_by(a, b):
    """(dx, dy) such that b shows a's content moved by them (a shift of up
    to a third of the view on one axis), or None."""
    w, h = a.size
    for n in range(1, h // 3):
        if same(b.crop((0, 0, w, h - n)), a.crop((0, n, w, h))):
            return (0, -n)
        if same(b.crop((0, n, w, h)), a.crop((0, 0, w, h - n))):
            return (0, n)
    for n in range(1, w // 3):
        if same(b.crop((0, 0, w - n, h)), a.crop((n, 0, w, h))):
            return (-n, 0)
        if same(b.crop((n, 0, w, h)), a.crop((0, 0, w - n, h))):
            return (n, 0)
    return None


def check_arrow_keys(args, program):
    """Zoomed in, each arrow moves the view its own way on both axes: Down
    and Right show what is below and to the right (the content moves up
    and left), Up and Left move it back."""
    start(program)
    key("3", "3")
    settled(program)
    # Into the page's middle, so that every direction has room to move.
    key("Down", "Down", "Right", "Right")
    shot = content(settled(program))
    expected = {"Down": (0, -1), "Up": (0, 1), "Right": (-1, 0), "Left": (1, 0)}
    for name in ("Down", "Up", "Right", "Left"):
        key(name)
        after = content(settled(program))
        move = moved_by(shot, after)
        if move is None:
            fail("%s did not move the view" % name)
        sign = (int(move[0] > 0) - int(move[0] < 0), int(move[1] > 0) - int(move[1] < 0))
        if sign != expected[name]:
            fail("%s moved the content by %s" % (name, move))
        shot = after


def check_menu_next_page(args, program):
    def turn():
        # The menu key; File, View; its first entry, Next page.
        key("F1")
        time.sleep(0.5)
        key("Down", "Down", "Right", "Return")
    turn_to_page_two(program, turn, "the View menu's next page")


def check_page_down(args, program):
    """PageDown scrolls a page taller than the window and then turns to
    the next: pressed until page 2 shows, at most a few screens."""
    def turn():
        for _ in range(8):
            before = len(program.lines())
            key("Next")
            if program.wait_line(r"page 2/", 3, before):
                return
    turn_to_page_two(program, turn, "PageDown")


def check_continuous(args, program):
    """A web page is one continuous page shown by screenfuls: fitted to
    the width, the title strip counts the screen heights it takes as pages
    ("1/N"), PageDown scrolls one and shows "2/N", End shows its end as
    "N/N", Home its top as "1/N", and Go to page moves to a screenful."""
    if program.wait_line(r"document loaded 1", 15) is None:
        fail("no document-loaded report")
    start(program)
    # Shown fitted to its width: a larger zoom than the first display's
    # whole page.
    zooms = [int(m.group(1), 16) for m in (re.search(r"zoom 0x([0-9a-f]+)", l) for l in program.lines()) if m]
    if len(zooms) < 2 or zooms[-1] <= zooms[0]:
        fail("the page was not fitted to the width: zooms %s" % [hex(z) for z in zooms])
    first = program.wait_line(r"page 1/([2-9]|\d\d+)\b", 15)
    if first is None:
        fail("the title strip does not count the page's screenfuls: %s" %
             [l for l in program.lines() if "page " in l])
    count = int(first.group(1))
    top = settled(program)

    def last_page():
        pages = [m for m in (re.search(r"page (\d+)/(\d+)", l) for l in program.lines()) if m]
        return (int(pages[-1].group(1)), int(pages[-1].group(2))) if pages else None

    def expect(page, what):
        end = time.time() + 10
        while time.time() < end and last_page() != (page, count):
            time.sleep(0.2)
        if last_page() != (page, count):
            fail("%s shows %s, not %d/%d" % (what, last_page(), page, count))

    strip = top.crop((0, STATUS, WIDTH, STATUS + STRIP))
    key("Next")
    down = settled(program)
    if same(content(down), content(top)):
        fail("PageDown did not scroll the page")
    expect(2, "PageDown")
    if same(down.crop((0, STATUS, WIDTH, STATUS + STRIP)), strip):
        fail("the title strip did not change on PageDown")
    key("End")
    end = settled(program)
    if same(content(end), content(down)) or same(content(end), content(top)):
        fail("End did not show the page's end")
    expect(count, "End")
    # At the end PageDown has nowhere to go.
    key("Next")
    if not same(content(settled(program)), content(end)):
        fail("PageDown moved on past the page's end")
    expect(count, "PageDown at the end")
    key("Home")
    if not same(content(settled(program)), content(top)):
        fail("Home did not show the page's top")
    expect(1, "Home")
    # Go to page (Ctrl+G): the second screenful, then the last, which
    # shows the end as End did.
    for page, shot in ((2, None), (count, content(end))):
        key("ctrl+g")
        time.sleep(1.0)
        key(*str(page))
        key("Return")
        now = content(settled(program))
        if shot is not None and not same(now, shot):
            fail("Go to page %d did not show the page's end" % page)
        if shot is None and (same(now, content(top)) or same(now, content(end))):
            fail("Go to page %d did not scroll" % page)
        expect(page, "Go to page %d" % page)


def check_load_error(args, program):
    """The document cannot be opened: the error names the file and the
    reason the engine gave (--expect, a part of the reason's text), and a
    message box shows it."""
    m = program.wait_line(r"\berror (.*)", 20)
    if m is None:
        fail("no error reported for %s" % args.document)
    # The message box's lines follow the log line.
    time.sleep(0.5)
    lines = program.lines()
    at = next(i for i, l in enumerate(lines) if "error " in l)
    text = "\n".join(lines[at:at + 2])
    name = os.path.basename(args.document)
    if name not in text or args.expect not in text:
        fail("the error does not name %s and \"%s\": %s" % (name, args.expect, text))
    end = time.time() + 10
    while len(visible_windows()) < 2 and time.time() < end:
        time.sleep(0.2)
    if len(visible_windows()) < 2:
        fail("no message box shows the error")




def clipboard():
    out = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return out.stdout.decode("utf-8", "replace") if out.returncode == 0 else ""


def text_lines(shot):
    """The content's rows of text: (top, bottom) screen rows of each band
    of rows holding dark pixels."""
    dark = dark_mask(content(shot)).sum(axis=1)
    bands, top = [], None
    for y, count in enumerate(dark):
        if count and top is None:
            top = y
        elif not count and top is not None:
            bands.append((TOP + top, TOP + y - 1))
            top = None
    return bands


def check_copy_line(args, program):
    shot = start(program)
    if program.wait_line(r"document loaded", 30) is None:
        skip("the document was not reported loaded")
    # Small text is zoomed in first, so that the press lands on the line's
    # first letter and not beside it.
    for _ in range(args.zoom_taps):
        key("3")
        shot = settled(program)
    # Whole lines only: not one the content's top or bottom edge cuts.
    lines = [b for b in text_lines(shot) if b[1] - b[0] >= 5 and
             b[0] > TOP and b[1] < TOP + CONTENT_H - 1]
    if not lines:
        fail("no line of text to select")
    top, bottom = lines[0]
    row = (top + bottom) // 2
    dark = dark_mask(shot.crop((0, top, WIDTH, bottom + 1))).sum(axis=0)
    columns = [x for x, n in enumerate(dark) if n]
    # From the line's first letter to past its end, in small steps.
    first, last = columns[0], min(WIDTH - 2, columns[-1] + 8)
    subprocess.run(["xdotool", "mousemove", str(first), str(row), "mousedown", "1"], check=True, timeout=10)
    for x in range(first + 1, last, 6):
        subprocess.run(["xdotool", "mousemove", str(x), str(row)], check=True, timeout=10)
        time.sleep(0.03)
    subprocess.run(["xdotool", "mousemove", str(last), str(row), "mouseup", "1"], check=True, timeout=10)
    time.sleep(1.0)
    key("ctrl+c")
    if program.wait_line(r"copied \d+ characters", 15) is None:
        fail("Ctrl+C copied nothing:\n" + "\n".join(program.lines()[-20:]))
    end = time.time() + 10
    text = ""
    while time.time() < end:
        text = clipboard()
        if text:
            break
        time.sleep(0.3)
    if not re.fullmatch(args.expect, text.strip()):
        fail("the clipboard holds %r, not %r" % (text, args.expect))


RESIZED_W, RESIZED_H = 900, 800
LARGE_SCREEN = (1024, 900)


def grab_large():
    global WIDTH, HEIGHT
    saved = WIDTH, HEIGHT
    WIDTH, HEIGHT = LARGE_SCREEN
    try:
        return steady()
    finally:
        WIDTH, HEIGHT = saved


def check_resize(args, program):
    start(program)
    if program.wait_line(r"document loaded", 30) is None:
        skip("the document was not reported loaded")
    windows = visible_windows()
    if not windows:
        fail("no window")
    count = len(program.lines())
    subprocess.run(["xdotool", "windowsize", windows[0], str(RESIZED_W), str(RESIZED_H)], check=True, timeout=10)
    if program.wait_line(r"screen %dx" % RESIZED_W, 15, count) is None:
        fail("the engine's screen did not follow the window:\n" + "\n".join(program.lines()[-10:]))
    time.sleep(2.0)
    shot = grab_large()
    top = STATUS + STRIP
    bottom = STATUS + RESIZED_H - SOFTKEYS          # the soft keys' first row
    middle = (top + bottom) // 2
    backdrop = shot.getpixel((3, middle))
    # The engine draws the whole new content: its backdrop reaches the
    # right edge and the bottom-right corner.
    for x, y in ((RESIZED_W - 4, middle), (RESIZED_W - 4, bottom - 3), (3, bottom - 3)):
        if shot.getpixel((x, y)) != backdrop:
            fail("the content at (%d, %d) is %s, not the backdrop %s" % (x, y, shot.getpixel((x, y)), backdrop))
    # The page is fitted anew: white over a span wider than the old
    # window and over nearly the whole new height.
    white_columns = sum(1 for x in range(RESIZED_W) if shot.getpixel((x, top + 10)) == (255, 255, 255))
    column = next((x for x in range(RESIZED_W) if shot.getpixel((x, top + 10)) == (255, 255, 255)), None)
    if white_columns <= WIDTH or column is None:
        fail("the page is %d pixels wide, no wider than the old window" % white_columns)
    white_rows = sum(1 for y in range(top, bottom) if shot.getpixel((column + 2, y)) == (255, 255, 255))
    if white_rows < 0.9 * (bottom - top):
        fail("the page covers %d of the content's %d rows" % (white_rows, bottom - top))
    keys = shot.crop((0, bottom, RESIZED_W, STATUS + RESIZED_H))
    # Full screen and back: the soft keys come back as they were.
    key("F11")
    time.sleep(2.0)
    full = grab_large()
    if same(full.crop((0, bottom, RESIZED_W, STATUS + RESIZED_H)), keys):
        fail("full screen left the soft keys shown")
    key("F11")
    time.sleep(2.0)
    back = grab_large()
    if not same(back.crop((0, bottom, RESIZED_W, STATUS + RESIZED_H)), keys):
        fail("the soft keys did not come back after full screen")


def start_xvfb(size=None):
    """An Xvfb on a display it picks itself; its process."""
    width, height = size or (WIDTH, HEIGHT)
    # The server's own key autorepeat is put off for a minute: the engine
    # repeats held keys itself, and a slow machine can stretch a tap past
    # the server's half-second repeat delay.
    server = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "%dx%dx24" % (width, height),
                               "-nolisten", "tcp", "-ardelay", "60000"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    number = server.stdout.readline().strip()
    if not number:
        server.kill()
        fail("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + number.decode()
    return server


CHECKS = {
    "window": check_window,
    "first-page": check_first_page,
    "zoom-key": check_zoom_key,
    "pan-keys": check_pan_keys,
    "menu-next-page": check_menu_next_page,
    "arrow-keys": check_arrow_keys,
    "page-down": check_page_down,
    "load-error": check_load_error,
    "continuous": check_continuous,
    "copy-line": check_copy_line,
    "resize": check_resize,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--program", required=True)
    parser.add_argument("--docrender", required=True)
    parser.add_argument("--document", required=True)
    parser.add_argument("--expect", default="")
    parser.add_argument("--zoom-taps", type=int, default=0)
    # zoom-key: the key tapped, as xdotool names it.
    parser.add_argument("--key", default="3")
    args = parser.parse_args()
    server = start_xvfb(LARGE_SCREEN if args.check == "resize" else None)
    program = None
    try:
        program = Program(args)
        CHECKS[args.check](args, program)
    finally:
        if program:
            program.stop()
        server.terminate()
        server.wait(10)
    print("vexlanedit_screen: %s: ok" % args.check)


if __name__ == "__main__":
    main()
