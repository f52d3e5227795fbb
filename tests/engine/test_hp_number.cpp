// Word arithmetic of HpNumber against exact GMP values: each result is the
// exact value of the operation on the operands truncated toward zero to n
// words (rounded half up for hp_round), in every radix, at small lengths
// where corner cases are dense and at the run's length.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "engine/hp_number.h"
#include "gmp_reference.h"

namespace {

// x +/- y as the engine defines it: the words of the operand with the smaller
// exponent that fall below the larger exponent's n-word grid are lost, then
// the exact sum is truncated.
Exact expected_sum(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y, bool subtract) {
    Exact a = exact_of(n, R, x), b = exact_of(n, R, y);
    if (subtract) b.m = -b.m;
    if (x->sign != 0 && y->sign != 0) {
        const int64_t top = x->exponent > y->exponent ? x->exponent : y->exponent;
        a = exact_to_grid(R, a, top - n + 1);
        b = exact_to_grid(R, b, top - n + 1);
    }
    return exact_add(R, a, b);
}

// z = x +/- y against GMP, then with z == x, z == y (and z == x == y) against
// that result.
void check_add_sub(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y) {
    HpPtr z = hp_make(n), alias = hp_make(n);
    const bool equal = same_number(n, x, y);
    for (const bool subtract : {false, true}) {
        auto op = subtract ? hp_sub : hp_add;
        const char* name = subtract ? "sub" : "add";
        op(n, R, x, y, z.get());
        ASSERT_TRUE(same_value(n, R, z.get(), expected_sum(n, R, x, y, subtract))) << name;
        hp_copy(n, x, alias.get());
        op(n, R, alias.get(), y, alias.get());
        ASSERT_TRUE(same_number(n, alias.get(), z.get())) << name << ", z == x";
        hp_copy(n, y, alias.get());
        op(n, R, x, alias.get(), alias.get());
        ASSERT_TRUE(same_number(n, alias.get(), z.get())) << name << ", z == y";
        if (!equal) continue;
        hp_copy(n, x, alias.get());
        op(n, R, alias.get(), alias.get(), alias.get());
        ASSERT_TRUE(same_number(n, alias.get(), z.get())) << name << ", z == x == y";
    }
}

// y from x so that the interesting cases come often: equal or opposite
// values, shared leading words, shifts around n, a zero operand, one unit in
// the last place, leading words that carry.
void make_partner(HpRandom& rnd, int32_t n, uint32_t R, const HpNumber* x, HpNumber* y) {
    rnd.fill(n, R, y);
    const int32_t shifts[] = {1, n - 1, n, n + 3}, k = static_cast<int32_t>(rnd.uniform(1, n));
    switch (rnd.uniform(0, 6)) {
        case 0: y->exponent = x->exponent + static_cast<int32_t>(rnd.uniform(-2, 2)); break;
        case 1: hp_copy(n, x, y); y->sign = rnd.chance(50) ? y->sign : -y->sign; break;  // x +- x
        case 2:  // the leading k words agree
            std::memcpy(y->words, x->words, static_cast<size_t>(k) * sizeof(int16_t));
            y->exponent = x->exponent;
            if (k < n && rnd.chance(50)) y->words[k] = static_cast<int16_t>((x->words[k] + 1) % R);
            break;
        case 3: y->exponent = x->exponent + shifts[rnd.uniform(0, 3)] * (rnd.chance(50) ? 1 : -1); break;
        case 4: hp_set_zero(n, y); break;
        case 5:  // one unit in the last place of x
            hp_set_zero(n, y);
            y->words[0] = 1;
            y->sign = rnd.chance(50) ? 1 : -1;
            y->exponent = x->exponent - n + 1;
            break;
        default:  // same exponent, first words sum to R or more
            y->exponent = x->exponent;
            y->words[0] = static_cast<int16_t>(R - x->words[0] + rnd.uniform(0, x->words[0] - 1));
    }
}

// x - y with the same signs cancels a leading stretch: y is x's words
// shifted by `shift` (0 or 1) down to word k, where x is one unit higher;
// then `run` words where x has 0 and y R - 1, then a tail that borrows or
// not (random, all zero, or forced either way). The difference then starts
// at k, at the run's last word or just after the run.
void make_borrow_run(HpRandom& rnd, int32_t n, uint32_t R, int32_t shift, int32_t k, int32_t run, HpNumber* x,
                     HpNumber* y) {
    rnd.fill(n, R, x);
    rnd.fill(n, R, y);
    y->sign = x->sign;
    y->exponent = x->exponent - shift;
    if (shift == 1) {
        k = 0;
        x->words[0] = 1;
    } else {
        if (y->words[k] == static_cast<int16_t>(R - 1)) y->words[k] = static_cast<int16_t>(R - 2);
        for (int32_t i = 0; i < k; ++i) x->words[i] = y->words[i];
        x->words[k] = static_cast<int16_t>(y->words[k] + 1);
    }
    const int32_t end = k + 1 + run < n ? k + 1 + run : n;
    for (int32_t i = k + 1; i < end; ++i) {
        x->words[i] = 0;
        y->words[i - shift] = static_cast<int16_t>(R - 1);
    }
    if (end >= n) return;
    switch (rnd.uniform(0, 3)) {
        case 0: break;
        case 1:  // nothing after the run
            for (int32_t i = end; i < n; ++i) x->words[i] = 0;
            for (int32_t i = end - shift; i < n; ++i) y->words[i] = 0;
            break;
        case 2: x->words[end] = 0; y->words[end - shift] = 1; break;  // borrows
        default: x->words[end] = 1; y->words[end - shift] = 0;         // does not
    }
}

TEST(HpNumber, AddSubMatchGmp) {
    HpRandom rnd("HpNumber.AddSub");
    for (const uint32_t R : kRadices) {
        for (const int32_t n : {1, 2, 3, 4, 5, 8, 1000, 5000, kRunWords}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " n=" << n);
            HpPtr x = hp_make(n), y = hp_make(n);
            for (int c = 0, cases = n < 100 ? 300 : n < kRunWords ? 40 : 0; c < cases; ++c) {
                rnd.fill(n, R, x.get());
                make_partner(rnd, n, R, x.get(), y.get());
                if (rnd.chance(5)) hp_set_zero(n, x.get());
                ASSERT_NO_FATAL_FAILURE(check_add_sub(n, R, x.get(), y.get())) << "case " << c;
                const int32_t k = static_cast<int32_t>(rnd.uniform(0, n - 1));
                const int32_t run = static_cast<int32_t>(rnd.chance(20) ? n : rnd.uniform(0, n - k));
                make_borrow_run(rnd, n, R, static_cast<int32_t>(rnd.uniform(0, 1)), k, run, x.get(), y.get());
                ASSERT_NO_FATAL_FAILURE(check_add_sub(n, R, x.get(), y.get())) << "borrow run, case " << c;
            }
            if (n != kRunWords) continue;
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
            if (R != 10000) continue;
            // Cancellation of the leading half.
            rnd.fill(n, R, x.get());
            hp_copy(n, x.get(), y.get());
            y->words[n / 2] = static_cast<int16_t>((x->words[n / 2] + 1) % R);
            for (int32_t i = n / 2 + 1; i < n; ++i) y->words[i] = rnd.word(R);
            ASSERT_NO_FATAL_FAILURE(check_add_sub(n, R, x.get(), y.get()));
            // A Newton correction's shape, 1 - (1 - e), cancelling about half
            // the words.
            make_borrow_run(rnd, n, R, 1, 0, n / 2 - 3, x.get(), y.get());
            ASSERT_NO_FATAL_FAILURE(check_add_sub(n, R, x.get(), y.get()));
        }
    }
}

// hp_mul_small, hp_div_small and hp_half against GMP, then in place against
// that result. False at the first mismatch, so that one fault does not flood
// the log.
bool check_small_ops(int32_t n, uint32_t R, const HpNumber* x, std::initializer_list<int64_t> factors,
                     std::initializer_list<int64_t> divisors) {
    HpPtr z = hp_make(n), alias = hp_make(n);
    const Exact v = exact_of(n, R, x);
    auto check = [&](auto op, auto m, const Exact& want, const char* what) {
        op(n, R, x, m, z.get());
        hp_copy(n, x, alias.get());
        op(n, R, alias.get(), m, alias.get());
        const bool ok = same_value(n, R, z.get(), want) && same_number(n, alias.get(), z.get());
        EXPECT_TRUE(ok) << what << " " << m << ": " << same_value(n, R, z.get(), want).message() << "; in place "
                        << same_number(n, alias.get(), z.get()).message();
        return ok;
    };
    for (const int64_t m : factors) {
        if (!check(hp_mul_small, static_cast<double>(m), Exact{v.m * m, v.e}, "mul_small by")) return false;
    }
    for (const int64_t m : divisors) {
        // floor(|v| R^s / m) keeps more than n words, so truncating it
        // truncates the exact quotient.
        const int64_t s = 12;
        Exact q{0, v.e - s};
        mpz_ui_pow_ui(q.m.get_mpz_t(), R, s);
        q.m *= v.m;
        mpz_tdiv_q_ui(q.m.get_mpz_t(), q.m.get_mpz_t(), static_cast<unsigned long>(m));
        if (!check(hp_div_small, m, q, "div_small by")) return false;
        if (m == 2 && !check([](int32_t n_, uint32_t R_, const HpNumber* a, int64_t, HpNumber* b) { hp_half(n_, R_, a, b); },
                             m, q, "half")) {
            return false;
        }
    }
    return true;
}

TEST(HpNumber, SmallFactorsMatchGmp) {
    HpRandom rnd("HpNumber.SmallFactors");
    for (const uint32_t R : kRadices) {
        // 999999 * (R - 1) at n = 1 needs a carry of several words.
        const int64_t r = R;
        for (const int32_t n : {1, 2, 3, 5, 8, 1000}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " n=" << n);
            HpPtr x = hp_make(n);
            bool ok = true;
            for (int c = 0, cases = n < 100 ? 60 : 6; c <= cases && ok; ++c) {
                rnd.fill(n, R, x.get());
                if (c == cases) hp_set_zero(n, x.get());
                ok = check_small_ops(n, R, x.get(), {1, 2, 3, 8, 9, r - 1, r, r + 1, 12345, 999999},
                                     {1, 2, 3, 7, 8, r - 1, r, r + 1, 65537, 2147483647});
            }
        }
    }
    const int32_t n = kRunWords;
    HpPtr x = hp_make(n);
    rnd.fill(n, 10000, x.get());
    x->words[0] = 1;  // halving shifts left by one word
    EXPECT_TRUE(check_small_ops(n, 10000, x.get(), {3, 8}, {2, 1 << 25})) << "run length";
    // Times R - 1, words c .. c, c + 1: every word but the last comes to
    // R - 1 before the carries, and the last one's carry runs to the top.
    for (int32_t i = 0; i < n; ++i) x->words[i] = 5000;
    x->words[n - 1] = 5001;
    EXPECT_TRUE(check_small_ops(n, 10000, x.get(), {9999}, {})) << "carry through every word";
}

TEST(HpNumber, RoundHalfUpMatchesGmp) {
    HpRandom rnd("HpNumber.Round");
    for (const uint32_t R : kRadices) {
        for (const int32_t len : {2, 3, 5, 8, 1000}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " len=" << len);
            HpPtr z = hp_make(len + 2), before = hp_make(len);  // two words past len must stay
            for (int c = 0; c < 60; ++c) {
                rnd.fill(len, R, z.get());
                z->words[len] = z->words[len + 1] = 7;
                const int32_t m = static_cast<int32_t>(rnd.uniform(1, len - 1));
                if (rnd.chance(30)) z->words[m] = static_cast<int16_t>(rnd.chance(50) ? R / 2 : R / 2 - 1);
                const Exact v = exact_of(len, R, z.get());
                mpz_class unit;
                mpz_ui_pow_ui(unit.get_mpz_t(), R, static_cast<unsigned long>(len - m));
                Exact r{(abs(v.m) + unit / 2) / unit * sgn(v.m), v.e + (len - m)};
                hp_round(m, len, R, z.get());
                ASSERT_TRUE(same_value(len, R, z.get(), r)) << "m=" << m << " case " << c;
                ASSERT_EQ(z->words[len] + z->words[len + 1], 14) << "words past len";
            }
            // m >= len and m < 1 leave the number alone.
            hp_copy(len, z.get(), before.get());
            hp_round(len, len, R, z.get());
            hp_round(0, len, R, z.get());
            EXPECT_TRUE(same_number(len, z.get(), before.get()));
        }
    }
}

TEST(HpNumber, FromDoubleMatchesMpfr) {
    for (const uint32_t R : kRadices) {
        const int32_t n = 8;
        HpPtr z = hp_make(n);
        // The words approximate v R^2 as closely as a double allows.
        for (const double v : {0.3535533905932738, 1.0, 0.001, 3.0, 0.9999999999999999, 123.456e-9, R - 0.5}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " v=" << v);
            hp_from_double(n, R, v, 2, z.get());
            ASSERT_EQ(z->sign, 1);
            ASSERT_GT(z->words[0], 0);
            mpfr_t got, want;
            mpfr_inits2(256, got, want, static_cast<mpfr_ptr>(nullptr));
            mpfr_set_exact(R, exact_of(n, R, z.get()), got);
            mpfr_set_d(want, v * R * R, MPFR_RNDN);
            mpfr_div(got, got, want, MPFR_RNDN);
            // Truncation to n words plus the double's own rounding.
            EXPECT_LT(std::fabs(mpfr_get_d(got, MPFR_RNDN) - 1), std::pow(R, 1 - n) + 1e-14);
            mpfr_clears(got, want, static_cast<mpfr_ptr>(nullptr));
        }
        // A value of R itself is written as R - 1 in every word.
        hp_from_double(n, R, R, 0, z.get());
        mpz_class all;
        mpz_ui_pow_ui(all.get_mpz_t(), R, n);
        EXPECT_TRUE(same_value(n, R, z.get(), Exact{all - 1, 1 - n})) << "v = R";
    }
}

// value = digits * 10^p
struct ParseCase {
    const char* text;
    const char* digits;
    int64_t p;
};

TEST(HpNumber, ParseMatchesTheDecimalValueTruncated) {
    static const ParseCase cases[] = {
        {"1", "1", 0}, {"  -0.0625e1", "-625", -3}, {"", "0", 0}, {"-0", "0", 0}, {"0.000e5", "0", 0},
        {".", "0", 0}, {"abc", "0", 0}, {"+12345.678e-3", "12345678", -6}, {"1 000 000", "1000000", 0},
        {"3.14159265358979323846264338327950288", "314159265358979323846264338327950288", -35},
        {" 4 2 . 0 0 1", "42001", -3}, {"007.50", "750", -2}, {"12e", "12", 0}, {"1e 5", "1", 5},
        {"1.5E+3", "15", 2}, {"0.00000000123", "123", -11}, {"2.5x7", "25", -1}, {"1e2e3", "1", 2},
        {"-.5", "-5", -1}, {"99999999999999999999", "99999999999999999999", 0}, {"1e+00000000000000000000001", "1", 1},
        // Exponents beyond 32 bits are clamped to +-1,000,000,000.
        {"1e2147483648", "1", 1000000000}, {"-7.5e-99999999999999999999", "-75", -1000000001},
    };
    for (const int32_t L : {1, 2, 3, 4}) {
        const uint32_t R = L == 1 ? 10 : L == 2 ? 100 : L == 3 ? 1000 : 10000;
        for (const int32_t n : {1, 2, 3, 8}) {
            HpPtr z = hp_make(n);
            for (const ParseCase& c : cases) {
                SCOPED_TRACE(::testing::Message() << "L=" << L << " n=" << n << " text \"" << c.text << "\"");
                // digits * 10^p = (digits * 10^(p mod L)) * R^floor(p / L)
                const int64_t r = ((c.p % L) + L) % L;
                Exact v{mpz_class(c.digits, 10), (c.p - r) / L};
                for (int64_t i = 0; i < r; ++i) v.m *= 10;
                for (int32_t i = 0; i < n; ++i) z->words[i] = 1;
                z->sign = 1;
                z->exponent = 5;
                hp_parse(n, L, c.text, z.get());
                EXPECT_TRUE(same_value(n, R, z.get(), v));
            }
        }
    }
}

}  // namespace
