// KORVANI_UNDER_ASAN is defined when the tests are built with AddressSanitizer, whose shadow
// memory and quarantine change what address-space limits and resident-memory figures mean.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define KORVANI_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVANI_UNDER_ASAN 1
#endif
#endif

// KORVANI_UNDER_TSAN is defined in the ThreadSanitizer build, where a forked child of a threaded
// test process is not a place its run-time supports.
#if defined(__SANITIZE_THREAD__)
#define KORVANI_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KORVANI_UNDER_TSAN 1
#endif
#endif
