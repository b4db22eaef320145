// Linked into quillet-service only when it is built with ThreadSanitizer.
//
// Debian ships cpp-httplib as a compiled shared library that is not built with ThreadSanitizer.
// Its own synchronisation (the worker pool's queue, the atomics inside its strings and shared
// pointers) is invisible to ThreadSanitizer, which then reports races between the library's own
// memcpy and memcmp calls on blocks the library allocated and handed from thread to thread. A
// report whose accesses lie only inside that library says nothing about this service, and the
// library cannot be rebuilt instrumented from Debian's packages (they ship no source of it).
//
// called_from_lib makes ThreadSanitizer ignore the calls the library itself makes into the
// runtime (memcpy, memcmp, malloc, locks). Everything the service's own code does, on any
// thread, stays checked: a race in a handler, the group commit or the stores still fails.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
