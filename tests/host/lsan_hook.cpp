// The leak checker's suppressions for the GUI tests in the sanitizer
// build: the D-Bus connection that Qt's X11 platform plugin opens keeps a
// block for the life of the process. Nothing of the program's own is
// suppressed.
#ifdef VEXLAN_SANITIZE
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
#endif
