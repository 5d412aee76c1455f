// The formatter: the grammar's integer conversions against the C library,
// the engine's own floating-point text against worked examples, strings and
// 16-bit strings, buffer bounds with widths and precisions from data, the
// per-engine registry of conversion letters, the 16-bit output and the
// debug sinks.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "core/context/statics.h"
#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

std::string fmt(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    char buf[1024];
    int r = Fmt_vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    EXPECT_EQ(r, static_cast<int>(strlen(buf))) << format;
    return buf;
}

// An engine with a heap and an engine context, so that conversion letters
// can be registered.
class FmtEngine : public LeakCheckedContextTest<(1u << 20)> {};

// ---------------------------------------------------------------- bounds

TEST(FmtBounds, BufferSizes)
{
    char buf[8];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(Fmt_snprintf(buf, 4, "%d", 12345), 4);
    EXPECT_STREQ(buf, "123");
    EXPECT_EQ(buf[4], '#');
    EXPECT_EQ(Fmt_snprintf(buf, 4, "%d", 123), 3);
    EXPECT_STREQ(buf, "123");
    EXPECT_EQ(Fmt_snprintf(buf, 4, "ab%s", "c"), 3);
    EXPECT_EQ(Fmt_snprintf(buf, 4, "ab%s", "cd"), 4);
    EXPECT_STREQ(buf, "abc");

    memset(buf, '#', sizeof buf);
    EXPECT_EQ(Fmt_snprintf(buf, 0, "%d", 5), 0);
    EXPECT_EQ(buf[0], '#') << "size 0 writes nothing";
    EXPECT_EQ(Fmt_snprintf(buf, 1, "%d", 5), 1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(Fmt_snprintf(buf, 1, ""), 0);

    EXPECT_EQ(Fmt_snprintf(nullptr, 0, "%d-%s", 12345, "abc"), 9) << "null buffer measures";
    EXPECT_EQ(Fmt_snprintf(nullptr, 3, "%d-%s", 12345, "abc"), 9);
}

// Widths and precisions that come from data never write past the buffer,
// and measuring them does not build them.
TEST(FmtBounds, HugeWidthsAndPrecisions)
{
    char buf[16];
    memset(buf, '#', sizeof buf);
    const char *formats[] = {"%*d", "%.*d", "%*s", "%.*f", "%*g", "%.*e", "%*c", "%*p"};
    for (const char *f : formats) {
        memset(buf, '#', sizeof buf);
        int r;
        if (f[2] == 's')
            r = Fmt_snprintf(buf, 8, f, 1000000000, "x");
        else if (f[3] == 'f' || f[2] == 'g' || f[3] == 'e')
            r = Fmt_snprintf(buf, 8, f, 1000000000, 1.5);
        else if (f[2] == 'p')
            r = Fmt_snprintf(buf, 8, f, 1000000000, (void *)buf);
        else
            r = Fmt_snprintf(buf, 8, f, 1000000000, 7);
        EXPECT_EQ(r, 8) << f;
        EXPECT_EQ(strlen(buf), 7u) << f;
        EXPECT_EQ(buf[8], '#') << f;
    }
    EXPECT_EQ(Fmt_snprintf(nullptr, 1, "%*d", 1000000000, 7), 1000000000);
    EXPECT_EQ(Fmt_snprintf(nullptr, 1, "%2000000000d", 7), 0x3FFFFFFF) << "widths saturate";
    EXPECT_EQ(Fmt_snprintf(nullptr, 1, "%*d", INT_MIN, 7), 0x3FFFFFFF);
    // The digit generator is capped: a precision of a billion still gives
    // at most its 307 digits.
    int n = Fmt_snprintf(nullptr, 1, "%.*f", 1000000000, 1.0 / 3);
    EXPECT_GT(n, 300);
    EXPECT_LT(n, 320);
    std::string big(700, 0);
    Fmt_snprintf(&big[0], big.size(), "%.400f", 1e308);
    EXPECT_EQ(big.find('.'), 309u);
}

TEST(FmtBounds, FormatEndingInsideAConversion)
{
    EXPECT_EQ(fmt("abc%"), "abc%");
    EXPECT_EQ(fmt("abc%-08"), "abc%");
    EXPECT_EQ(fmt("abc%l"), "abc%");
    EXPECT_EQ(fmt("a%{never closed"), "a%");
    EXPECT_EQ(fmt("%{note}d|%{}5d", 1, 2), "1|    2");
}

// -------------------------------------------------------------- integers

TEST(FmtInteger, WorkedExamples)
{
    struct Case {
        const char *format;
        int value;
        const char *out;
    } cases[] = {
        {"%05d", -42, "-0042"},
        {"%+d", 7, "+7"},
        {"% d", 7, " 7"},
        {"%#o", 8, "010"},
        {"%#x", 255, "0xff"},
        {"%#x", 0, "0"},
        {"%.3d", 5, "005"},
        {"%hd", 65535, "-1"},
        {"%hu", 65537, "1"},
        {"%#X", 255, "0XFF"},
        {"%#o", 0, "0"},
        {"%#.3o", 8, "010"},
        {"%ld", -5, "-5"},
        {"%qx", -1, "ffffffff"},
        {"%lu", -1, "4294967295"},
        {"%.0d", 0, "0"},
        {"%05.3d", 5, "00005"},
        {"%-5d|", 42, "42   |"},
        {"%-05d|", 42, "42   |"},
        {"%#08x", 255, "0x0000ff"},
        {"%+05d", 3, "+0003"},
        {"%d", INT_MIN, "-2147483648"},
        {"%x", INT_MIN, "80000000"},
        {"%ho", -1, "177777"},
        {"%i", 12, "12"},
        {"%5%", 0, "    %"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fmt(c.format, c.value), c.out) << c.format;
}

// Where the grammar and the C library agree (everything but '0' with a
// precision and a zero value with precision 0), glibc is the reference.
TEST(FmtInteger, DifferentialAgainstCLibrary)
{
    std::mt19937 rng(2024);
    const char letters[] = "diuoxXc";
    const char flagSet[] = "-+ #0";
    for (int round = 0; round < 30000; round++) {
        std::string f = "[%";
        bool zero = false;
        for (int i = 0; i < 5; i++) {
            if (rng() % 3 == 0) {
                f += flagSet[i];
                zero |= flagSet[i] == '0';
            }
        }
        if (rng() % 2)
            f += std::to_string(rng() % 20);
        char letter = letters[rng() % 7];
        bool hasPrec = rng() % 2 && !zero && letter != 'c';
        int prec = static_cast<int>(rng() % 12);
        if (hasPrec)
            f += "." + std::to_string(prec);
        if (letter == 'c' && zero)
            continue; // '0' on %c is undefined in C
        bool shortSize = rng() % 4 == 0 && letter != 'c';
        if (shortSize)
            f += 'h';
        f += letter;
        f += ']';
        int v;
        switch (rng() % 4) {
        case 0: v = static_cast<int>(rng() % 10); break;
        case 1: v = -static_cast<int>(rng() % 100000); break;
        case 2: v = static_cast<int>(rng()); break;
        default: v = INT_MIN + static_cast<int>(rng() % 3); break;
        }
        if (letter == 'c')
            v = 'A' + static_cast<int>(rng() % 26);
        if (hasPrec && prec == 0 && (shortSize ? static_cast<int16_t>(v) == 0 : v == 0))
            continue;
        char want[128];
        snprintf(want, sizeof want, f.c_str(), v);
        ASSERT_EQ(fmt(f.c_str(), v), want) << f << " of " << v;
    }
}

TEST(FmtInteger, PointersCharactersAndCount)
{
    char expect[32];
    int local;
    snprintf(expect, sizeof expect, "%lx", reinterpret_cast<unsigned long>(&local));
    EXPECT_EQ(fmt("%p", (void *)&local), expect);
    EXPECT_EQ(fmt("%p", (void *)nullptr), "0");
    EXPECT_EQ(fmt("%06p", (void *)0xab), "    ab") << "the pad of %p is always a blank";
    EXPECT_EQ(fmt("%-4c|", 'x'), "x   |");
    EXPECT_EQ(fmt("%c", 0x141), "A") << "the low byte";
    EXPECT_EQ(fmt("%C%C", 0x142, 0xE9), "?\xE9");
    EXPECT_EQ(fmt("%3C", 'z'), "  z");

    int count = -1;
    int16_t shortCount = -1;
    EXPECT_EQ(fmt("abc%n%5d%hn!", &count, 1, &shortCount), "abc    1!");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(shortCount, 8);
    EXPECT_EQ(fmt("%n", (int *)nullptr), "");
}

// --------------------------------------------------------------- strings

TEST(FmtString, EightBit)
{
    EXPECT_EQ(fmt("%8s", (const char *)nullptr), "  (NULL)");
    EXPECT_EQ(fmt("%s", (const char *)nullptr), "(NULL)");
    EXPECT_EQ(fmt("%-6s|", "ab"), "ab    |");
    EXPECT_EQ(fmt("%06s", "ab"), "    ab") << "the pad of %s is always a blank";
    EXPECT_EQ(fmt("%.2s", "abcdef"), "ab");
    EXPECT_EQ(fmt("%.0s|", "abc"), "|");
    EXPECT_EQ(fmt("%+s", "x"), "x") << "no sign on strings";
    // The precision bounds the read: the bytes need not be terminated.
    char unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(fmt("%.3s", unterminated), "xyz");
    EXPECT_EQ(fmt("100%%"), "100%");
}

TEST_F(FmtEngine, SixteenBit)
{
    EXPECT_EQ(fmt("%S", u"plain"), "plain");
    EXPECT_EQ(fmt("%S", u"\x00FF\x00FE\x00E9"), "?\xFE\xE9") << "U+00FF prints '?'";
    EXPECT_EQ(fmt("[%S]", u"a\xD83D\xDE00"
                          u"b"),
              "[a?b]")
        << "a surrogate pair is one character";
    EXPECT_EQ(fmt("[%S]", u"a\xDC00\xD800"), "[a??]");
    EXPECT_EQ(fmt("%.2S|", u"\xD83D\xDE00xyz"), "?x|") << "precision counts characters";
    EXPECT_EQ(fmt("%6S|%-3S|", u"ab", u"c"), "    ab|c  |");
    EXPECT_EQ(fmt("%S", (const char16_t *)nullptr), "(NULL)");
    EXPECT_EQ(fmt("%S", u""), "");

    Mem_failAfter(1);
    EXPECT_EQ(fmt("%10S", u"abc"), " (*error*)");
    Mem_failAfter(0);
    EXPECT_EQ(Mem_takeOutOfMemory(), 1);

    // A full buffer stops the conversion and its temporary block is freed
    // (the fixture checks for leaks).
    char small[4];
    EXPECT_EQ(Fmt_snprintf(small, sizeof small, "%S", u"longer than four"), 4);
    EXPECT_STREQ(small, "lon");
}

TEST(FmtString, SixteenBitWithoutAHeap)
{
    EXPECT_EQ(fmt("%S", u"abc"), "(*error*)");
    EXPECT_EQ(fmt("%S", (const char16_t *)nullptr), "(NULL)");
}

// ---------------------------------------------------------- floating point

TEST(FmtFloat, WorkedExamples)
{
    struct Case {
        const char *format;
        double value;
        const char *out;
    } cases[] = {
        {"%e", 1234.5, "1.234500e+03"},
        {"%f", 0.5, "0.500000"},
        {"%.0f", 2.5, "3"},
        {"%.0f", 0.5, "1"},
        {"%.0f", 0.3, "0"},
        {"%.0f", 0.7, "1"},
        {"%g", 0.5, ".5"},
        {"%g", 10000, "10000"},
        {"%g", 100000, "1.e+5"},
        {"%g", 1e20, "1.e+20"},
        {"%G", 1e20, "1.E+20"},
        {"%g", 0, "0"},
        {"%g", 12.5, "12.5"},
        {"%g", 0.0001, ".0001"},
        {"%g", 0.00001, "1.e-5"},
        {"%g", 1.5e-10, "1.5e-10"},
        {"%g", -0.25, "-.25"},
        {"%g", 123456, "123456"},
        {"%g", 1e300, "1.e+300"},
        {"%#g", 1, "1."},
        {"%#g", 1.5, "1.5"},
        {"%.3g", 3.14159, "3.14"},
        {"%.0g", 7.7, "8"},
        {"%.1f", 9.99, "10.0"},
        {"%.2f", 1.125, "1.13"},
        {"%f", -1.5, "-1.500000"},
        {"%+f", 1.5, "+1.500000"},
        {"% .1f", 1.5, " 1.5"},
        {"%08.2f", -3.14159, "-0003.14"},
        {"%-8.1f|", 2.25, "2.3     |"},
        {"%#.0f", 3, "3."},
        {"%.0f", 0, "0"},
        {"%f", 1e-10, "0.000000"},
        {"%.3f", 0.0005, "0.001"},
        {"%.3f", 0.0004, "0.000"},
        {"%f", 100, "100.000000"},
        {"%e", 0, "0.000000e+00"},
        {"%E", 1.0, "1.000000E+00"},
        {"%.2e", 9.999, "1.00e+01"},
        {"%.0e", 5, "5e+00"},
        {"%#.0e", 5, "5.e+00"},
        {"%e", 1.5e-7, "1.500000e-07"},
        {"%e", 1e100, "1.000000e+100"},
        {"%e", 5e-324, "4.940656e-324"},
        {"%.1e", -2.5e-5, "-2.5e-05"},
        {"%e", 1.7976931348623157e308, "1.797693e+308"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fmt(c.format, c.value), c.out) << c.format << " of " << c.value;
}

TEST(FmtFloat, InfinityAndNan)
{
    EXPECT_EQ(fmt("%f", HUGE_VAL), "inf");
    EXPECT_EQ(fmt("%e", -HUGE_VAL), "-inf");
    EXPECT_EQ(fmt("%G", HUGE_VAL), "INF");
    EXPECT_EQ(fmt("%g", std::nan("")), "nan");
    EXPECT_EQ(fmt("%+06f", HUGE_VAL), "  +inf");
    EXPECT_EQ(fmt("%E", -std::nan("")), "NAN");
}

// Values whose digits the generator gets exactly agree with the C library
// for %f and %e (apart from the engine's rounding of exact halves, which
// these values avoid).
TEST(FmtFloat, AgreesWithCLibraryOnExactValues)
{
    std::mt19937 rng(5);
    for (int i = 0; i < 5000; i++) {
        double v = static_cast<double>(static_cast<int>(rng() % 2000000) - 1000000) / 64.0;
        char want[64];
        snprintf(want, sizeof want, "%.6f|%.3e|%.2f", v, v, v);
        // %.2f of a multiple of 1/64 can be an exact half at the third digit.
        double scaled = v * 1000;
        if (scaled == static_cast<long>(scaled) && std::abs(static_cast<long>(scaled)) % 10 == 5)
            continue;
        std::string got = fmt("%.6f|%.3e|%.2f", v, v, v);
        if (got != want) {
            // The %e digit after the cut can be an exact half too.
            char e4[32];
            snprintf(e4, sizeof e4, "%.4e", v);
            if (strstr(e4, "5e") != nullptr)
                continue;
        }
        ASSERT_EQ(got, want) << v;
    }
}

// ------------------------------------------------------ registered letters

char *printTag(void *arg)
{
    return Cstr_dup(static_cast<const char *>(arg));
}

char *refuse(void *)
{
    return nullptr;
}

TEST_F(FmtEngine, RegisteredLetters)
{
    EXPECT_EQ(fmt("%k|%d", 5), "%k|5") << "an unregistered letter consumes no argument";
    EXPECT_EQ(Fmt_registerConversion('U', printTag), 1);
    EXPECT_EQ(Fmt_registerConversion('U', refuse), 0) << "the first registration stays";
    EXPECT_EQ(Fmt_registerConversion('k', refuse), 1);
    EXPECT_EQ(fmt("<%U>", "http://x/"), "<http://x/>");
    EXPECT_EQ(fmt("<%12U>", "abc"), "<         abc>");
    EXPECT_EQ(fmt("<%012U>", "abc"), "<000000000abc>") << "the pad is not forced to a blank";
    EXPECT_EQ(fmt("<%.2U>", "abc"), "<ab>");
    EXPECT_EQ(fmt("%k|%d", (void *)nullptr, 5), "%k|5") << "a refusing handler consumed its word";

    Fmt_unregisterConversion('U', refuse);
    EXPECT_EQ(fmt("%U", "still"), "still") << "letter and handler must both match";
    Fmt_unregisterConversion('U', printTag);
    EXPECT_EQ(fmt("%U|%d", 9), "%U|9");
    EXPECT_NE(ctx->fmtConversions, nullptr);
    Fmt_unregisterConversion('k', refuse);
    EXPECT_EQ(ctx->fmtConversions, nullptr) << "the registry goes with its last entry";
    Fmt_unregisterConversion('k', refuse);
}

// The reset at engine creation drops every registered letter and the
// heap's out-of-memory indicator; a second reset finds nothing to do.
TEST_F(FmtEngine, TheEngineResetClearsLettersAndHeapStatistics)
{
    EXPECT_EQ(Fmt_registerConversion('U', printTag), 1);
    EXPECT_EQ(Fmt_registerConversion('k', refuse), 1);
    Mem_heapContext()->outOfMemory = 1;
    Engine_resetStatics();
    EXPECT_EQ(ctx->fmtConversions, nullptr);
    EXPECT_EQ(Mem_heapContext()->outOfMemory, 0u);
    EXPECT_EQ(fmt("%U|%d", 9), "%U|9");
    Engine_resetStatics();
    EXPECT_EQ(Fmt_registerConversion('U', refuse), 1) << "the letter is free again";
    Fmt_unregisterConversion('U', refuse);
}

TEST_F(FmtEngine, RegistryOutOfMemory)
{
    for (int n = 1; n <= 2; n++) {
        Mem_failAfter(n);
        EXPECT_EQ(Fmt_registerConversion('U', printTag), 0);
        Mem_failAfter(0);
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        EXPECT_EQ(ctx->fmtConversions, nullptr);
    }
    EXPECT_EQ(Fmt_registerConversion('U', printTag), 1);
    Mem_failAfter(1);
    EXPECT_EQ(Fmt_registerConversion('V', printTag), 0);
    Mem_failAfter(0);
    EXPECT_EQ(fmt("%U", "ok"), "ok");
    Fmt_unregisterConversion('U', printTag);
    Mem_takeOutOfMemory();
}

TEST(FmtRegistry, EachEngineHasItsOwn)
{
    EXPECT_EQ(Fmt_registerConversion('U', printTag), 0) << "no engine: nowhere to register";
    TestHeap a{}, b{};
    ASSERT_TRUE(TestHeap_open(&a, 1 << 20, 0));
    a.instance->context = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    EXPECT_EQ(Fmt_registerConversion('U', printTag), 1);
    EXPECT_EQ(fmt("%U", "a"), "a");

    ASSERT_TRUE(TestHeap_open(&b, 1 << 20, 0));
    b.instance->context = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    EXPECT_EQ(fmt("%U|%d", 3), "%U|3");
    Mem_free(b.instance->context);
    TestHeap_close(&b);

    Headless_setCurrent(a.host);
    EXPECT_EQ(fmt("%U", "a"), "a");
    Fmt_unregisterConversion('U', printTag);
    Mem_free(a.instance->context);
    TestHeap_close(&a);
}

// ---------------------------------------------------------- 16-bit output

TEST(FmtWide, SameGrammarWidened)
{
    char16_t buf[16];
    EXPECT_EQ(Fmt_snprintf16(buf, 16, "%d:%s:%C", -12, "caf\xE9", 0xE8), 10);
    EXPECT_EQ(std::u16string(buf), u"-12:caf\x00E9:\x00E8");
    std::fill(buf, buf + 16, u'#');
    EXPECT_EQ(Fmt_snprintf16(buf, 4, "%u", 123456u), 4);
    EXPECT_EQ(std::u16string(buf), u"123");
    EXPECT_EQ(buf[4], u'#');
    EXPECT_EQ(Fmt_snprintf16(nullptr, 0, "%5d", 1), 5);
    EXPECT_EQ(Fmt_snprintf16(buf, 0, "x"), 0);
}

// ------------------------------------------------------------------ debug

TEST(FmtDebug, TruncationMarkersAndLevels)
{
    HostContext *host = Headless_createContext(0);
    Headless_setCurrent(host);
    Headless_captureDebug(host, 1);

    std::string longText(2000, 'x');
    EXPECT_EQ(Fmt_debugLevel(1, "%s", longText.c_str()), 1024);
    std::string got = Headless_debugText(host);
    EXPECT_EQ(got, std::string(1008, 'x') + "** truncated **");
    Headless_clearDebug(host);

    EXPECT_EQ(Fmt_debugPrint("%s", longText.c_str()), 1024);
    EXPECT_EQ(std::string(Headless_debugText(host)), std::string(1007, 'x') + "** truncated **\n");
    Headless_clearDebug(host);

    EXPECT_EQ(Fmt_debugLevel(2, "colour space %d interpreted as CMYK!?\n", 4), 37);
    EXPECT_EQ(Fmt_debugLevel(3, "not shown"), 9);
    EXPECT_EQ(Fmt_debugLevel(-1, "not shown"), 9);
    EXPECT_EQ(Fmt_debugPrint("short %s\n", "text"), 11);
    EXPECT_EQ(std::string(Headless_debugText(host)),
              "colour space 4 interpreted as CMYK!?\nshort text\n");

    Headless_clearDebug(host);
    std::string edge(1008, 'y');
    Fmt_debugLevel(0, "%s", edge.c_str());
    EXPECT_EQ(std::string(Headless_debugText(host)), edge + "** truncated **")
        << "a text that reaches the marker shows it";
    Headless_clearDebug(host);
    edge.pop_back();
    Fmt_debugLevel(0, "%s", edge.c_str());
    EXPECT_EQ(std::string(Headless_debugText(host)), edge);
    Headless_destroyContext(host);
}

} // namespace
