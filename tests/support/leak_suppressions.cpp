// Leak-check settings for the test programs: the window tests load fontconfig, which keeps
// a few allocations of its own until the process ends. Thread-local storage is not scanned:
// the leak checker's tracer faults on the dynamic thread-local blocks of the Tesseract it
// loads at run time; the per-thread blocks of OpenMP and GLib, only held there, are expected.
// The SRT transport library that libavformat links keeps an allocation of its start-up, and
// loading FFmpeg's libraries grows the dynamic linker's table of thread-local blocks, which
// only thread-local storage points to. Loading FreeType (for the characters the glyph atlas
// lacks) leaves the dynamic linker's list of its dependencies, held by the loader alone.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libgomp\nleak:libglib\nleak:libsrt\nleak:_dl_resize_dtv\nleak:_dl_map_object_deps\n";
}
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
