// Newton iterations against MPFR: 1/sqrt(8), square roots and reciprocals.
// Truncated products and the last step's rounding leave the final words
// uncertain, so each result is measured by how many trailing words its
// deviation from the MPFR value reaches; all others must agree.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/hp_newton.h"
#include "gmp_reference.h"

namespace {

// Trailing words that may differ from the true value.
constexpr int32_t kTrailingWords = 2;

// The largest deviation seen, in units of the last word, for the log.
mpz_class g_worst_units = 0;

struct NewtonWork {
    explicit NewtonWork(int32_t words)
        : n(words), N(words - 2), t1(hp_make(n)), t2(hp_make(n)),
          T1(static_cast<size_t>(N) + 2), T2(T1.size()), T3(T1.size()) {}
    int32_t n, N;
    HpPtr t1, t2;
    std::vector<double> T1, T2, T3;
};

class Mpfr {
public:
    explicit Mpfr(mpfr_prec_t bits) { mpfr_init2(v_, bits); }
    ~Mpfr() { mpfr_clear(v_); }
    Mpfr(const Mpfr&) = delete;
    Mpfr& operator=(const Mpfr&) = delete;
    mpfr_ptr get() { return v_; }

private:
    mpfr_t v_;
};

// Trailing words of x that differ from v; fails beyond kTrailingWords.
int32_t check_close(int32_t n, uint32_t R, const HpNumber* x, mpfr_srcptr v, const char* what) {
    const mpz_class d = ulps_from(n, R, x, exact_of_mpfr(n, R, v));
    const int32_t words = words_touched(R, d);
    if (abs(d) > g_worst_units) g_worst_units = abs(d);
    EXPECT_LE(words, kTrailingWords) << what << ": " << (mpz_sizeinbase(d.get_mpz_t(), 10) < 40 ? d.get_str() : "huge")
                                     << " units of the last word off";
    if (mpfr_sgn(v) != 0) {
        EXPECT_EQ(x->sign, mpfr_sgn(v) > 0 ? 1 : -1) << what;
    }
    return words;
}

struct Worst {
    int32_t words = 0;
    void take(int32_t w) { words = w > words ? w : words; }
};


// 1/sqrt(8), sqrt(x) and 1/x for several x at one length and radix.
void check_newton(HpRandom& rnd, int32_t n, uint32_t R, int samples, Worst& worst) {
    NewtonWork w(n);
    HpPtr x = hp_make(n), y = hp_make(n);
    Mpfr ref(mpfr_bits_for(n, R)), arg(mpfr_bits_for(n, R));

    hp_inv_sqrt(n, R, y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
    mpfr_set_ui(ref.get(), 8, MPFR_RNDN);
    mpfr_rec_sqrt(ref.get(), ref.get(), MPFR_RNDN);
    worst.take(check_close(n, R, y.get(), ref.get(), "1/sqrt(8)"));
    EXPECT_EQ(y->exponent, -1);

    for (int c = 0; c < samples; ++c) {
        rnd.fill(n, R, x.get(), 4);
        x->sign = 1;
        mpfr_set_hp(n, R, x.get(), arg.get());
        hp_sqrt(n, R, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
        mpfr_sqrt(ref.get(), arg.get(), MPFR_RNDN);
        worst.take(check_close(n, R, y.get(), ref.get(), "sqrt"));
        // t1 is left near 1/sqrt(x), to about half the words.
        mpfr_rec_sqrt(ref.get(), arg.get(), MPFR_RNDN);
        const mpz_class d = ulps_from(n, R, w.t1.get(), exact_of_mpfr(n, R, ref.get()));
        EXPECT_LE(words_touched(R, d), n / 2 + 2) << "t1 after sqrt";

        if (rnd.chance(50)) x->sign = -1;
        mpfr_set_hp(n, R, x.get(), arg.get());
        hp_inverse(n, R, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T2.data(), w.T3.data());
        mpfr_ui_div(ref.get(), 1, arg.get(), MPFR_RNDN);
        worst.take(check_close(n, R, y.get(), ref.get(), "inverse"));
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "sample " << c << ": x " << x->sign << "/" << x->exponent << " word 0 " << x->words[0];
            return;
        }
    }
}

TEST(HpNewton, MatchesMpfrAtModerateLengths) {
    HpRandom rnd("HpNewton");
    for (const uint32_t R : kRadices) {
        Worst worst;
        for (const int32_t N : {4, 8, 64, 1024, 4096}) {
            SCOPED_TRACE(::testing::Message() << "R=" << R << " N=" << N);
            check_newton(rnd, N + 2, R, N <= 64 ? 12 : 3, worst);
            if (HasFailure()) return;
        }
        std::printf("[ measured ] R=%u: at most %d trailing words differ from MPFR (%s units of the last word)\n",
                    R, worst.words, g_worst_units.get_str().c_str());
        g_worst_units = 0;
    }
}

TEST(HpNewton, ExactAndKnownValues) {
    const int32_t n = 66;
    NewtonWork w(n);
    HpPtr x = hp_make(n), y = hp_make(n), want = hp_make(n);
    auto sqrt_of = [&](int32_t L, const char* text) {
        hp_parse(n, L, text, x.get());
        hp_sqrt(n, L == 1 ? 10 : 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
    };
    sqrt_of(4, "4");
    hp_parse(n, 4, "2", want.get());
    EXPECT_TRUE(same_number(n, y.get(), want.get())) << "sqrt(4)";
    sqrt_of(4, "0.01");
    hp_parse(n, 4, "0.1", want.get());
    EXPECT_TRUE(same_number(n, y.get(), want.get())) << "sqrt(0.01)";
    EXPECT_EQ(y->exponent, -1);
    EXPECT_EQ(y->words[0], 1000);
    // Odd exponents with R = 10: sqrt(100) = 10 exactly; sqrt(10) = 3.162...
    sqrt_of(1, "100");
    hp_parse(n, 1, "10", want.get());
    EXPECT_TRUE(same_number(n, y.get(), want.get())) << "sqrt(100)";
    sqrt_of(1, "10");
    EXPECT_EQ(y->exponent, 0);
    EXPECT_EQ(std::vector<int>(y->words, y->words + 4), (std::vector<int>{3, 1, 6, 2}));

    hp_parse(n, 4, "3", x.get());
    hp_inverse(n, 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T2.data(), w.T3.data());
    EXPECT_EQ(y->exponent, -1);
    for (int32_t i = 0; i < n - kTrailingWords; ++i) ASSERT_EQ(y->words[i], 3333) << "1/3, word " << i;

    // A negative x leaves y alone, zero gives zero; 1/0 leaves b alone.
    hp_parse(n, 4, "7", y.get());
    hp_copy(n, y.get(), want.get());
    hp_parse(n, 4, "-4", x.get());
    hp_sqrt(n, 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
    EXPECT_TRUE(same_number(n, y.get(), want.get())) << "sqrt(-4)";
    hp_set_zero(n, x.get());
    hp_inverse(n, 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T2.data(), w.T3.data());
    EXPECT_TRUE(same_number(n, y.get(), want.get())) << "1/0";
    hp_sqrt(n, 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
    hp_set_zero(n, want.get());
    EXPECT_TRUE(same_number(n, y.get(), want.get())) << "sqrt(0)";
}

TEST(HpNewton, RunLength) {
    HpRandom rnd("HpNewton.RunLength");
    const int32_t n = kRunWords;
    const uint32_t R = 10000;
    Worst worst;
    check_newton(rnd, n, R, 1, worst);
    std::printf("[ measured ] full length, R=%u: at most %d trailing words differ from MPFR (%s units of the last word)\n",
                R, worst.words, g_worst_units.get_str().c_str());
}

}  // namespace
