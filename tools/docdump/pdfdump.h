// docdump's PDF options: the file is opened with the PDF reader alone
// (no page is translated) and its objects or its cross-reference entries
// are printed.
#pragma once

#include <string>
#include <vector>

struct EngineInstance;
struct PdfDoc;
struct PdfObj;

struct PdfDumpOptions {
    std::vector<long long> objects; // --object N, in order
    std::vector<long long> streams; // --stream N, in order
    bool xref = false;              // --xref
    bool havePassword = false;      // --password TEXT given
    std::string password;
};

// What a dump produced, filled on the application thread.
struct PdfDumpResult {
    int done = 0;
    int error = 0;              // the engine's result code, 0 on success
    std::string output;         // what goes to standard output
    int streamError = 0;        // the error that stopped a --stream (the file opened)
    long long streamNumber = 0; // the stream it stopped at
};

// On the application thread: opens path with the PDF reader, prints what
// the options ask for into result and closes the file.
void PdfDump_run(EngineInstance *instance, const std::string &path, const PdfDumpOptions &options,
                 PdfDumpResult *result);

// The object as qpdf's --show-object prints it: dictionary keys sorted,
// entries whose value is null left out, references as "n g R", strings in
// the literal or the hexadecimal form qpdf chooses, names with "#"
// escapes; a stream as "Object is stream.  Dictionary:" and its
// dictionary.
std::string PdfDump_showObject(PdfDoc *doc, PdfObj *obj);
