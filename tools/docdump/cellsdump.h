// docdump's --cells: the workbook's record stream is read by the Excel
// loader and every cell of every worksheet is printed with its kind, raw
// value, XF index and display text.
#pragma once

#include <string>

struct EngineInstance;

struct CellsDumpResult {
    int done = 0;
    int error = 0;      // the loader's result code, 0 on success
    std::string output; // what goes to standard output
};

// On the application thread: loads the workbook at url and lists it.
// Lines: "#sheet<TAB>INDEX<TAB>NAME<TAB>VISIBILITY" per worksheet, then one
// line per cell: SHEET ROW COL KIND VALUE XF DISPLAY, tab-separated, KIND
// number, text, bool, error or blank (with "formula-" before it for a
// formula's cached result), VALUE the raw value (a number as the shortest
// text that reads back to the same double), tab, newline, carriage return
// and backslash escaped as \t, \n, \r and \\. Then, for each cell of a
// shared formula, "#tokens<TAB>SHEET<TAB>ROW<TAB>COL<TAB>HEX" with its
// token string re-based to the cell.
void CellsDump_run(EngineInstance *instance, const std::string &url, CellsDumpResult *result);

// The shortest text of a double that reads back to it, with a ".0" on
// whole numbers and an exponent below 1e-4 and from 1e16 on ("1e-05",
// "1e+16").
std::string CellsDump_number(double value);
