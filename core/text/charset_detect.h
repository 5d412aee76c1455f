// Character-set detection by elimination.
//
// When a text or HTML document declares no character set, its first bytes
// are fed to a detector, which answers with the most likely charset code.
// Fifteen candidates start plausible; nine probes watch the bytes with small
// state machines and rule a candidate out at the first byte sequence its
// character set cannot contain. A fixed priority order then picks among the
// survivors, restricted to the language family of the caller's default and
// to the East Asian tables that are installed.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;

// Candidate ids.
enum CharsetCandidate : uint32_t {
    CharsetCand_plain = 0,
    CharsetCand_utf8 = 1,
    CharsetCand_eucJp = 2,
    CharsetCand_eucCommon = 3, // Korean or simplified Chinese EUC
    CharsetCand_eucTw = 4,
    CharsetCand_eucCommon2 = 5,
    CharsetCand_big5 = 6,
    CharsetCand_gbk = 7,
    CharsetCand_shiftJis = 8,
    CharsetCand_iso2022cn = 9,
    CharsetCand_iso2022jp = 10,
    CharsetCand_iso2022kr = 11,
    CharsetCand_ksx1001 = 12,
    CharsetCand_utf16le = 13,
    CharsetCand_utf16be = 14,
    CharsetCand_count = 15,
};

// A probe: four operations, then its own state words. feed gets the
// probe's slice of the flags array (one word per candidate it lists: -1
// plausible, 0 ruled out) and clears the flags of the candidates the bytes
// rule out.
struct CharsetProbe {
    uint32_t (*count)(const CharsetProbe *probe);
    void (*listCandidates)(const CharsetProbe *probe, uint32_t *ids);
    void (*feed)(CharsetProbe *probe, const uint8_t *bytes, size_t length, int32_t *flags);
    void (*destroy)(CharsetProbe *probe);
    uint32_t state;  // state of the probe's machine
    uint32_t need;   // bytes still expected in the current character
    uint32_t lead;   // earlier bytes of the current character
    uint32_t state2; // a second machine's state (EUC family)
    uint32_t need2;
    uint32_t lead2;
};

// The probe set: a probe whose operations run over its nine members
// (plain text, UTF-8, EUC family, Big5, Shift_JIS, ISO-2022 family,
// KS X 1001, UTF-16, GBK), giving each the next slice of the arrays.
struct CharsetProbeSet {
    CharsetProbe base;
    CharsetProbe *members[9];
};

struct CharsetDetector {
    EngineContext *context;
    CharsetProbe *probes; // the probe set
    uint32_t count;       // number of candidates
    uint32_t *ids;        // candidate id of each flag slot
    int32_t *flags;       // -1 plausible, 0 ruled out
};

// Creates a detector with every candidate plausible. 0, or 1 when memory
// ran out (*out NULL, nothing left allocated). context tells which East Asian
// tables are installed.
[[nodiscard]] int Charset_detectorNew(EngineContext *context, CharsetDetector **out);

// Passes bytes to every probe; may be called repeatedly (the probes keep
// their state between calls).
void Charset_detectorFeed(CharsetDetector *detector, const uint8_t *bytes, size_t length);

// True while the bytes fed so far fit plain text, so that any candidate
// reads them alike and more bytes are needed to decide.
bool Charset_detectorUndecided(const CharsetDetector *detector);

// The most likely charset code, or defaultCode when nothing decides.
uint32_t Charset_detectorGuess(const CharsetDetector *detector, uint32_t defaultCode);

// Frees the detector and its probes; NULL allowed.
void Charset_detectorFree(CharsetDetector *detector);
