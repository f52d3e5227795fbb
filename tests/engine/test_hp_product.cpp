// FFT products against exact GMP products. A product buffer of transform
// length nfft takes the leading h = nfft/2 + 1 words of each factor (all n
// when n <= nfft/2); the result is that exact product to n words, exact
// when it fits and otherwise rounded: the carry routine estimates the
// positions it drops and rounds them into the last word. hp_mul_long also
// leaves out the product of the two lower parts, and is checked against a
// measured bound.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/hp_product.h"
#include "gmp_reference.h"

namespace {

int32_t taken_words(int32_t n, int32_t nfft) { return nfft / 2 < n ? nfft / 2 + 1 : n; }

struct Buffers {
    explicit Buffers(int32_t nfft)
        : b1(static_cast<size_t>(nfft) + 2), b2(b1.size()), b3(b1.size()) {}
    std::vector<double> b1, b2, b3;
};

// m words of x from word t, with x's sign: what hp_mul_held_part loads.
Exact exact_part(uint32_t R, const HpNumber* x, int32_t t, int32_t m) {
    HpPtr part = hp_make(m);
    std::memcpy(part->words, x->words + t, static_cast<size_t>(m) * sizeof(int16_t));
    part->sign = x->sign;
    part->exponent = x->exponent - t;
    return exact_leading(m, R, part.get());
}

// Operands that reach the interesting paths: zero, opposite signs, equal
// factors, leading products at least R, and all the word shapes of fill.
void make_factor(HpRandom& rnd, int32_t n, uint32_t R, HpNumber* x) {
    rnd.fill(n, R, x, 5);
    if (rnd.chance(4)) hp_set_zero(n, x);
}

// hp_mul, hp_square and the held-spectrum routines for one pair of factors.
bool check_products(HpRandom& rnd, int32_t n, uint32_t R, int32_t nfft, const HpNumber* a,
                    const HpNumber* b, Buffers& B) {
    const int32_t h = taken_words(n, nfft);
    HpPtr out = hp_make(n), alias = hp_make(n), c = hp_make(n);
    const Exact la = exact_leading(h, R, a), lb = exact_leading(h, R, b);
    auto ok = [&](const HpNumber* z, const Exact& want, const char* what) {
        const ::testing::AssertionResult r = rounded_value(n, R, z, want);
        EXPECT_TRUE(r) << what;
        return static_cast<bool>(r);
    };

    const Exact ab = exact_mul(la, lb);
    hp_mul(n, R, a, b, out.get(), nfft, B.b1.data(), B.b2.data());
    if (!ok(out.get(), ab, "hp_mul")) return false;
    hp_copy(n, a, alias.get());
    hp_mul(n, R, alias.get(), b, alias.get(), nfft, B.b1.data(), B.b2.data());
    if (!same_number(n, alias.get(), out.get())) return ok(alias.get(), ab, "hp_mul, out == a");
    hp_copy(n, b, alias.get());
    hp_mul(n, R, a, alias.get(), alias.get(), nfft, B.b1.data(), B.b2.data());
    if (!same_number(n, alias.get(), out.get())) return ok(alias.get(), ab, "hp_mul, out == b");

    // buf1 now holds a's spectrum: multiply it by parts of another number.
    make_factor(rnd, n, R, c.get());
    const int32_t last = hp_first_nonzero(c.get(), 0, n) < 0 ? -1 : [&] {
        int32_t i = n - 1;
        while (c->words[i] == 0) --i;
        return i;
    }();
    for (const int32_t s : {0, 1, h, static_cast<int32_t>(rnd.uniform(0, n)), last + 1, n}) {
        const int32_t t = s >= n ? -1 : hp_first_nonzero(c.get(), s, n);
        const Exact part = t < 0 ? Exact{} : exact_part(R, c.get(), t, taken_words(n - t, nfft));
        hp_mul_transformed(n, R, B.b1.data(), s, c.get(), out.get(), nfft, B.b2.data());
        if (!ok(out.get(), exact_mul(la, part), "hp_mul_transformed")) {
            ADD_FAILURE() << "s=" << s << " t=" << t;
            return false;
        }
    }
    // An explicit part, starting at a non-zero word as the callers choose it.
    int32_t t = hp_first_nonzero(c.get(), static_cast<int32_t>(rnd.uniform(0, n - 1)), n);
    if (t < 0) t = 0;
    const int32_t m = c->sign == 0 ? 0 : static_cast<int32_t>(rnd.uniform(0, taken_words(n - t, nfft)));
    hp_copy(n, c.get(), alias.get());
    hp_mul_held_part(n, R, B.b1.data(), alias.get(), t, m, alias.get(), nfft, B.b2.data());
    const Exact part = m == 0 ? Exact{} : exact_part(R, c.get(), t, m);
    if (!ok(alias.get(), exact_mul(la, part), "hp_mul_held_part, out == b")) {
        ADD_FAILURE() << "t=" << t << " m=" << m;
        return false;
    }
    const Exact aa = exact_mul(la, la);
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
                const int cases = nfft <= 64 ? 30 : 8;
                for (int c = 0; c < cases; ++c) {
                    make_factor(rnd, n, R, a.get());
                    make_factor(rnd, n, R, b.get());
                    if (rnd.chance(10)) hp_copy(n, a.get(), b.get());
                    if (!check_products(rnd, n, R, nfft, a.get(), b.get(), B)) {
                        ADD_FAILURE() << "case " << c;
                        break;
                    }
                }
            }
        }
    }
}

TEST(HpProduct, LeadingWordProductsShiftTheResult) {
    // 5000 * 3 >= R: one word up. 0.5 * 2.00...02 (R = 10): the carry from
    // below lifts the leading position to R, a second shift.
    const int32_t nfft = 8, n = nfft + 2;
    Buffers B(nfft);
    HpPtr a = hp_make(n), b = hp_make(n), out = hp_make(n);
    hp_parse(n, 4, "0.5", a.get());
    hp_parse(n, 4, "-3e4", b.get());
    hp_mul(n, 10000, a.get(), b.get(), out.get(), nfft, B.b1.data(), B.b2.data());
    EXPECT_EQ(out->sign, -1);
    EXPECT_EQ(out->exponent, 1);
    EXPECT_EQ(out->words[0], 1);
    EXPECT_EQ(out->words[1], 5000);
    hp_parse(n, 1, "9.9", a.get());
    hp_parse(n, 1, "1.02", b.get());
    hp_mul(n, 10, a.get(), b.get(), out.get(), nfft, B.b1.data(), B.b2.data());
    EXPECT_EQ(out->exponent, 1);
    EXPECT_EQ(std::vector<int>(out->words, out->words + 5), (std::vector<int>{1, 0, 0, 9, 8}));
}

// The largest deviation of hp_mul_long from the exact product, in units of
// the last word, over random factors; exactness when the lower parts vanish.
void check_mul_long(HpRandom& rnd, int32_t n, uint32_t R, int32_t nfft, int cases, mpz_class* worst) {
    const int32_t h = nfft / 2 + 1;
    Buffers B(nfft);
    HpPtr a = hp_make(n), b = hp_make(n), out = hp_make(n), tmp = hp_make(n);
    for (int c = 0; c < cases; ++c) {
        make_factor(rnd, n, R, a.get());
        make_factor(rnd, n, R, b.get());
        const bool short_factors = rnd.chance(25);
        if (short_factors) {
            for (int32_t i = h; i < n; ++i) a->words[i] = b->words[i] = 0;
        }
        const Exact exact = exact_mul(exact_of(n, R, a.get()), exact_of(n, R, b.get()));
        hp_mul_long(n, R, a.get(), b.get(), out.get(), tmp.get(), nfft, B.b1.data(), B.b2.data(), B.b3.data());
        if (short_factors) {
            ASSERT_TRUE(rounded_value(n, R, out.get(), exact)) << "factors of h words, case " << c;
        } else {
            const mpz_class d = abs(ulps_from(n, R, out.get(), exact));
            if (d > *worst) *worst = d;
            ASSERT_LE(d, R + 1) << "case " << c;
        }
        // out == a gives the same words.
        hp_mul_long(n, R, a.get(), b.get(), a.get(), tmp.get(), nfft, B.b1.data(), B.b2.data(), B.b3.data());
        ASSERT_TRUE(same_number(n, a.get(), out.get())) << "out == a, case " << c;
    }
}

TEST(HpProduct, MulLongWithinAboutRUnitsOfTheExactProduct) {
    HpRandom rnd("HpProduct.MulLong");
    for (const uint32_t R : kRadices) {
        mpz_class worst = 0;
        for (const int32_t nfft : {4, 8, 16, 64, 256, 2048}) {
            for (const int32_t n : {nfft / 2 + 2, nfft + 2}) {
                SCOPED_TRACE(::testing::Message() << "R=" << R << " nfft=" << nfft << " n=" << n);
                check_mul_long(rnd, n, R, nfft, nfft <= 64 ? 40 : 6, &worst);
            }
        }
        std::printf("[ measured ] R=%u: hp_mul_long deviates by at most %s units of the last word\n", R,
                    worst.get_str().c_str());
    }
}

TEST(HpProduct, RunLength) {
    HpRandom rnd("HpProduct.RunLength");
    const int32_t nfft = kRunTransform, n = kRunWords, h = nfft / 2 + 1;
    Buffers B(nfft);
    HpPtr a = hp_make(n), b = hp_make(n), out = hp_make(n), tmp = hp_make(n);
    for (const uint32_t R : kRadices) {
        SCOPED_TRACE(::testing::Message() << "R=" << R);
        rnd.fill(n, R, a.get());
        rnd.fill(n, R, b.get());
        a->words[0] = static_cast<int16_t>(R - 1);  // leading product >= R
        const Exact la = exact_leading(h, R, a.get()), lb = exact_leading(h, R, b.get());
        hp_mul(n, R, a.get(), b.get(), out.get(), nfft, B.b1.data(), B.b2.data());
        EXPECT_TRUE(rounded_value(n, R, out.get(), exact_mul(la, lb))) << "hp_mul";
        if (R != 10000) continue;  // the run's radix gets every routine

        hp_mul_transformed(n, R, B.b1.data(), h + 1, b.get(), out.get(), nfft, B.b2.data());
        const int32_t t = hp_first_nonzero(b.get(), h + 1, n);
        EXPECT_TRUE(rounded_value(n, R, out.get(), exact_mul(la, exact_part(R, b.get(), t, n - t))))
            << "hp_mul_transformed from word h + 1";
        hp_square_held(n, R, B.b1.data(), out.get(), nfft);
        EXPECT_TRUE(rounded_value(n, R, out.get(), exact_mul(la, la))) << "hp_square_held";

        // Uniform words: the lower parts' product, which hp_mul_long leaves
        // out, at its typical size.
        for (int32_t i = 0; i < n; ++i) {
            a->words[i] = static_cast<int16_t>(rnd.uniform(0, R - 1));
            b->words[i] = static_cast<int16_t>(rnd.uniform(0, R - 1));
        }
        // Leading words whose product stays below R keep the finest grid.
        a->words[0] = static_cast<int16_t>(rnd.uniform(1, 9));
        b->words[0] = static_cast<int16_t>(rnd.uniform(1, 9));
        const Exact exact = exact_mul(exact_of(n, R, a.get()), exact_of(n, R, b.get()));
        hp_mul_long(n, R, a.get(), b.get(), out.get(), tmp.get(), nfft, B.b1.data(), B.b2.data(), B.b3.data());
        const mpz_class d = ulps_from(n, R, out.get(), exact);
        std::printf("[ measured ] full length, R=%u: hp_mul_long is %s units of the last word off\n", R,
                    d.get_str().c_str());
        EXPECT_LE(abs(d), R + 1) << "hp_mul_long";
    }
}

}  // namespace
