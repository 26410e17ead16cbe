// Instruction counts of a bench's measured parts, which a loaded machine does not blur as it blurs the
// clock. Under "valgrind --tool=callgrind --instr-atstart=no" only the code between RegionBegin and
// RegionEnd is counted, each region in a dump of its own named after it (scripts/bench-instructions
// runs a bench so and prints the totals and their ratios). Outside valgrind both do nothing.
#pragma once

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define KMR_HAVE_CALLGRIND 1
#endif

namespace bench {

inline bool UnderValgrind() {
#ifdef KMR_HAVE_CALLGRIND
    return RUNNING_ON_VALGRIND != 0;
#else
    return false;
#endif
}

inline void RegionBegin() {
#ifdef KMR_HAVE_CALLGRIND
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
#endif
}

// name: a word without blanks, the same for every run of one side.
inline void RegionEnd([[maybe_unused]] const char* name) {
#ifdef KMR_HAVE_CALLGRIND
    CALLGRIND_DUMP_STATS_AT(name);
    CALLGRIND_STOP_INSTRUMENTATION;
#endif
}

// Rounds to run: one under valgrind, where each is slow and counts do not vary.
inline int Rounds(int rounds) {
    return UnderValgrind() ? 1 : rounds;
}

} // namespace bench
