// Word arithmetic of HpNumber against exact GMP values. Each operation's
// expected result is the exact value of the operation on the operands,
// truncated toward zero to n words (rounded half up for hp_round).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/hp_number.h"
#include "gmp_reference.h"

namespace {

// x + y (or x - y) as the engine defines it: the operand with the smaller
// exponent loses the words that fall below the larger exponent's n-word
// grid, then the exact sum is truncated to n words (by the caller).
Exact expected_sum(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y, Exact a, Exact b,
                   bool subtract) {
    if (subtract) b.m = -b.m;
    if (x->sign != 0 && y->sign != 0) {
        const int64_t top = x->exponent > y->exponent ? x->exponent : y->exponent;
        a = exact_to_grid(R, a, top - n + 1);
        b = exact_to_grid(R, b, top - n + 1);
    }
    return exact_add(R, a, b);
}

// z = x +/- y against GMP, then with z == x and z == y against that result.
void check_add_sub(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y) {
    HpPtr z = hp_make(n), alias = hp_make(n);
    const Exact a = exact_of(n, R, x), b = exact_of(n, R, y);
    for (const bool subtract : {false, true}) {
        auto op = subtract ? hp_sub : hp_add;
        const char* name = subtract ? "sub" : "add";
        op(n, R, x, y, z.get());
        ASSERT_TRUE(same_value(n, R, z.get(), expected_sum(n, R, x, y, a, b, subtract))) << name;
        hp_copy(n, x, alias.get());
        op(n, R, alias.get(), y, alias.get());
        ASSERT_TRUE(same_number(n, alias.get(), z.get())) << name << ", z == x";
        hp_copy(n, y, alias.get());
        op(n, R, x, alias.get(), alias.get());
        ASSERT_TRUE(same_number(n, alias.get(), z.get())) << name << ", z == y";
    }
}

// y from x so that the interesting cases come often: equal or opposite
// values, shared leading words, shifts around n, a zero operand, one unit in
// the last place added to a run of R - 1.
void make_partner(HpRandom& rnd, int32_t n, uint32_t R, const HpNumber* x, HpNumber* y) {
    rnd.fill(n, R, y);
    switch (rnd.uniform(0, 6)) {
        case 0:  // independent, exponent close to x's
            y->exponent = x->exponent + static_cast<int32_t>(rnd.uniform(-2, 2));
            break;
        case 1:  // same magnitude: x + (-x), x - x
            hp_copy(n, x, y);
            if (rnd.chance(50)) y->sign = -y->sign;
            break;
        case 2: {  // leading words agree
            const int32_t k = static_cast<int32_t>(rnd.uniform(1, n));
            std::memcpy(y->words, x->words, static_cast<size_t>(k) * sizeof(int16_t));
            y->exponent = x->exponent;
            if (k < n && rnd.chance(50)) y->words[k] = static_cast<int16_t>((x->words[k] + 1) % R);
            break;
        }
        case 3: {  // shifts 1, n - 1, n, n + 3 either way
            const int32_t shifts[] = {1, n - 1, n, n + 3};
            const int32_t d = shifts[rnd.uniform(0, 3)];
            y->exponent = x->exponent + (rnd.chance(50) ? d : -d);
            break;
        }
        case 4:  // zero
            hp_set_zero(n, y);
            break;
        case 5:  // one unit in the last place of x
            hp_set_zero(n, y);
            y->words[0] = 1;
            y->sign = rnd.chance(50) ? 1 : -1;
            y->exponent = x->exponent - n + 1;
            break;
        default:  // same exponent, first words sum to R or more
            y->exponent = x->exponent;
            y->words[0] = static_cast<int16_t>(R - x->words[0] + rnd.uniform(0, x->words[0] - 1));
            break;
    }
}

TEST(HpNumberAddSub, MatchGmpForAllRadicesAndLengths) {
    HpRandom rnd("HpNumberAddSub");
    for (const uint32_t R : kRadices) {
        for (const int32_t n : {1, 2, 3, 4, 5, 8, 1000}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " n=" << n);
            HpPtr x = hp_make(n), y = hp_make(n), z = hp_make(n);
            const int cases = n < 100 ? 300 : 40;
            for (int c = 0; c < cases; ++c) {
                rnd.fill(n, R, x.get());
                make_partner(rnd, n, R, x.get(), y.get());
                if (rnd.chance(5)) hp_set_zero(n, x.get());
                ASSERT_NO_FATAL_FAILURE(check_add_sub(n, R, x.get(), y.get())) << "case " << c;
            }
            // x == y == z: doubling and self-cancellation in place.
            rnd.fill(n, R, x.get());
            const Exact a = exact_of(n, R, x.get());
            for (const bool subtract : {false, true}) {
                hp_copy(n, x.get(), z.get());
                (subtract ? hp_sub : hp_add)(n, R, z.get(), z.get(), z.get());
                EXPECT_TRUE(same_value(n, R, z.get(), expected_sum(n, R, x.get(), x.get(), a, a, subtract)))
                    << (subtract ? "x - x" : "x + x");
            }
        }
    }
}

TEST(HpNumberAddSub, CarryAndCancellationAtRunLength) {
    const int32_t n = kRunWords;
    for (const uint32_t R : {10u, 10000u}) {
        SCOPED_TRACE(::testing::Message() << "R=" << R);
        HpPtr x = hp_make(n), y = hp_make(n);
        // All words R - 1 plus one unit in the last place: a carry through
        // every word and out of word 0.
        for (int32_t i = 0; i < n; ++i) x->words[i] = static_cast<int16_t>(R - 1);
        x->sign = 1;
        x->exponent = 0;
        hp_set_zero(n, y.get());
        y->sign = 1;
        y->words[0] = 1;
        y->exponent = -(n - 1);
        ASSERT_NO_FATAL_FAILURE(check_add_sub(n, R, x.get(), y.get()));
        // Cancellation of the leading half, then a shift of n - 1.
        HpRandom rnd("HpNumberAddSub.RunLength");
        rnd.fill(n, R, x.get());
        hp_copy(n, x.get(), y.get());
        y->words[n / 2] = static_cast<int16_t>((x->words[n / 2] + 1) % R);
        for (int32_t i = n / 2 + 1; i < n; ++i) y->words[i] = rnd.word(R);
        ASSERT_NO_FATAL_FAILURE(check_add_sub(n, R, x.get(), y.get()));
    }
}

// hp_mul_small, hp_div_small and hp_half, in place and not. False at the
// first mismatch, so that one fault does not flood the log.
bool check_small_ops(int32_t n, uint32_t R, const HpNumber* x) {
    HpPtr z = hp_make(n);
    const Exact v = exact_of(n, R, x);
    auto same = [&](const Exact& want, const char* what, int64_t m) {
        const ::testing::AssertionResult r = same_value(n, R, z.get(), want);
        EXPECT_TRUE(r) << what << " " << m << ", x " << x->sign << "/" << x->exponent << " word 0 "
                       << x->words[0];
        return static_cast<bool>(r);
    };
    const int64_t mul_factors[] = {1, 2, 3, 8, 9, R - 1, R, R + 1, 12345, 999999};
    const int64_t divisors[] = {1, 2, 3, 7, 8, R - 1, R, R + 1, 65537, 2147483647};
    for (const int64_t m : mul_factors) {
        Exact p = v;
        p.m *= m;
        hp_mul_small(n, R, x, static_cast<double>(m), z.get());
        if (!same(p, "mul_small by", m)) return false;
        hp_copy(n, x, z.get());
        hp_mul_small(n, R, z.get(), static_cast<double>(m), z.get());
        if (!same(p, "in place: mul_small by", m)) return false;
    }
    for (const int64_t m : divisors) {
        // floor(|v| R^s / m) keeps more than n words, so truncating it to n
        // words truncates the exact quotient.
        const int64_t s = n + 12;
        Exact q;
        mpz_ui_pow_ui(q.m.get_mpz_t(), R, static_cast<unsigned long>(s));
        q.m *= v.m;
        mpz_tdiv_q_ui(q.m.get_mpz_t(), q.m.get_mpz_t(), static_cast<unsigned long>(m));
        q.e = v.e - s;
        hp_div_small(n, R, x, m, z.get());
        if (!same(q, "div_small by", m)) return false;
        hp_copy(n, x, z.get());
        hp_div_small(n, R, z.get(), m, z.get());
        if (!same(q, "in place: div_small by", m)) return false;
        if (m == 2) {
            hp_half(n, R, x, z.get());
            if (!same(q, "half", 2)) return false;
            hp_copy(n, x, z.get());
            hp_half(n, R, z.get(), z.get());
            if (!same(q, "in place: half", 2)) return false;
        }
    }
    return true;
}

TEST(HpNumberSmallFactors, MulDivHalfMatchGmp) {
    HpRandom rnd("HpNumberSmallFactors");
    for (const uint32_t R : kRadices) {
        for (const int32_t n : {1, 2, 3, 5, 8, 1000}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " n=" << n);
            HpPtr x = hp_make(n);
            const int cases = n < 100 ? 60 : 6;
            bool ok = true;
            for (int c = 0; c < cases && ok; ++c) {
                rnd.fill(n, R, x.get());
                ok = check_small_ops(n, R, x.get());
            }
            hp_set_zero(n, x.get());
            if (ok) check_small_ops(n, R, x.get());
        }
    }
}

TEST(HpNumberSmallFactors, RunLength) {
    HpRandom rnd("HpNumberSmallFactors.RunLength");
    const int32_t n = kRunWords;
    const uint32_t R = 10000;
    HpPtr x = hp_make(n), z = hp_make(n);
    rnd.fill(n, R, x.get());
    x->words[0] = 1;  // halving shifts left by one word
    const Exact v = exact_of(n, R, x.get());

    Exact p = v;
    p.m *= 8;
    hp_mul_small(n, R, x.get(), 8.0, z.get());
    EXPECT_TRUE(same_value(n, R, z.get(), p)) << "times 8";

    Exact q;
    mpz_ui_pow_ui(q.m.get_mpz_t(), R, 4);
    q.m *= v.m;
    mpz_tdiv_q_ui(q.m.get_mpz_t(), q.m.get_mpz_t(), 2);
    q.e = v.e - 4;
    hp_half(n, R, x.get(), z.get());
    EXPECT_TRUE(same_value(n, R, z.get(), q)) << "half";
    hp_div_small(n, R, x.get(), 2, z.get());
    EXPECT_TRUE(same_value(n, R, z.get(), q)) << "divided by 2";
}

TEST(HpNumberRound, HalfUpMatchesGmp) {
    HpRandom rnd("HpNumberRound");
    for (const uint32_t R : kRadices) {
        for (const int32_t len : {2, 3, 5, 8, 1000}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " len=" << len);
            const int32_t n = len + 2;  // two words past len that must stay as they are
            HpPtr z = hp_make(n), expected = hp_make(len);
            for (int c = 0; c < 60; ++c) {
                rnd.fill(len, R, z.get());
                z->words[len] = 7;
                z->words[len + 1] = 7;
                const int32_t m = static_cast<int32_t>(rnd.uniform(1, len - 1));
                if (rnd.chance(30)) z->words[m] = static_cast<int16_t>(rnd.chance(50) ? R / 2 : R / 2 - 1);
                const Exact v = exact_of(len, R, z.get());
                mpz_class unit;
                mpz_ui_pow_ui(unit.get_mpz_t(), R, static_cast<unsigned long>(len - m));
                Exact r;
                r.m = (abs(v.m) + unit / 2) / unit;
                if (v.m < 0) r.m = -r.m;
                r.e = v.e + (len - m);
                hp_set_truncated(len, R, r, expected.get());
                hp_round(m, len, R, z.get());
                ASSERT_TRUE(same_number(len, z.get(), expected.get())) << "m=" << m << " case " << c;
                EXPECT_EQ(z->words[len], 7);
                EXPECT_EQ(z->words[len + 1], 7);
            }
            // m >= len and m < 1 leave the number alone.
            rnd.fill(len, R, z.get());
            hp_copy(len, z.get(), expected.get());
            hp_round(len, len, R, z.get());
            hp_round(0, len, R, z.get());
            EXPECT_TRUE(same_number(len, z.get(), expected.get()));
        }
    }
    // 0.99995 in radix 10 to four words: 1.000, one word higher.
    HpPtr z = hp_make(5);
    hp_parse(5, 1, "0.99995", z.get());
    hp_round(4, 5, 10, z.get());
    EXPECT_EQ(z->exponent, 0);
    EXPECT_EQ(z->sign, 1);
    EXPECT_EQ(std::vector<int>(z->words, z->words + 5), (std::vector<int>{1, 0, 0, 0, 0}));
}

TEST(HpNumberConstants, SetOneAndFromDouble) {
    for (const uint32_t R : kRadices) {
        SCOPED_TRACE(::testing::Message() << "R=" << R);
        const int32_t n = 8;
        HpPtr z = hp_make(n);
        for (int32_t i = 0; i < n; ++i) z->words[i] = 3;
        hp_set_one(5, z.get());
        EXPECT_EQ(z->sign, 1);
        EXPECT_EQ(z->exponent, 0);
        EXPECT_EQ(std::vector<int>(z->words, z->words + n), (std::vector<int>{1, 0, 0, 0, 0, 3, 3, 3}));

        // The words approximate v R^exponent as closely as a double allows.
        for (const double v : {0.3535533905932738, 1.0, 0.001, 3.0, 0.9999999999999999, 123.456e-9,
                               static_cast<double>(R) - 0.5}) {
            hp_from_double(n, R, v, 2, z.get());
            EXPECT_EQ(z->sign, 1);
            mpfr_t got, want;
            mpfr_inits2(256, got, want, static_cast<mpfr_ptr>(nullptr));
            mpfr_set_hp(n, R, z.get(), got);
            mpfr_set_d(want, v, MPFR_RNDN);
            mpfr_mul_ui(want, want, R * R, MPFR_RNDN);
            mpfr_sub(got, got, want, MPFR_RNDN);
            mpfr_div(got, got, want, MPFR_RNDN);
            // Truncation to n words plus the double's own rounding.
            const double tolerance = std::pow(static_cast<double>(R), 1 - n) + 1e-14;
            EXPECT_LT(std::fabs(mpfr_get_d(got, MPFR_RNDN)), tolerance) << "v=" << v;
            mpfr_clears(got, want, static_cast<mpfr_ptr>(nullptr));
            EXPECT_GT(z->words[0], 0) << "v=" << v;
        }
        // A value of R itself is written as R - 1 in every word.
        hp_from_double(n, R, static_cast<double>(R), 0, z.get());
        EXPECT_EQ(z->exponent, 0);
        for (int32_t i = 0; i < n; ++i) EXPECT_EQ(z->words[i], static_cast<int16_t>(R - 1)) << i;
    }
    HpPtr z = hp_make(3);
    hp_from_double(3, 10000, 0.3535533905932738, 0, z.get());
    EXPECT_EQ(z->exponent, -1);
    EXPECT_EQ(std::vector<int>(z->words, z->words + 3), (std::vector<int>{3535, 5339, 593}));
}

// value = digits * 10^p
struct ParseCase {
    const char* text;
    const char* digits;
    int64_t p;
};

TEST(HpNumberParse, MatchesTheDecimalValueTruncated) {
    static const ParseCase cases[] = {
        {"1", "1", 0},
        {"0.625", "625", -3},
        {"  -0.0625e1", "-625", -3},
        {"0", "0", 0},
        {"", "0", 0},
        {"   ", "0", 0},
        {"-0", "0", 0},
        {"0.000e5", "0", 0},
        {".", "0", 0},
        {"-", "0", 0},
        {"e5", "0", 0},
        {"abc", "0", 0},
        {"+12345.678e-3", "12345678", -6},
        {"3.14159265358979323846264338327950288", "314159265358979323846264338327950288", -35},
        {"1 000 000", "1000000", 0},
        {" 4 2 . 0 0 1", "42001", -3},
        {"007.50", "750", -2},
        {"12e", "12", 0},
        {"1e-", "1", 0},
        {"1e 5", "1", 5},
        {"1.5E+3", "15", 2},
        {"9999e-4", "9999", -4},
        {"0.00000000123", "123", -11},
        {"2.5x7", "25", -1},
        {"1e2e3", "1", 2},
        {"-.5", "-5", -1},
        {"0.5d1", "5", 0},
        {"5.", "5", 0},
        {"99999999999999999999", "99999999999999999999", 0},
        {"1e+00000000000000000000001", "1", 1},
        // Exponents beyond 32 bits are clamped to +-1,000,000,000.
        {"1e2147483648", "1", 1000000000},
        {"-7.5e-99999999999999999999", "-75", -1000000001},
        {"123E99999999999", "123", 1000000000},
    };
    for (const int32_t L : {1, 2, 3, 4}) {
        const uint32_t R = L == 1 ? 10 : L == 2 ? 100 : L == 3 ? 1000 : 10000;
        for (const int32_t n : {1, 2, 3, 8}) {
            HpPtr z = hp_make(n), expected = hp_make(n);
            for (const ParseCase& c : cases) {
                SCOPED_TRACE(::testing::Message() << "L=" << L << " n=" << n << " text \"" << c.text << "\"");
                // digits * 10^p = (digits * 10^(p mod L)) * R^floor(p / L)
                int64_t q = c.p / L, r = c.p % L;
                if (r < 0) {
                    r += L;
                    --q;
                }
                Exact v;
                v.m.set_str(c.digits, 10);
                for (int64_t i = 0; i < r; ++i) v.m *= 10;
                v.e = q;
                hp_set_truncated(n, R, v, expected.get());
                for (int32_t i = 0; i < n; ++i) z->words[i] = 1;
                z->sign = 1;
                z->exponent = 5;
                hp_parse(n, L, c.text, z.get());
                EXPECT_TRUE(same_number(n, z.get(), expected.get()));
            }
        }
    }
    // Radix 10 keeps one digit per word.
    HpPtr z = hp_make(4);
    hp_parse(4, 1, "0.625", z.get());
    EXPECT_EQ(z->exponent, -1);
    EXPECT_EQ(std::vector<int>(z->words, z->words + 4), (std::vector<int>{6, 2, 5, 0}));
}

}  // namespace
