#pragma once

// Tells ThreadSanitizer about an ordering between threads that it cannot see
// by itself: Qt's mutexes, semaphores and thread ends are futex-based inside
// a library not built with the sanitizer. In other builds these do nothing.

#if defined(__SANITIZE_THREAD__)
#define KQ_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KQ_THREAD_SANITIZER 1
#endif
#endif

#ifdef KQ_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace kq::detail {

// What the thread did before order_release(key) is seen by a thread after
// its order_acquire(key) that follows it in real time.
inline void order_release(const void* key)
{
#ifdef KQ_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(key));
#else
    (void)key;
#endif
}

inline void order_acquire(const void* key)
{
#ifdef KQ_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(key));
#else
    (void)key;
#endif
}

} // namespace kq::detail
