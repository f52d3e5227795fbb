#include "gmp_reference.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

mpz_class power_of(uint32_t R, int64_t k) {
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), R, static_cast<unsigned long>(k));
    return p;
}

int32_t digits_per_word(uint32_t R) {
    int32_t L = 0;
    for (uint32_t r = R; r > 1; r /= 10) ++L;
    return L;
}

// v *= R^e.
void mpfr_scale(mpfr_ptr v, uint32_t R, int64_t e) {
    const mpz_class p = power_of(R, e < 0 ? -e : e);
    if (e > 0) mpfr_mul_z(v, v, p.get_mpz_t(), MPFR_RNDN);
    if (e < 0) mpfr_div_z(v, v, p.get_mpz_t(), MPFR_RNDN);
}

}  // namespace

Exact exact_of(int32_t words, uint32_t R, const HpNumber* x) {
    Exact v;
    if (x->sign == 0 || words < 1) return v;
    // The word string of a decimal radix is the decimal string; GMP's string
    // conversion is subquadratic, which full-size numbers need.
    const int32_t L = digits_per_word(R);
    std::string s(static_cast<size_t>(words) * L, '0');
    for (int32_t i = 0; i < words; ++i) {
        for (int32_t d = L - 1, w = x->words[i]; d >= 0; --d, w /= 10) s[static_cast<size_t>(i) * L + d] = char('0' + w % 10);
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
    return {high.m * power_of(R, high.e - low.e) + low.m, low.e};
}

Exact exact_to_grid(uint32_t R, const Exact& v, int64_t e) {
    if (v.e >= e || v.m == 0) return v;
    Exact t{0, e};
    mpz_tdiv_q(t.m.get_mpz_t(), v.m.get_mpz_t(), power_of(R, e - v.e).get_mpz_t());
    return t;
}

// same_value, also giving the exponent of v truncated to n words.
static ::testing::AssertionResult truncated_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v,
                                                  int64_t& exponent) {
    // v's decimal digits in whole words, cut or padded to n words.
    const int32_t L = digits_per_word(R);
    std::string s = v.m == 0 ? "" : mpz_class(abs(v.m)).get_str(10);
    s.insert(0, (L - s.size() % L) % L, '0');
    exponent = v.m == 0 ? 0 : v.e + static_cast<int64_t>(s.size()) / L - 1;
    const int32_t sign = sgn(v.m);
    s.resize(static_cast<size_t>(n) * L, '0');
    if (actual->sign != sign || actual->exponent != exponent) {
        return ::testing::AssertionFailure() << "sign/exponent " << actual->sign << "/" << actual->exponent
                                             << ", expected " << sign << "/" << exponent;
    }
    for (int32_t i = 0; i < n; ++i) {
        int32_t want = 0;
        for (int32_t d = 0; d < L; ++d) want = 10 * want + (s[static_cast<size_t>(i) * L + d] - '0');
        if (actual->words[i] != want) {
            return ::testing::AssertionFailure() << "word " << i << " of " << n << " is " << actual->words[i]
                                                 << ", expected " << want;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult same_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v) {
    int64_t exponent;
    return truncated_value(n, R, actual, v, exponent);
}

::testing::AssertionResult rounded_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v) {
    int64_t exponent;
    ::testing::AssertionResult truncated = truncated_value(n, R, actual, v, exponent);
    if (truncated || v.m == 0 || actual->sign == 0 || actual->words[0] == 0) return truncated;
    // |actual - v| <= (1/2 + 1/R) R^u  <=>  2R |d| <= (R + 2) R^u, with u the
    // last word of v truncated to n words.
    const int64_t u = exponent - n + 1;
    const Exact d = exact_add(R, exact_of(n, R, actual), Exact{-v.m, v.e});
    if (u >= d.e && 2 * R * mpz_class(abs(d.m)) <= (R + 2) * power_of(R, u - d.e)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "more than half a unit of the last word off; " << truncated.message();
}

::testing::AssertionResult same_number(int32_t n, const HpNumber* actual, const HpNumber* expected) {
    if (actual->sign != expected->sign || actual->exponent != expected->exponent) {
        return ::testing::AssertionFailure() << "sign/exponent " << actual->sign << "/" << actual->exponent
                                             << ", expected " << expected->sign << "/" << expected->exponent;
    }
    for (int32_t i = 0; i < n; ++i) {
        if (actual->words[i] != expected->words[i]) {
            return ::testing::AssertionFailure() << "word " << i << " of " << n << " is " << actual->words[i]
                                                 << ", expected " << expected->words[i];
        }
    }
    return ::testing::AssertionSuccess();
}

mpfr_prec_t mpfr_bits_for(int32_t n, uint32_t R) {
    return static_cast<mpfr_prec_t>(std::ceil((n + 4.0) * std::log2(static_cast<double>(R)))) + 96;
}

void mpfr_set_exact(uint32_t R, const Exact& v, mpfr_ptr out) {
    mpfr_set_z(out, v.m.get_mpz_t(), MPFR_RNDN);
    mpfr_scale(out, R, v.e);
}

double log_units_off(int32_t n, uint32_t R, const HpNumber* x, mpfr_srcptr v) {
    if (x->sign == 0) return mpfr_zero_p(v) ? -HUGE_VAL : HUGE_VAL;
    const Exact got = exact_of(n, R, x);
    mpfr_t d;
    mpfr_init2(d, mpfr_get_prec(v) + 64);
    mpfr_set(d, v, MPFR_RNDN);
    mpfr_scale(d, R, -got.e);  // v in units of x's last word
    mpfr_z_sub(d, got.m.get_mpz_t(), d, MPFR_RNDN);
    long e2 = 0;
    const double mantissa = mpfr_get_d_2exp(&e2, d, MPFR_RNDN);
    mpfr_clear(d);
    return (std::log2(std::fabs(mantissa)) + static_cast<double>(e2)) / std::log2(static_cast<double>(R));
}

double log_units_off(int32_t n, uint32_t R, const HpNumber* x, const Exact& v) {
    if (x->sign == 0) return v.m == 0 ? -HUGE_VAL : HUGE_VAL;
    const Exact got = exact_of(n, R, x);
    const Exact d = exact_add(R, got, Exact{-v.m, v.e});
    long e2 = 0;
    const double mantissa = mpz_get_d_2exp(&e2, d.m.get_mpz_t());
    return (std::log2(std::fabs(mantissa)) + static_cast<double>(e2)) / std::log2(static_cast<double>(R)) +
           static_cast<double>(d.e - got.e);
}

HpRandom::HpRandom(const char* test_name) {
    uint64_t seed = 0x6e756d657261ULL;  // fixed, so that failures reproduce
    if (const char* env = std::getenv("NUMERA_TEST_SEED")) seed = std::strtoull(env, nullptr, 0);
    rng_.seed(seed);
    std::printf("[ seed     ] %s: %" PRIu64 " (set NUMERA_TEST_SEED to change)\n", test_name, seed);
}

int16_t HpRandom::word(uint32_t R) {
    const int32_t r = static_cast<int32_t>(R);
    const int32_t special[] = {0, 1, r / 2 - 1, r / 2, r - 1};
    const int64_t k = uniform(0, 9);
    return static_cast<int16_t>(k < 5 ? special[k] : uniform(0, r - 1));
}

void HpRandom::fill(int32_t n, uint32_t R, HpNumber* z, int32_t max_exp) {
    const int16_t top = static_cast<int16_t>(R - 1);
    const int64_t shape = uniform(0, 9);
    for (int32_t i = 0; i < n; ++i) {
        switch (shape) {
            case 0: z->words[i] = top; break;  // R^k - ulp
            case 1: z->words[i] = 0; break;    // a power of R
            case 2: z->words[i] = chance(90) ? top : word(R); break;
            case 3: z->words[i] = chance(90) ? 0 : word(R); break;
            case 4: z->words[i] = word(R); break;
            default: z->words[i] = static_cast<int16_t>(uniform(0, top)); break;
        }
    }
    // Long runs in the middle of otherwise random words.
    if (shape >= 5 && n > 4 && chance(50)) {
        const int32_t from = static_cast<int32_t>(uniform(1, n - 1)), to = static_cast<int32_t>(uniform(from, n));
        const int16_t run = chance(50) ? top : 0;
        for (int32_t i = from; i < to; ++i) z->words[i] = run;
    }
    const int64_t lead = uniform(0, 3);
    if (lead < 2) z->words[0] = lead == 0 ? 1 : top;
    if (z->words[0] == 0) z->words[0] = static_cast<int16_t>(uniform(1, top));
    z->sign = chance(50) ? 1 : -1;
    z->exponent = static_cast<int32_t>(uniform(-max_exp, max_exp));
}
