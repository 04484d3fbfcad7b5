// Leak-checker settings for this test program, read only by sanitizer builds.
//
// The embedded engine unloads its plugins while the process exits and leaves stale entries in
// the threads' dynamic TLS; the leak checker's walk over TLS then crashes at random, depending
// on the memory layout. Pointers held only in TLS are not what these tests check.
//
// Creating a database in this process initialises ICU inside the engine, whose caches are never
// freed; that is the engine's own business.
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libicuuc.so\n"; }
