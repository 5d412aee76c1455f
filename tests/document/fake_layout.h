// A fake of the layout subsystem for the document tests: every layout
// service as the interim stand-ins give it, except that a test can stand in
// for the layout pass. It stores a FakeLayout in the document's layout word
// (Edr_Doc_setLayoutWord), and the pass then returns what the fake's pass
// returns. Linked into the document tests in place of layout/interim.cpp.
#pragma once

struct Edr_Doc;

struct FakeLayout {
    int (*pass)(void *argument, Edr_Doc *doc);
    void *argument;
};
