// The leak checker's suppressions for the GUI tests in the sanitizer
// build: memory that the Qt platform plugins and fontconfig keep for the
// life of the process. Nothing of the program's own is suppressed.
#ifdef VEXLAN_SANITIZE
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libQt6XcbQpa.so\n"
           "leak:libqoffscreen.so\n"
           "leak:libdbus-1.so\n";
}
#endif
