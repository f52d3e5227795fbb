// A regression guard on the transform's exact output bits. The golden
// checksums below were recorded from the transform as it stood before the
// passes over memory were reorganised; they say nothing about correctness
// (the other tests do), only that every value is still computed by the same
// operations in the same order. A deliberate change of the arithmetic must
// re-record them (the failure message prints the new values).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fft/fft.h"
#include "fft/fft_dispatch.h"
#include "fft/fft_fused.h"

namespace {

uint64_t splitmix(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// Two inputs per length: uniform doubles in [-1, 1), and the shape of a
// loaded factor (integer digits in [-5000, 5000) in the first half, zeros
// after it).
std::vector<double> input(int32_t n, bool digits) {
    uint64_t state = static_cast<uint64_t>(n) * 2 + (digits ? 1 : 0);
    std::vector<double> v(static_cast<size_t>(n), 0.0);
    for (int32_t j = 0; j < n; ++j) {
        const uint64_t r = splitmix(state);
        if (digits) {
            if (j < n / 2) v[static_cast<size_t>(j)] = static_cast<double>(static_cast<int64_t>(r % 10000) - 5000);
        } else {
            v[static_cast<size_t>(j)] = static_cast<double>(r >> 11) * 0x1p-52 - 1.0;
        }
    }
    return v;
}

uint64_t fold(uint64_t h, const std::vector<double>& v) {
    for (double x : v) {
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        h = (h ^ bits) * 0x100000001b3u;
        h ^= h >> 29;
    }
    return h;
}

struct Golden {
    const char* arch;
    const char* isa;
    uint64_t forward;
    uint64_t backward;
};

#if defined(__x86_64__)
constexpr const char* arch = "x86_64";
#elif defined(__aarch64__)
constexpr const char* arch = "aarch64";
#else
constexpr const char* arch = "other";
#endif

// Recorded from today's code (see the top of the file).
constexpr Golden golden[] = {
    {"x86_64", "baseline", 0xda59bdb54864e83au, 0x00bd5b2772937ba6u},
    {"x86_64", "x86-64-v3", 0xd454650dc659876au, 0xdd1ff52967a2c261u},
    {"x86_64", "x86-64-v4", 0xd454650dc659876au, 0xdd1ff52967a2c261u},
};

TEST(FftChecksum, OutputBitsUnchangedOnThisInstructionSet) {
    uint64_t sums[2] = {0xcbf29ce484222325u, 0xcbf29ce484222325u};
    std::string per_length;
    for (int bits = 6; bits <= 21; ++bits) {
        const int32_t n = int32_t{1} << bits;
        for (int d = 0; d < 2; ++d) {
            uint64_t h = 0xcbf29ce484222325u;
            for (bool digits : {false, true}) {
                std::vector<double> v = input(n, digits);
                fft_complex(n, d == 0 ? 1 : -1, v.data());
                h = fold(h, v);
            }
            sums[d] = (sums[d] ^ h) * 0x100000001b3u;
            char line[80];
            std::snprintf(line, sizeof line, "  2^%d %s %016llx\n", bits, d == 0 ? "forward " : "backward",
                          static_cast<unsigned long long>(h));
            per_length += line;
        }
    }
    const char* isa = fft_active_isa_name();
    std::printf("%s %s: forward 0x%016llxu, backward 0x%016llxu\n", arch, isa,
                static_cast<unsigned long long>(sums[0]), static_cast<unsigned long long>(sums[1]));
    for (const Golden& g : golden) {
        if (std::strcmp(g.arch, arch) != 0 || std::strcmp(g.isa, isa) != 0) continue;
        EXPECT_EQ(sums[0], g.forward) << "per length:\n" << per_length;
        EXPECT_EQ(sums[1], g.backward) << "per length:\n" << per_length;
        return;
    }
    GTEST_SKIP() << "no checksum recorded for " << arch << " " << isa;
}

// The forward entry for loaded factors must leave exactly the bits of the
// plain transform of the same array with its tail zeroed, although it never
// reads that tail: it is filled with NaNs here, which would spread into every
// output if any of them were read. Lengths 2^6..2^21 take every path of the
// entry: the first stage that skips the upper half, with and without a value
// at n/2, the zeroing of a short lower half, and the plain path for a factor
// longer than half the array.
TEST(FftChecksum, ForwardEntryForLoadedFactorsGivesThePlainTransformsBits) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int bits = 6; bits <= 21; ++bits) {
        const int32_t n = int32_t{1} << bits;
        std::vector<double> digits = input(n, true);
        digits[static_cast<size_t>(n / 2)] = 1234.0;
        for (int32_t used : {n / 2 + 1, n / 2, n / 2 - 37, 3 * (n / 4) + 5}) {
            std::vector<double> expected(static_cast<size_t>(n), 0.0);
            std::vector<double> got(static_cast<size_t>(n), nan);
            for (int32_t j = 0; j < used; ++j) {
                const double x = j < n / 2 + 1 ? digits[static_cast<size_t>(j)] : 17.0 - j % 5;
                expected[static_cast<size_t>(j)] = x;
                got[static_cast<size_t>(j)] = x;
            }
            fft_complex(n, 1, expected.data());
            fft_forward_zero_tail(n, used, got.data());
            ASSERT_EQ(std::memcmp(expected.data(), got.data(), static_cast<size_t>(n) * sizeof(double)), 0)
                << "n=" << n << " used=" << used;
        }
    }
}

}  // namespace
