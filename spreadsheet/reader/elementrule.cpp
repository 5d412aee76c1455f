// The spreadsheet style sheet's element rules: each page rule gets the
// next element id of the load and goes into the style sheet.
#include "core/result.h"
#include "core/style/stylerule.h"
#include "platform/api/request.h"
#include "spreadsheet/reader/excel.h"

int Excel_Book_addElementRule(ExcelLoad *book, StyleRule **rule, uint32_t *id)
{
    if (id)
        *id = 0;
    if (!book || !rule || !*rule || !id || !book->styleSheet) {
        if (rule) {
            StyleRule_destroy(*rule);
            *rule = nullptr;
        }
        return Res_missingArgument;
    }
    int err = StyleRule_addMatch10(*rule, book->nextElementId);
    if (err == Res_ok)
        err = Request_addItem(book->styleSheet, rule);
    if (*rule) {
        StyleRule_destroy(*rule);
        *rule = nullptr;
        return err;
    }
    // Taken by the style sheet (a failing change notice included): the id
    // is used.
    *id = book->nextElementId++;
    return err;
}
