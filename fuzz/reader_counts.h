// Counts of a reader fuzzer, printed when the fuzzer ends as
// "simblocks-fuzz <name>: N inputs, R read, F refused" (ci-fuzz.sh shows it).
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

struct ReaderCounts {
    const char *name;
    unsigned long long read = 0, refused = 0;

    explicit ReaderCounts(const char *n) : name(n) { std::atexit(&ReaderCounts::print); }
    static ReaderCounts *&current()
    {
        static ReaderCounts *c = nullptr;
        return c;
    }
    static void print()
    {
        ReaderCounts *c = current();
        if (c != nullptr)
            std::fprintf(stderr, "simblocks-fuzz %s: %llu inputs, %llu read, %llu refused\n", c->name,
                         c->read + c->refused, c->read, c->refused);
    }
};

// The counts of this fuzzer, made on first use.
inline ReaderCounts &readerCounts(const char *name)
{
    static ReaderCounts counts(name);
    ReaderCounts::current() = &counts;
    return counts;
}

}  // namespace fuzz
