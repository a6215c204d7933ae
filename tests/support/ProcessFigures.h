// What the kernel says about this process: open descriptors, threads,
// resident memory and processor time, read from /proc/self and the process
// clock. Shared by the suites that check nothing leaks and nothing spins.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <thread>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KESTRIN_FIGURES_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRIN_FIGURES_ASAN 1
#endif
#endif
#ifdef KESTRIN_FIGURES_ASAN
// From the sanitizer runtime's allocator interface; GCC installs the
// runtime without that header.
extern "C" void __sanitizer_purge_allocator();
#endif

namespace figures {

// Entries of a /proc folder, without "." and "..".
inline std::size_t CountEntries(const char* folder)
{
    DIR* dir = ::opendir(folder);
    if (dir == nullptr)
        return 0;
    std::size_t n = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            ++n;
    ::closedir(dir);
    // The listing's own descriptor is gone again by now.
    return n;
}

inline std::size_t OpenDescriptorCount()
{
    // opendir holds one descriptor of its own while it lists the folder.
    const std::size_t n = CountEntries("/proc/self/fd");
    return n > 0 ? n - 1 : 0;
}

inline std::size_t ThreadCount()
{
    // ThreadSanitizer starts a helper thread of its own at the first
    // thread the process creates; one thread made and joined up front keeps
    // that helper out of the difference a test measures.
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    return CountEntries("/proc/self/task");
}

// The thread count once it is back to `expected`, or whatever it is when
// `limit` has passed. A joined thread may still be listed for a moment:
// the kernel wakes the joiner before it has finished taking the task away.
inline std::size_t SettledThreadCount(std::size_t expected,
                                      std::chrono::milliseconds limit = std::chrono::milliseconds(2000))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t n = ThreadCount();
    while (n != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
        n = ThreadCount();
    }
    return n;
}

// Resident set in bytes, from the second field of /proc/self/statm.
inline std::size_t ResidentBytes()
{
#ifdef KESTRIN_FIGURES_ASAN
    // AddressSanitizer keeps freed blocks in a quarantine of up to 256 MB
    // before reusing them, by design; drained first, so that memory freed
    // again does not count as growth.
    __sanitizer_purge_allocator();
#endif
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr)
        return 0;
    unsigned long size = 0, resident = 0;
    const int got = std::fscanf(statm, "%lu %lu", &size, &resident);
    std::fclose(statm);
    return got == 2 ? resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

// Processor time used by all threads of the process so far.
inline std::chrono::microseconds ProcessCpuTime()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::microseconds(ts.tv_nsec / 1000);
}

} // namespace figures
