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
