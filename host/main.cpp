// vexlanedit: the document viewer's program. `vexlanedit [document]`
// installs the translations for the system's language, shows the main
// window and runs the event loop; the window starts the engine and opens
// the document.
#include <QTranslator>

#include "host/ezxmainwidget.h"
#include "host/startup.h"
#include "host/toolkit/toolkit.h"

int main(int argc, char **argv)
{
    ZApplication app(argc, argv);
    QTranslator translator;
    if (!Startup_installTranslations(&translator, argv[0]))
        return 1;
    int result;
    {
        EzxMainWidget window(argc, argv, nullptr);
        app.setMainWidget(&window);
        window.show();
        result = app.exec();
    }
    QCoreApplication::removeTranslator(&translator);
    return result;
}
