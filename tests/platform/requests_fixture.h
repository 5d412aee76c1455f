// The application fixture with the records of the host's editing, search,
// save, listing and capture requests read as they arrive: notification
// codes (0x10016) with their reasons, search reports (0x11000), capture reports (0x1000F) and
// the listing requests (0x18000 to 0x18003, the batches' entry names kept
// and each batch freed as the host does).
#pragma once

#include <string>
#include <vector>

#include "app/capture.h"
#include "platform/api/editing.h"
#include "platform/api/search.h"
#include "tests/platform/app_fixture.h"

class RequestsFixture : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        Headless_setRequestHook(host, onHostRequest, this);
    }
    void TearDown() override
    {
        for (ZipEntryList *list : lists)
            ZipList_free(list);
        lists.clear();
        AppFixture::TearDown();
    }
    static void onHostRequest(void *arg, int32_t code, void *record)
    {
        RequestsFixture *f = static_cast<RequestsFixture *>(arg);
        if (code == App_requestNotify && record) {
            f->notices.push_back(static_cast<const EditNotice *>(record)->code);
            f->reasons.push_back(static_cast<const EditNotice *>(record)->reason);
        }
        if (code == App_requestCapture && record)
            f->captures.push_back(*static_cast<const CaptureReport *>(record));
        if (code == App_requestSearch && record)
            f->searches.push_back(*static_cast<const SearchReport *>(record));
        if (code >= App_requestListFailed && code <= App_requestListEnd) {
            f->listCodes.push_back(code);
            if (code == App_requestListOpened)
                f->listing = static_cast<ZipListRequest *>(record);
            if (code == App_requestListEntries || code == App_requestListEnd) {
                ZipEntryList *list = static_cast<ZipEntryList *>(record);
                f->batchSizes.push_back(list->count);
                for (int32_t i = 0; i < list->count; i++)
                    f->names.push_back(std::string(list->entries[i]->name) +
                                       (list->entries[i]->isDirectory ? "/" : "") + " " +
                                       std::to_string(list->entries[i]->size));
                f->lists.push_back(list);
            }
        }
        onRequest(arg, code, record);
    }
    // The notification codes as "0 1 19".
    std::string noticeText() const
    {
        std::string out;
        for (int32_t c : notices)
            out += (out.empty() ? "" : " ") + std::to_string(c);
        return out;
    }

    std::vector<int32_t> notices;
    std::vector<int32_t> reasons; // beside each notice: the reason of a failed save
    std::vector<CaptureReport> captures;
    std::vector<SearchReport> searches;
    std::vector<int32_t> listCodes;
    std::vector<int32_t> batchSizes;
    std::vector<std::string> names;
    std::vector<ZipEntryList *> lists;
    ZipListRequest *listing = nullptr;
};
