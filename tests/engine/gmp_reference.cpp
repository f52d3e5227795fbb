#include "gmp_reference.h"

#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

mpz_class power_of(uint32_t R, int64_t k) {
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), R, static_cast<unsigned long>(k));
    return p;
}

// The decimal digits of |m|, left-padded with zeros to whole words.
std::string padded_digits(const mpz_class& m, int32_t L) {
    std::string s = mpz_class(abs(m)).get_str(10);
    const size_t pad = (L - s.size() % L) % L;
    return std::string(pad, '0') + s;
}

}  // namespace

HpPtr hp_make(int32_t n) { return HpPtr(hp_alloc(n)); }

int32_t digits_per_word(uint32_t R) {
    int32_t L = 0;
    for (uint32_t r = R; r > 1; r /= 10) ++L;
    return L;
}

Exact exact_of(int32_t n, uint32_t R, const HpNumber* x) { return exact_leading(n, R, x); }

Exact exact_leading(int32_t words, uint32_t R, const HpNumber* x) {
    Exact v;
    if (x->sign == 0 || words < 1) return v;
    const int32_t L = digits_per_word(R);
    // Decimal radices make the word string the decimal string; GMP's string
    // conversion is subquadratic, which full-size numbers need.
    std::string s(static_cast<size_t>(words) * L, '0');
    for (int32_t i = 0; i < words; ++i) {
        int32_t w = x->words[i];
        for (int32_t d = L - 1; d >= 0; --d, w /= 10) s[static_cast<size_t>(i) * L + d] = char('0' + w % 10);
    }
    v.m.set_str(s, 10);
    if (x->sign < 0) v.m = -v.m;
    v.e = static_cast<int64_t>(x->exponent) - words + 1;
    return v;
}

Exact exact_add(uint32_t R, const Exact& a, const Exact& b) {
    if (a.m == 0) return b;
    if (b.m == 0) return a;
    const Exact& low = a.e <= b.e ? a : b;
    const Exact& high = a.e <= b.e ? b : a;
    Exact v;
    v.m = high.m * power_of(R, high.e - low.e) + low.m;
    v.e = low.e;
    return v;
}

Exact exact_mul(const Exact& a, const Exact& b) {
    Exact v;
    v.m = a.m * b.m;
    v.e = v.m == 0 ? 0 : a.e + b.e;
    return v;
}

Exact exact_to_grid(uint32_t R, const Exact& v, int64_t e) {
    if (v.e >= e || v.m == 0) return v;
    Exact t;
    mpz_tdiv_q(t.m.get_mpz_t(), v.m.get_mpz_t(), power_of(R, e - v.e).get_mpz_t());
    t.e = t.m == 0 ? 0 : e;
    return t;
}

void hp_set_truncated(int32_t n, uint32_t R, const Exact& v, HpNumber* z) {
    if (v.m == 0) {
        hp_set_zero(n, z);
        return;
    }
    const int32_t L = digits_per_word(R);
    const std::string s = padded_digits(v.m, L);
    const int64_t k = static_cast<int64_t>(s.size()) / L;
    const int64_t exponent = v.e + k - 1;
    if (exponent < INT32_MIN || exponent > INT32_MAX) {
        ADD_FAILURE() << "reference exponent " << exponent << " leaves int32";
        return;
    }
    for (int32_t i = 0; i < n; ++i) {
        int32_t w = 0;
        if (i < k) {
            for (int32_t d = 0; d < L; ++d) w = 10 * w + (s[static_cast<size_t>(i) * L + d] - '0');
        }
        z->words[i] = static_cast<int16_t>(w);
    }
    z->sign = v.m > 0 ? 1 : -1;
    z->exponent = static_cast<int32_t>(exponent);
}

namespace {

// Number of radix-R words of |m| (m != 0).
int64_t word_count(uint32_t R, const mpz_class& m) {
    // sizeinbase may be one too large; a power of ten settles it.
    int64_t d = static_cast<int64_t>(mpz_sizeinbase(m.get_mpz_t(), 10));
    if (d > 1) {
        mpz_class p;
        mpz_ui_pow_ui(p.get_mpz_t(), 10, static_cast<unsigned long>(d - 1));
        if (mpz_cmpabs(m.get_mpz_t(), p.get_mpz_t()) < 0) --d;
    }
    const int32_t L = digits_per_word(R);
    return (d + L - 1) / L;
}

}  // namespace

Exact exact_truncated(int32_t n, uint32_t R, const Exact& v) {
    if (v.m == 0) return Exact{};
    const int64_t k = word_count(R, v.m);
    Exact t;
    if (k > n) {
        mpz_tdiv_q(t.m.get_mpz_t(), v.m.get_mpz_t(), power_of(R, k - n).get_mpz_t());
    } else {
        t.m = v.m * power_of(R, n - k);
    }
    t.e = v.e + k - n;
    return t;
}

namespace {

::testing::AssertionResult normal_form(int32_t n, const HpNumber* actual) {
    if (actual->sign == 0) {
        int32_t nonzero = 0;
        while (nonzero < n && actual->words[nonzero] == 0) ++nonzero;
        if (actual->exponent != 0 || nonzero < n) {
            return ::testing::AssertionFailure() << "a zero with exponent " << actual->exponent
                                                 << " and word " << nonzero << " non-zero";
        }
    } else if (n > 0 && actual->words[0] == 0) {
        return ::testing::AssertionFailure() << "not normal: word 0 is 0, sign " << actual->sign
                                             << ", exponent " << actual->exponent;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult first_difference(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v) {
    HpPtr expected = hp_make(n);
    hp_set_truncated(n, R, v, expected.get());
    ::testing::AssertionResult words = same_number(n, actual, expected.get());
    if (words) return ::testing::AssertionFailure() << "values differ but words agree";
    return ::testing::AssertionFailure() << "against the truncated value: " << words.message();
}

}  // namespace

::testing::AssertionResult same_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v) {
    ::testing::AssertionResult normal = normal_form(n, actual);
    if (!normal) return normal;
    const Exact want = exact_truncated(n, R, v);
    const Exact got = exact_of(n, R, actual);
    if (got.m == want.m && got.e == want.e) return ::testing::AssertionSuccess();
    return first_difference(n, R, actual, v);
}

::testing::AssertionResult rounded_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v) {
    ::testing::AssertionResult normal = normal_form(n, actual);
    if (!normal) return normal;
    const Exact want = exact_truncated(n, R, v);
    const Exact got = exact_of(n, R, actual);
    if (got.m == want.m && got.e == want.e) return ::testing::AssertionSuccess();
    Exact negated = v;
    negated.m = -negated.m;
    const Exact d = exact_add(R, got, negated);
    // |d| <= (1/2 + 1/R) R^want.e  <=>  2R |d| <= (R + 2) R^want.e
    if (want.m != 0 && want.e >= d.e) {
        const mpz_class lhs = 2 * R * mpz_class(abs(d.m));
        const mpz_class rhs = (R + 2) * power_of(R, want.e - d.e);
        if (lhs <= rhs) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "more than half a unit of the last word off; "
                                         << first_difference(n, R, actual, v).message();
}

mpz_class ulps_from(int32_t n, uint32_t R, const HpNumber* x, const Exact& v) {
    int64_t unit;
    if (x->sign != 0) {
        unit = static_cast<int64_t>(x->exponent) - n + 1;
    } else if (v.m != 0) {
        unit = v.e + word_count(R, v.m) - n;
    } else {
        return 0;
    }
    Exact negated = v;
    negated.m = -negated.m;
    const Exact diff = exact_add(R, exact_of(n, R, x), negated);
    if (diff.m == 0) return 0;
    if (diff.e >= unit) return diff.m * power_of(R, diff.e - unit);
    // Below one unit: report the fraction rounded away from zero, so that a
    // deviation never hides as 0.
    mpz_class q;
    mpz_cdiv_q(q.get_mpz_t(), mpz_class(abs(diff.m)).get_mpz_t(), power_of(R, unit - diff.e).get_mpz_t());
    return diff.m < 0 ? mpz_class(-q) : q;
}

int32_t words_touched(uint32_t R, const mpz_class& ulps) {
    mpz_class u = abs(ulps);
    // A wildly wrong result: the digit count is close enough.
    if (mpz_sizeinbase(u.get_mpz_t(), 2) > 512) {
        return static_cast<int32_t>(mpz_sizeinbase(u.get_mpz_t(), 10) / digits_per_word(R)) + 1;
    }
    int32_t k = 0;
    while (u > 0) {
        u /= R;
        ++k;
    }
    return k;
}

::testing::AssertionResult same_number(int32_t n, const HpNumber* actual, const HpNumber* expected) {
    if (actual->sign != expected->sign || actual->exponent != expected->exponent) {
        return ::testing::AssertionFailure()
               << "sign/exponent " << actual->sign << "/" << actual->exponent << ", expected "
               << expected->sign << "/" << expected->exponent << " (word 0: " << actual->words[0]
               << " vs " << (n > 0 ? expected->words[0] : 0) << ")";
    }
    for (int32_t i = 0; i < n; ++i) {
        if (actual->words[i] != expected->words[i]) {
            return ::testing::AssertionFailure() << "word " << i << " of " << n << " is "
                                                 << actual->words[i] << ", expected "
                                                 << expected->words[i];
        }
    }
    return ::testing::AssertionSuccess();
}

mpfr_prec_t mpfr_bits_for(int32_t n, uint32_t R) {
    return static_cast<mpfr_prec_t>(std::ceil((n + 4.0) * std::log2(static_cast<double>(R)))) + 96;
}

void mpfr_set_hp(int32_t n, uint32_t R, const HpNumber* x, mpfr_ptr out) {
    const Exact v = exact_of(n, R, x);
    mpfr_set_z(out, v.m.get_mpz_t(), MPFR_RNDN);
    if (v.m == 0 || v.e == 0) return;
    const mpz_class p = power_of(R, v.e < 0 ? -v.e : v.e);
    if (v.e > 0) {
        mpfr_mul_z(out, out, p.get_mpz_t(), MPFR_RNDN);
    } else {
        mpfr_div_z(out, out, p.get_mpz_t(), MPFR_RNDN);
    }
}

Exact exact_of_mpfr(int32_t n, uint32_t R, mpfr_srcptr v) {
    if (mpfr_zero_p(v)) return Exact{};
    // A word exponent at or below the true one, so that the scaled value has
    // at least n + 1 words before truncation.
    long e2 = 0;
    mpfr_get_d_2exp(&e2, v, MPFR_RNDN);
    const int64_t e_low =
        static_cast<int64_t>(std::floor(static_cast<double>(e2) * std::log10(2.0) / digits_per_word(R))) - 2;
    const int64_t shift = static_cast<int64_t>(n) + 1 - e_low;  // v * R^shift
    mpfr_t scaled;
    mpfr_init2(scaled, mpfr_get_prec(v) + 64);
    const mpz_class p = power_of(R, shift < 0 ? -shift : shift);
    if (shift >= 0) {
        mpfr_mul_z(scaled, v, p.get_mpz_t(), MPFR_RNDN);
    } else {
        mpfr_div_z(scaled, v, p.get_mpz_t(), MPFR_RNDN);
    }
    Exact t;
    mpfr_get_z(t.m.get_mpz_t(), scaled, MPFR_RNDZ);
    mpfr_clear(scaled);
    t.e = -shift;
    return t;
}

HpRandom::HpRandom(const char* test_name) {
    seed_ = 0x6e756d657261ULL;  // fixed, so that failures reproduce
    if (const char* env = std::getenv("NUMERA_TEST_SEED")) seed_ = std::strtoull(env, nullptr, 0);
    rng_.seed(seed_);
    std::printf("[ seed     ] %s: %" PRIu64 " (set NUMERA_TEST_SEED to change)\n", test_name, seed_);
}

int64_t HpRandom::uniform(int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng_);
}

int16_t HpRandom::word(uint32_t R) {
    const int32_t r = static_cast<int32_t>(R);
    switch (uniform(0, 9)) {
        case 0: return 0;
        case 1: return 1;
        case 2: return static_cast<int16_t>(r / 2 - 1);
        case 3: return static_cast<int16_t>(r / 2);
        case 4: return static_cast<int16_t>(r - 1);
        default: return static_cast<int16_t>(uniform(0, r - 1));
    }
}

void HpRandom::fill(int32_t n, uint32_t R, HpNumber* z, int32_t max_exp) {
    const int32_t r = static_cast<int32_t>(R);
    const int64_t shape = uniform(0, 9);
    for (int32_t i = 0; i < n; ++i) {
        switch (shape) {
            case 0: z->words[i] = static_cast<int16_t>(r - 1); break;       // R^k - ulp
            case 1: z->words[i] = 0; break;                                 // a power of R
            case 2: z->words[i] = chance(90) ? static_cast<int16_t>(r - 1) : word(R); break;
            case 3: z->words[i] = chance(90) ? 0 : word(R); break;
            case 4: z->words[i] = word(R); break;
            default: z->words[i] = static_cast<int16_t>(uniform(0, r - 1)); break;
        }
    }
    // Long runs in the middle of otherwise random words.
    if (shape >= 5 && n > 4 && chance(50)) {
        const int32_t from = static_cast<int32_t>(uniform(1, n - 1));
        const int32_t to = static_cast<int32_t>(uniform(from, n));
        const int16_t fillw = chance(50) ? static_cast<int16_t>(r - 1) : 0;
        for (int32_t i = from; i < to; ++i) z->words[i] = fillw;
    }
    switch (uniform(0, 3)) {
        case 0: z->words[0] = 1; break;
        case 1: z->words[0] = static_cast<int16_t>(r - 1); break;
        default:
            if (z->words[0] == 0) z->words[0] = static_cast<int16_t>(uniform(1, r - 1));
            break;
    }
    z->sign = chance(50) ? 1 : -1;
    z->exponent = static_cast<int32_t>(uniform(-max_exp, max_exp));
}
