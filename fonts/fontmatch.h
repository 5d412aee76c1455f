// Font family matching.
//
// Styled text names its fonts by a list of family names and a requested
// style. The matcher turns that list into at most eight font faces of the
// font engine, in order of preference: the faces whose names match the
// requested names (exactly, then through the alias table, then through
// the default alias), the default faces of the languages, an "override"
// face brought to the front, synthetic bold copies and a derived
// (standard-metrics) face where the request asks for them. The font
// engine owns every record the matcher reads; it fills the matching
// context and answers the few services the matcher needs through its
// operations table.
#pragma once

#include <cstdint>

struct EngineContext;
struct FontFace;
struct FontMatchContext;
struct Matrix;

enum : uint32_t {
    FontMatch_maxCandidates = 8,
    FontMatch_collectLimit = 7, // candidates gathered by name and language
    FontMatch_maxLanguageDefaults = 8,
    FontMatch_noMatch = 61440,        // name-match result and score floor of a miss
    FontMatch_noAlias = 65535,        // score of a name without an alias row
    FontMatch_symbolVariant = 0x1000, // request bit: a derived (standard-metrics) face
    FontMatch_slantBits = 0x300,      // request and face bits: italic or oblique
    FontMatch_boldWeight = 5,         // a weight class from here on is bold
    FontMatch_obliqueShear = 0x366a,  // 16.16 shear of synthetic italic (about 12 degrees)
};

// One row of the alias table: a family name and its comma-separated
// substitutes. A row whose name starts with "*" holds the default
// substitute.
struct FontAlias {
    const char *name;
    const char *substitutes;
};

// The font engine's services to the matcher. Each returns 0 or an error.
struct FontMatchOps {
    // Makes the known-font list of the context ready (first use).
    int (*prepareKnown)(FontMatchContext *context);
    // Takes a synthetic copy into the engine's keeping (the catalogue):
    // on success the engine owns it; on failure the caller frees it.
    int (*registerCopy)(FontMatchContext *context, FontFace *copy);
    // The derived face of the first requested name over a candidate: *out
    // a new face, or null when the name has none.
    int (*derive)(FontMatchContext *context, const char *name, FontFace *candidate, FontFace **out);
    // Drops the reference that a candidate list holds on a face of kind 50,
    // 51 or 52 (derived faces and registered copies).
    void (*release)(FontMatchContext *context, FontFace *face);
};

// The matching context of a font engine. The arrays are the engine's and
// stay valid while it holds its lock.
struct FontMatchContext {
    const FontMatchOps *ops;
    void *owner;            // the font engine
    FontFace *const *known; // the known faces (made ready by prepareKnown)
    uint32_t knownCount;
    uint32_t knownReady;       // 1 once prepareKnown has run
    FontFace *const *embedded; // the faces registered under "vexlanEmbedded" names
    uint32_t embeddedCount;
    const FontAlias *aliases;
    uint32_t aliasCount;
    FontFace *languageDefaults[FontMatch_maxLanguageDefaults];
    uint32_t languageDefaultCount;
};

// Matches the count family names (8-bit) with the requested style word
// (bits 0-3 weight class, 4-7 width class, 8-11 slant class; 0x1000 a
// derived face). candidates (room for FontMatch_maxCandidates) and *count
// receive the faces in order; *extra the width-override face that stood
// for its parent, or null. matrix (or null) is sheared for synthetic
// italic. 0, 1 when memory runs out, or the engine's error; on failure
// nothing is held.
[[nodiscard]] int Css_fontMatchFamilies(EngineContext *engine, FontMatchContext *context,
                                        const char *const *names, uint32_t nameCount,
                                        uint32_t style, FontFace **candidates, uint32_t *count,
                                        Matrix *matrix, FontFace **extra);
// Releases what a match handed out: the derived faces and registered
// copies among the candidates, then the extra face; clears the slots.
void Css_fontListRelease(FontMatchContext *context, FontFace **candidates, uint32_t count,
                         FontFace *extra);
// 0 when name equals one of the ":"-separated aliases of names (whole
// alias, case-insensitive), else FontMatch_noMatch.
uint32_t Css_fontNameMatches(const char *names, const char *name);
// The exact lookup: *out the best face for the name and style (null when
// none scores below FontMatch_noMatch), *score its score.
[[nodiscard]] int Css_fontFindByName(FontMatchContext *context, const char *name, uint32_t style,
                                     FontFace **out, uint32_t *score);
// Fills the context's language default faces.
[[nodiscard]] int Css_fontLanguageDefaults(FontMatchContext *context);
