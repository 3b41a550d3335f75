// Leak-check suppressions for the test programs: the window tests load fontconfig, which keeps
// a few allocations of its own until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
