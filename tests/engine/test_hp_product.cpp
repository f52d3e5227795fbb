// FFT products against exact GMP products. A product buffer of transform
// length nfft takes the leading h = nfft/2 + 1 words of each factor (all n
// when n <= nfft/2); the result is that exact product to n words, rounded
// (not truncated) when it is longer. hp_mul_long also leaves out the product
// of the two lower parts and must stay within about R units of the last word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/hp_product.h"
#include "engine/pointwise_pairs.h"
#include "gmp_reference.h"

namespace {

int32_t taken_words(int32_t n, int32_t nfft) { return std::min(n, nfft / 2 + 1); }

struct Buffers {
    explicit Buffers(int32_t nfft) : b1(static_cast<size_t>(nfft) + 2), b2(b1.size()), b3(b1.size()) {}
    std::vector<double> b1, b2, b3;
};

// m words of x from word t, with x's sign: what hp_mul_held_part loads.
Exact exact_part(uint32_t R, const HpNumber* x, int32_t t, int32_t m) {
    const Exact top = exact_of(t, R, x);
    return exact_add(R, exact_of(t + m, R, x), Exact{-top.m, top.e});
}

// hp_mul (and with out aliasing either factor), hp_mul_transformed and
// hp_mul_held_part on a's held spectrum, hp_square, hp_square_hold and
// hp_square_held, for one pair of factors.
bool check_products(HpRandom& rnd, int32_t n, uint32_t R, int32_t nfft, const HpNumber* a, const HpNumber* b,
                    Buffers& B) {
    const int32_t h = taken_words(n, nfft);
    HpPtr out = hp_make(n), alias = hp_make(n), c = hp_make(n);
    const Exact la = exact_of(h, R, a), lb = exact_of(h, R, b), ab = exact_mul(la, lb), aa = exact_mul(la, la);
    auto ok = [&](const HpNumber* z, const Exact& want, const char* what) {
        const ::testing::AssertionResult r = rounded_value(n, R, z, want);
        EXPECT_TRUE(r) << what;
        return static_cast<bool>(r);
    };
    hp_mul(n, R, a, b, out.get(), nfft, B.b1.data(), B.b2.data());
    if (!ok(out.get(), ab, "hp_mul")) return false;
    for (const HpNumber* x : {a, b}) {
        hp_copy(n, x, alias.get());
        hp_mul(n, R, x == a ? alias.get() : a, x == b ? alias.get() : b, alias.get(), nfft, B.b1.data(), B.b2.data());
        if (!same_number(n, alias.get(), out.get())) return ok(alias.get(), ab, "hp_mul, out aliasing a factor");
    }

    // buf1 now holds a's spectrum: multiply it by parts of another number.
    rnd.fill(n, R, c.get(), 5);
    if (rnd.chance(4)) hp_set_zero(n, c.get());
    int32_t last = n - 1;
    while (last >= 0 && c->words[last] == 0) --last;
    for (const int32_t s : {0, 1, h, static_cast<int32_t>(rnd.uniform(0, n)), last + 1, n}) {
        const int32_t t = s >= n ? -1 : hp_first_nonzero(c.get(), s, n);
        const Exact part = t < 0 ? Exact{} : exact_part(R, c.get(), t, taken_words(n - t, nfft));
        hp_mul_transformed(n, R, B.b1.data(), s, c.get(), out.get(), nfft, B.b2.data());
        if (!ok(out.get(), exact_mul(la, part), "hp_mul_transformed")) return false;
    }
    // A part chosen by the caller, starting at a non-zero word; out == b.
    const int32_t t = std::max(0, hp_first_nonzero(c.get(), static_cast<int32_t>(rnd.uniform(0, n - 1)), n));
    const int32_t m = c->sign == 0 ? 0 : static_cast<int32_t>(rnd.uniform(0, taken_words(n - t, nfft)));
    const Exact part = m == 0 ? Exact{} : exact_part(R, c.get(), t, m);
    hp_mul_held_part(n, R, B.b1.data(), c.get(), t, m, c.get(), nfft, B.b2.data());
    if (!ok(c.get(), exact_mul(la, part), "hp_mul_held_part, out == b")) return false;
    hp_square_held(n, R, B.b1.data(), out.get(), nfft);
    if (!ok(out.get(), aa, "hp_square_held after hp_mul")) return false;

    hp_square(n, R, a, out.get(), nfft, B.b1.data());
    if (!ok(out.get(), aa, "hp_square")) return false;
    hp_copy(n, a, alias.get());
    hp_square_hold(n, R, alias.get(), alias.get(), nfft, B.b1.data(), B.b2.data());
    if (!ok(alias.get(), aa, "hp_square_hold, out == a")) return false;
    hp_mul_transformed(n, R, B.b1.data(), 0, b, out.get(), nfft, B.b2.data());
    if (!ok(out.get(), ab, "hp_mul_transformed after hp_square_hold")) return false;
    hp_square_held(n, R, B.b1.data(), out.get(), nfft);
    return ok(out.get(), aa, "hp_square_held after hp_square_hold");
}

TEST(HpProduct, AllRoutinesMatchGmpOnLeadingWords) {
    HpRandom rnd("HpProduct");
    for (const uint32_t R : kRadices) {
        for (const int32_t nfft : {2, 4, 8, 16, 64, 256, 2048}) {
            const int32_t h = nfft / 2 + 1;
            for (const int32_t n : {1, 2, 3, h - 1, h, h + 1, nfft + 2, nfft + 5}) {
                if (n < 1) continue;
                SCOPED_TRACE(::testing::Message() << "R=" << R << " nfft=" << nfft << " n=" << n);
                Buffers B(nfft);
                HpPtr a = hp_make(n), b = hp_make(n);
                for (int c = 0, cases = nfft <= 64 ? 30 : 8; c < cases; ++c) {
                    for (HpNumber* x : {a.get(), b.get()}) {
                        rnd.fill(n, R, x, 5);
                        if (rnd.chance(4)) hp_set_zero(n, x);
                    }
                    if (rnd.chance(10)) hp_copy(n, a.get(), b.get());
                    ASSERT_TRUE(check_products(rnd, n, R, nfft, a.get(), b.get(), B)) << "case " << c;
                }
            }
        }
    }
    // 9.9 * 1.02 (R = 10): the carry from below lifts the leading position
    // to R, a second shift of the result.
    const int32_t nfft = 8, n = nfft + 2;
    Buffers B(nfft);
    HpPtr a = hp_make(n), b = hp_make(n), out = hp_make(n);
    hp_parse(n, 1, "9.9", a.get());
    hp_parse(n, 1, "1.02", b.get());
    hp_mul(n, 10, a.get(), b.get(), out.get(), nfft, B.b1.data(), B.b2.data());
    EXPECT_TRUE(same_value(n, 10, out.get(), Exact{10098, -3}));
}

TEST(HpProduct, MulLongWithinAboutRUnitsOfTheExactProduct) {
    HpRandom rnd("HpProduct.MulLong");
    for (const uint32_t R : kRadices) {
        double worst = 0;
        for (const int32_t nfft : {4, 8, 16, 64, 256, 2048, kRunTransform}) {
            const int32_t h = nfft / 2 + 1;
            for (const int32_t n : {h + 1, nfft + 2}) {
                if (nfft == kRunTransform && (n != kRunWords || R != 10000)) continue;
                SCOPED_TRACE(::testing::Message() << "R=" << R << " nfft=" << nfft << " n=" << n);
                Buffers B(nfft);
                HpPtr a = hp_make(n), b = hp_make(n), out = hp_make(n), tmp = hp_make(n);
                for (int c = 0, cases = nfft <= 64 ? 40 : nfft < kRunTransform ? 6 : 1; c < cases; ++c) {
                    for (HpNumber* x : {a.get(), b.get()}) {
                        rnd.fill(n, R, x, 5);
                        if (rnd.chance(4) && n < kRunWords) hp_set_zero(n, x);
                    }
                    if (n == kRunWords) {  // the lower parts' product at its typical size
                        for (int32_t i = 0; i < n; ++i) {
                            a->words[i] = static_cast<int16_t>(rnd.uniform(0, R - 1));
                            b->words[i] = static_cast<int16_t>(rnd.uniform(0, R - 1));
                        }
                        a->words[0] = static_cast<int16_t>(rnd.uniform(1, 9));  // leading product below R
                        b->words[0] = static_cast<int16_t>(rnd.uniform(1, 9));
                    }
                    // Factors of h words leave no lower parts: the product rounds.
                    const bool short_factors = n < kRunWords && rnd.chance(25);
                    for (int32_t i = h; short_factors && i < n; ++i) a->words[i] = b->words[i] = 0;
                    hp_mul_long(n, R, a.get(), b.get(), out.get(), tmp.get(), nfft, B.b1.data(), B.b2.data(),
                                B.b3.data());
                    const Exact exact = exact_mul(exact_of(n, R, a.get()), exact_of(n, R, b.get()));
                    if (short_factors) {
                        ASSERT_TRUE(rounded_value(n, R, out.get(), exact)) << "factors of h words, case " << c;
                    } else {
                        const double units = std::pow(static_cast<double>(R), log_units_off(n, R, out.get(), exact));
                        worst = std::max(worst, units);
                        ASSERT_LE(units, R + 1.0) << "case " << c;
                    }
                    hp_mul_long(n, R, a.get(), b.get(), a.get(), tmp.get(), nfft, B.b1.data(), B.b2.data(), B.b3.data());
                    ASSERT_TRUE(same_number(n, a.get(), out.get())) << "out == a, case " << c;
                }
            }
        }
        std::printf("[ measured ] R=%u: hp_mul_long deviates by at most %.0f units of the last word\n", R, worst);
    }
}

// Six cases of the carry of hp_from_convolution over positions 1 .. K of a
// transform of nfft doubles (K <= nfft + 1, the positions after K zero),
// against GMP. Position 0 is the product of leading words 1, nothing wraps,
// and nothing lies below the last word: the number is sum c_i R^(1 - i) over
// i = 1 .. K, c_1 = 1. The values of a product's first positions are small,
// so that it stays below R^2: large ones, up to `largest` in magnitude with
// a run of 40 at it, start at position 6, whose carries reach no higher
// than position 2.
void expect_carry_exact(HpRandom& rnd, int32_t nfft, int32_t K, int64_t largest) {
    constexpr uint32_t R = 10000;
    const int32_t n = K == nfft + 1 ? K + 2 : K;
    for (int c = 0; c < 6; ++c) {
        std::vector<double> buf(static_cast<size_t>(nfft) + 2, 0.0);
        std::vector<int64_t> values(static_cast<size_t>(nfft) + 2, 0);
        values[1] = 1;
        const int32_t stretch = static_cast<int32_t>(rnd.uniform(6, K));
        for (int32_t i = 2; i < 6; ++i) values[i] = rnd.uniform(0, R - 1);
        for (int32_t i = 6; i <= std::min(K, nfft); ++i) {
            const bool at_most = i >= stretch && i < stretch + 40;
            const int64_t m = at_most ? largest : rnd.uniform(0, largest);
            values[i] = rnd.chance(50) ? m : -m;
        }
        mpz_class sum = 0;
        for (int32_t i = 1; i <= K; ++i) sum = sum * R + static_cast<long>(values[i]);
        const double half = nfft / 2;
        buf[nfft + 1] = 1.0;
        for (int32_t i = 1; i <= nfft; ++i) buf[i] = static_cast<double>(values[i]) * half;
        HpPtr out = hp_make(n);
        hp_from_convolution(n, R, nfft, buf.data(), out.get());
        ASSERT_TRUE(rounded_value(n, R, out.get(), Exact{sum, 1 - K})) << "case " << c;
    }
}

// The carry of hp_from_convolution over integer convolution values from
// small to just below 2^53 in magnitude, with long runs of the largest:
// below 2^50 the vector pass takes them, above it the serial chain. Either
// way the words are those of the exact sum. K = nfft + 1 takes every
// position; K = nfft - 8 ends the vector pass on large values some positions
// after 6, whose carries then leave it.
TEST(HpProduct, ConvolutionCarryIsExactUpToTheLargestValues) {
    HpRandom rnd("ConvolutionCarry");
    const int64_t limit = int64_t{1} << 50;
    for (const int32_t nfft : {64, 256, 4096}) {
        for (const int32_t K : {nfft + 1, nfft - 8}) {
            for (const int64_t largest : {limit / 1024, limit - 1, limit, limit + 1, 4 * limit, 8 * limit - 1}) {
                SCOPED_TRACE(::testing::Message() << "nfft=" << nfft << " K=" << K << " largest=" << largest);
                expect_carry_exact(rnd, nfft, K, largest);
                if (HasFatalFailure()) return;
            }
        }
    }
}

// The run's length: hp_mul in every radix, the held-spectrum paths in the
// run's radix.
TEST(HpProduct, RunLength) {
    HpRandom rnd("HpProduct.RunLength");
    const int32_t nfft = kRunTransform, n = kRunWords, h = nfft / 2 + 1;
    Buffers B(nfft);
    HpPtr a = hp_make(n), b = hp_make(n), out = hp_make(n);
    for (const uint32_t R : kRadices) {
        SCOPED_TRACE(::testing::Message() << "R=" << R);
        rnd.fill(n, R, a.get());
        rnd.fill(n, R, b.get());
        a->words[0] = static_cast<int16_t>(R - 1);  // leading product >= R
        const Exact la = exact_of(h, R, a.get()), lb = exact_of(h, R, b.get());
        hp_mul(n, R, a.get(), b.get(), out.get(), nfft, B.b1.data(), B.b2.data());
        EXPECT_TRUE(rounded_value(n, R, out.get(), exact_mul(la, lb))) << "hp_mul";
        if (R != 10000) continue;
        hp_mul_transformed(n, R, B.b1.data(), h + 1, b.get(), out.get(), nfft, B.b2.data());
        const int32_t t = hp_first_nonzero(b.get(), h + 1, n);
        EXPECT_TRUE(rounded_value(n, R, out.get(), exact_mul(la, exact_part(R, b.get(), t, n - t))))
            << "hp_mul_transformed from word h + 1";
        hp_square_held(n, R, B.b1.data(), out.get(), nfft);
        EXPECT_TRUE(rounded_value(n, R, out.get(), exact_mul(la, la))) << "hp_square_held";
    }
}

// The spectrum kernels walk the pairs G blocks at a time, the blocks'
// recurrences side by side in the lanes of vectors, and with Ahead build the
// next blocks' twiddles while visiting these; each pair must still be
// visited once, with the twiddle of the plain walk to the last bit, in the
// lane that spectrum_offset gives it.
template <int G, bool Ahead>
void expect_grouped_walk_matches(int32_t n) {
    SCOPED_TRACE(::testing::Message() << "n=" << n << " G=" << G << " ahead=" << Ahead);
    const int32_t pairs = n / 4;
    std::vector<double> want_re(static_cast<size_t>(pairs)), want_im(static_cast<size_t>(pairs));
    fft_for_each_split_pair(n, [&](int32_t p, int32_t, double wr, double wi) {
        want_re[static_cast<size_t>(p)] = wr;
        want_im[static_cast<size_t>(p)] = wi;
    });
    std::vector<int> seen(static_cast<size_t>(pairs), 0);
    int32_t wrong = 0;
    auto check = [&](int32_t p, int32_t q, double wr, double wi) {
        if (p < 1 || p >= pairs || q != n / 2 - p) {
            ++wrong;
            return;
        }
        ++seen[static_cast<size_t>(p)];
        if (std::memcmp(&wr, &want_re[static_cast<size_t>(p)], sizeof wr) != 0 ||
            std::memcmp(&wi, &want_im[static_cast<size_t>(p)], sizeof wi) != 0) {
            ++wrong;
        }
    };
    spectrum_for_each_pair_grouped<G, Ahead>(n, [&](int32_t p, int32_t q, auto wr, auto wi) {
        if constexpr (sizeof(wr) == sizeof(double)) {
            check(p, q, wr, wi);
        } else {
            for (int l = 0; l < G; ++l) {
                const int32_t o = spectrum_offset<G>(l);
                check(p - o, q + o, wr[l], wi[l]);
            }
        }
    });
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), pairs - 1) << "every pair once";
}

TEST(HpProduct, GroupedPairWalkGivesThePlainWalksTwiddles) {
    // Walks of 4, 8 and 16 blocks, the shortest taken in blocks for G = 2,
    // 4 and 8 (shorter ones go pair by pair), a longer one, the run's.
    for (const int32_t n : {1 << 11, 1 << 12, 1 << 13, 1 << 16, kRunTransform}) {
        expect_grouped_walk_matches<2, false>(n);
        expect_grouped_walk_matches<4, false>(n);
        expect_grouped_walk_matches<8, false>(n);
        expect_grouped_walk_matches<2, true>(n);
        expect_grouped_walk_matches<4, true>(n);
        expect_grouped_walk_matches<8, true>(n);
    }
}

}  // namespace
