// Which sanitizer this build runs under, for the few tests whose subject a sanitizer
// takes over: the allocator's answer to an impossible request, or the moment a signal
// handler runs.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define REVADD_SANITIZED_ALLOCATOR 1
#endif
#if defined(__SANITIZE_THREAD__)
#define REVADD_THREAD_SANITIZER 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define REVADD_SANITIZED_ALLOCATOR 1
#endif
#if __has_feature(thread_sanitizer)
#define REVADD_THREAD_SANITIZER 1
#endif
#endif
