// What a fuzz target does when an invariant breaks: say which, and abort,
// so that libFuzzer keeps the input as a crash.
#ifndef VUZIRIZORURUZA_FUZZCHECKS_H
#define VUZIRIZORURUZA_FUZZCHECKS_H

#include <cstdio>
#include <cstdlib>
#include <dirent.h>

// clang-format 14 would indent this body by the preprocessor's two spaces.
// clang-format off
#define FUZZ_CHECK(condition, what)                                                                  \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", what, __FILE__, __LINE__);        \
            std::abort();                                                                            \
        }                                                                                            \
    } while (0)
// clang-format on

// Entries of /proc/self/fd, the listing's own descriptor included.
inline int openDescriptorCount()
{
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) {
        return -1;
    }
    int count = 0;
    while (readdir(folder) != nullptr) {
        ++count;
    }
    closedir(folder);
    return count;
}

#endif
