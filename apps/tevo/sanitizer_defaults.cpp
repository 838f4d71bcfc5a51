// Run-time defaults of the program when it is built with AddressSanitizer.
//
// tevo loads the driver and the platform's components with dlopen, and some of them keep
// thread-local data; with the built-in emulator a second thread runs at the same time. The
// sanitizer runtime of the toolchain in use misreads the dynamic TLS of such modules when it
// scans the threads for leaks at exit ("Tracer caught signal 11", "DTLS ... at 0x1a90") and
// aborts the leak check, which fails the run. Not intercepting __tls_get_addr keeps the
// leak check working; it only stops the runtime from scanning dynamic TLS blocks.
#if defined(__SANITIZE_ADDRESS__)
#define TEVO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEVO_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef TEVO_ADDRESS_SANITIZER
extern "C" const char* __asan_default_options() {  // NOLINT(bugprone-reserved-identifier)
    return "intercept_tls_get_addr=0";
}
#endif
