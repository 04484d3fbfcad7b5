// Leak-checker settings for this test program, read only by sanitizer builds.
//
// The embedded engine unloads its plugins while the process exits and leaves stale entries in
// the threads' dynamic TLS; the leak checker's walk over TLS then crashes at random, depending
// on the memory layout. Pointers held only in TLS are not what these tests check.
//
// Creating a database in this process initialises ICU inside the engine, whose caches are never
// freed; that is the engine's own business. The client library links ICU itself, so ICU is
// loaded with the program; when the engine opens it again, the loader records the library's
// dependencies in a block that only the loader's start-up memory points to, which the checker
// does not scan: a false report (any test program that links the client library and runs the
// engine needs this line).
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libicuuc.so\nleak:_dl_map_object_deps\n"; }
