// Engine module start-up and teardown in their fixed orders.
//
// Each start step creates one module into its word of the EngineContext
// and answers 0 or an error; the first error stops the start and the whole
// teardown runs. The teardown walks every module in its fixed order and
// skips the ones that are not there, so it serves a start that failed at
// any step, a normal end, and a second call alike.
#include "app/modules.h"

#include <cstring>

#include "app/dockinds.h"
#include "app/streamtypes.h"
#include "core/config/config.h"
#include "platform/config/settings.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/time/date.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "core/text/charset_cjk.h"
#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/types/doctype.h"
#include "fonts/fontengine.h"
#include "graphics/graphics.h"
#include "core/host/hostservices.h"
#include "html/docops.h"
#include "html/history.h"
#include "html/module.h"
#include "layout/docops.h"
#include "spreadsheet/gridlayout.h"
#include "graphics/texttone.h"
#include "platform/api/app.h"
#include "platform/api/engine.h"
#include "spreadsheet/formula/funcnames.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"
#include "graphics/imageutil.h"
#include "viewer/docops.h"
#include "viewer/scaledentry.h"
#include "viewer/search/searchops.h"
#include "viewer/viewer.h"

namespace {

int startDispatcher(EngineContext *context)
{
    if (context->eventProc)
        return Res_ok;
    return AppMsg_createDispatcher(context, &context->eventProc);
}

// The East Asian codec tables; a table that cannot be installed fails the
// start (each needs a small record only).
int installCodecs(EngineContext *context)
{
    CharsetHooks *hooks = context->charsetHooks;
    if (!hooks)
        return Res_missingArgument;
    int r = Charset_installJapanese(hooks);
    if (r == Res_ok)
        r = Charset_installBig5(hooks);
    if (r == Res_ok)
        r = Charset_installKorean(hooks);
    if (r == Res_ok)
        r = Charset_installChinese(hooks);
    return r;
}

// The font location: a URL of the text, handed to the font engine and
// freed after use.
int setFontLocation(EngineContext *context, const char *fontUrl)
{
    Url *url = Url_newFromCstr(fontUrl);
    if (!url)
        return Res_noMemory;
    int r = FontEngine_configure(context, url);
    Url_free(url);
    return r;
}

int loadSettings(EngineContext *context, const char *settingsDir)
{
    char16_t *dir = Ustr_fromCstr(settingsDir);
    if (!dir)
        return Res_noMemory;
    int r = Settings_loadFromDir(context, context->config, dir);
    Mem_free(dir);
    return r;
}

// The document-type registry with the host's handlers in it.
int startRegistry(EngineContext *context)
{
    if (!context->docHandlers) {
        DocTypeRegistry *registry = nullptr;
        int r = DocType_newRegistry(context, &registry);
        if (r != Res_ok)
            return r;
        context->docHandlers = registry;
    }
    // A handler that cannot register leaves its documents unreadable; the
    // describe routines fail only when memory runs out.
    return App_registerDocumentKinds(context) ? Res_ok : Res_noMemory;
}

void stopRegistry(EngineContext *context)
{
    DocTypeRegistry *registry = DocType_registry(context);
    context->docHandlers = nullptr;
    DocType_freeRegistry(context, registry);
}

void stopDispatcher(EngineContext *context)
{
    EventProc *processor = context->eventProc;
    if (!processor)
        return;
    (void)TimerQ_stopThread(context, processor); // shutting down goes on whatever it answers
    AppMsg_destroyDispatcher(processor);
    context->eventProc = nullptr;
}

void freeStore(EngineContext *context)
{
    ConfigStore *store = context->config;
    context->config = nullptr;
    Config_freeStore(context, store);
}

} // namespace

int Engine_checkTaskSystem(EngineContext *context)
{
    if (!context || !context->scheduler || !Task_current(context))
        return Res_missingArgument;
    return Res_ok;
}

int Engine_initModules(EngineContext *context, void *options)
{
    if (!context)
        return Res_nullInput;
    context->startOptions = options;
    Std_srand(uint32_t(uint64_t(Date_now(nullptr))));
    int r = Engine_checkTaskSystem(context);
    if (r != Res_ok)
        return r;
    // The spreadsheet setting word lives in the context itself.
    context->sheetSetting = 0;
    if (!context->textTone)
        r = TextTone_init(context);
    if (r == Res_ok && !context->workers)
        r = Worker_initPool(context);
    if (r == Res_ok)
        r = startDispatcher(context);
    if (r == Res_ok && !context->timerThread)
        r = TimerQ_startThread(context, context->eventProc);
    if (r == Res_ok)
        r = Url_registerFormat();
    if (r == Res_ok)
        r = Graphics_initModule(context);
    if (r == Res_ok)
        r = Html_installDocumentOps(context);
    if (r == Res_ok)
        r = Layout_installDocumentOps(context);
    if (r == Res_ok)
        r = View_installDocumentOps(context);
    if (r == Res_ok)
        r = Excel_installGridLayout(context);
    if (r == Res_ok && !context->fileLayer) {
        r = Vfs_initLayer(context);
        if (r == Res_ok)
            r = App_registerStreamTypes(context);
    }
    if (r == Res_ok)
        r = Charset_createHooks(context);
    if (r == Res_ok)
        r = FontEngine_create(context);
    if (r == Res_ok)
        r = FuncNames_init(context);
    if (r != Res_ok)
        Engine_finiModules(context, 0);
    return r;
}

int Engine_initServices(EngineContext *context, const char *fontUrl, const char *settingsDir,
                        EngineHostHookFn hostHook)
{
    if (!context || !fontUrl || !settingsDir || !hostHook)
        return Res_nullInput;
    const FvStartOptions *options = static_cast<const FvStartOptions *>(context->startOptions);
    int browseFlag = options && options->word[FvStart_secondStage] != 0 ? 1 : 0;
    int r = loadSettings(context, settingsDir);
    if (r == Res_ok)
        r = setFontLocation(context, fontUrl);
    if (r == Res_ok)
        r = Web_initDisplaySettings(context);
    if (r == Res_ok)
        r = History_initModule(context);
    if (r == Res_ok)
        r = installCodecs(context);
    if (r == Res_ok)
        r = Web_initBrowsing(context, settingsDir, browseFlag, 4);
    if (r == Res_ok)
        r = hostHook(context);
    if (r == Res_ok) {
        FontEngine_installYenFilter(context);
        FontEngine_addConfiguredDirectories(context);
    }
    if (r == Res_ok)
        r = Graphics_initServices(context);
    if (r == Res_ok)
        r = ImageCacheModule_start(context);
    if (r == Res_ok)
        r = Module_startNothing(context);
    if (r == Res_ok)
        r = Edr_App_registerImageCodecs(context);
    if (r == Res_ok)
        r = Form_initModule(context);
    if (r == Res_ok && !context->edrApp)
        r = Edr_App_init(context, 0);
    if (r == Res_ok)
        r = View_initSettings(context);
    if (r == Res_ok)
        r = Dispman_init(context);
    if (r == Res_ok)
        r = Search_createInterface(context);
    if (r == Res_ok)
        r = Thumb_watchSizeSettings(context);
    if (r == Res_ok)
        r = HostHooks_initModule(context);
    if (r == Res_ok)
        r = startRegistry(context);
    if (r == Res_ok)
        r = View_initDisplaySettings(context);
    if (r != Res_ok) {
        freeStore(context);
        Engine_finiModules(context, 0);
    }
    return r;
}

void Engine_stopModules(EngineContext *context)
{
    if (!context)
        return;
    if (context->eventProc) {
        EventProc_stop(context->eventProc);
        // Shutting down goes on whatever it answers.
        (void)TimerQ_stopThread(context, context->eventProc);
        AppMsg_drain(context->eventProc);
    }
    Worker_stopAll(context);
    Dispman_stopUpdaters(context);
    Thumb_unwatchSizeSettings(context);
    Worker_joinAll(context);
}

void Engine_finiModules(EngineContext *context, int keep)
{
    if (!context || keep)
        return;
    Engine_stopModules(context);
    Thumb_unwatchSizeSettings(context);
    Thumb_freeSizeSettings(context);
    Dispman_free(context);
    Search_destroyInterface(context);
    Edr_App_fini(context);
    Mem_free(context->teardownBlock);
    context->teardownBlock = nullptr;
    Form_freeModule(context);
    Module_stopNothing(context);
    ImageCacheModule_stop(context);
    Graphics_freeServices(context);
    Obj_freeKindRecords(context);
    View_freeSettings(context);
    stopRegistry(context);
    History_freeModule(context);
    Web_freeBrowsing(context);
    View_freeDisplaySettings(context);
    Web_freeDisplaySettings(context);
    Charset_destroyHooks(context);
    FontEngine_destroy(context);
    HostHooks_finiModule(context);
    Vfs_unregisterTypes(context);
    Vfs_finiLayer(context);
    TextTone_fini(context);
    context->sheetSetting = 0;
    FuncNames_free(context);
    Graphics_finiModule(context);
    Url_unregisterFormat();
    stopDispatcher(context);
    Config_freeWatchRegistry(context);
    freeStore(context);
    Worker_destroyPool(context);
}

const FvModuleOps Engine_moduleOps = {Engine_initModules, Engine_initServices, Engine_finiModules};
