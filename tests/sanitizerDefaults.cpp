// Built into every test and fuzz program: what the sanitizers must leave out, compiled in so that it
// holds however a program is started (ctest, by hand, a fuzzer). The sanitizer runtimes ask for these.
extern "C" {

// Allocations made inside system libraries that Qt loads and never frees (font configuration caches,
// GLib and D-Bus singletons). A pattern matches any frame of the allocating stack, and almost all of
// our code runs under Qt's event loop, so Qt's own libraries must not be listed: that would hide
// every leak of ours.
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libdbus-1.so\n";
}

// Qt and the libraries it loads are not built with ThreadSanitizer: their mutexes are futexes the
// sanitizer cannot see, so the copies and frees they make under those locks (in the event queue, the
// thread pool) look like races. Only calls made from inside those libraries are left out; every access
// our own code makes is still checked.
const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Test.so.6\n"
           "called_from_lib:libfontconfig.so.1\n"
           "called_from_lib:libglib-2.0.so.0\n";
}

const char* __tsan_default_options() {
    return "halt_on_error=1:second_deadlock_stack=1";
}
}
