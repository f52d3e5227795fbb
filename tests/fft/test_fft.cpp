// The transform against direct sums in long double, its building blocks one by
// one, its error on a large digit convolution, and the split twiddle walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "fft/fft.h"
#include "fft/fft_kernels.h"
#include "fft/fft_split_twiddle.h"

namespace {

using ld = long double;
constexpr ld pi_ld = 3.141592653589793238462643383279502884L;
constexpr uint64_t seed = 20240611;

struct cld {
    ld re;
    ld im;
};

std::vector<double> random_doubles(int32_t n, uint64_t salt) {
    std::mt19937_64 gen(seed + salt);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) x = dist(gen);
    return v;
}

// Direct sum Y_j = sum_k y_k e^{sign 2 pi i (j + h) k / M} with h = 1/2 for an
// odd block and 0 for a plain one; M = in.size()/2 complex values.
std::vector<cld> naive_dft(const std::vector<double>& in, bool odd, int sign) {
    const size_t m = in.size() / 2;
    const size_t period = 2 * m;  // angles in units of 2 pi / (2M)
    std::vector<cld> unit(period);
    for (size_t t = 0; t < period; ++t) {
        const ld a = 2 * pi_ld * static_cast<ld>(t) / static_cast<ld>(period);
        unit[t] = {cosl(a), sign * sinl(a)};
    }
    std::vector<cld> out(m);
    for (size_t j = 0; j < m; ++j) {
        const size_t f = 2 * j + (odd ? 1 : 0);
        ld re = 0, im = 0;
        size_t idx = 0;
        for (size_t k = 0; k < m; ++k) {
            const cld w = unit[idx];
            const ld yr = in[2 * k], yi = in[2 * k + 1];
            re += yr * w.re - yi * w.im;
            im += yr * w.im + yi * w.re;
            idx = (idx + f) % period;
        }
        out[j] = {re, im};
    }
    return out;
}

size_t reverse_bits(size_t j, size_t count) {
    size_t r = 0;
    for (size_t b = 1; b < count; b <<= 1) r = (r << 1) | ((j & b) ? 1 : 0);
    return r;
}

// max_j |got[pos(j)] - want[j]| / max_j |want[j]|, pos(j) = rev(j) if asked.
double relative_error(const std::vector<double>& got, const std::vector<cld>& want,
                      bool bit_reversed) {
    ld worst = 0, scale = 0;
    for (size_t j = 0; j < want.size(); ++j) {
        const size_t pos = bit_reversed ? reverse_bits(j, want.size()) : j;
        const ld dr = got[2 * pos] - want[j].re, di = got[2 * pos + 1] - want[j].im;
        worst = std::fmax(worst, std::sqrt(dr * dr + di * di));
        scale = std::fmax(scale, std::sqrt(want[j].re * want[j].re + want[j].im * want[j].im));
    }
    return static_cast<double>(worst / scale);
}

// A correct transform of N points stays within a few units of 2^-53 times
// log2 N relative to its largest output; a single wrong factor does not.
double error_bound(size_t values) {
    return 1.5e-16 * (2.0 + std::log2(static_cast<double>(values)));
}

// ------------------------------------------------------------ whole transform

TEST(FftComplex, MatchesDirectSumAtEveryLengthBothDirections) {
    std::printf("random seed %llu\n", static_cast<unsigned long long>(seed));
    for (int32_t n = 2; n <= 4096; n *= 2) {
        for (int32_t dir : {1, -1}) {
            const std::vector<double> in = random_doubles(n, static_cast<uint64_t>(n));
            std::vector<double> data = in;
            fft_complex(n, dir, data.data());
            const double err = relative_error(data, naive_dft(in, false, dir), false);
            EXPECT_LT(err, error_bound(in.size() / 2)) << "n=" << n << " direction=" << dir;
        }
    }
}

TEST(FftComplex, ShortLengthsAndImpulses) {
    for (int32_t dir : {1, -1}) {
        std::vector<double> two = {0.25, -3.5};
        fft_complex(2, dir, two.data());
        EXPECT_EQ(two, (std::vector<double>{0.25, -3.5}));

        std::vector<double> four = {1.0, 2.0, 5.0, -7.0};
        fft_complex(4, dir, four.data());
        EXPECT_EQ(four, (std::vector<double>{6.0, -5.0, -4.0, 9.0}));

        std::vector<double> eight(8, 0.0);
        eight[2] = 1.0;
        fft_complex(8, dir, eight.data());
        const double s = dir > 0 ? 1.0 : -1.0;
        EXPECT_EQ(eight, (std::vector<double>{1, 0, 0, s, -1, 0, 0, -s}));

        for (int32_t n = 2; n <= 1 << 12; n *= 2) {
            std::vector<double> impulse(static_cast<size_t>(n), 0.0);
            impulse[0] = 1.0;
            fft_complex(n, dir, impulse.data());
            for (int32_t j = 0; j < n; j += 2) {
                ASSERT_EQ(impulse[static_cast<size_t>(j)], 1.0) << "n=" << n << " j=" << j;
                ASSERT_EQ(impulse[static_cast<size_t>(j) + 1], 0.0) << "n=" << n << " j=" << j;
            }
        }
    }
}

// ------------------------------------------------------------ building blocks

struct block_case {
    const char* name;
    int32_t n;
    bool odd;
    void (*run)(int32_t, double*);
};

void run_kernel8(int32_t, double* d) { fft_kernel8(d); }
void run_kernel8_odd(int32_t, double* d) { fft_kernel8_odd(d); }
void run_kernel16(int32_t, double* d) { fft_kernel16(d); }
void run_kernel16_odd(int32_t, double* d) { fft_kernel16_odd(d); }
void run_small_leaf(int32_t n, double* d) {
    fft_stage_plain(n, d);
    fft_leaf_small(n, d);
}
void run_plain_leaf(int32_t n, double* d) {
    fft_stage_plain(n, d);
    fft_leaf_plain(n, d);
}
void run_odd_leaf(int32_t n, double* d) {
    fft_stage_odd(n, d);
    fft_leaf_odd(n, d);
}

TEST(FftBlocks, EveryBlockRoutineMatchesDirectSumAtBitReversedPositions) {
    const block_case cases[] = {
        {"kernel8", 16, false, run_kernel8},
        {"kernel8_odd", 16, true, run_kernel8_odd},
        {"kernel16", 32, false, run_kernel16},
        {"kernel16_odd", 32, true, run_kernel16_odd},
        {"stage+leaf_small", 64, false, run_small_leaf},
        {"stage+leaf_small", 128, false, run_small_leaf},
        {"stage+leaf_plain", 256, false, run_plain_leaf},
        {"stage+leaf_plain", 512, false, run_plain_leaf},
        {"stage_odd+leaf_odd", 256, true, run_odd_leaf},
        {"stage_odd+leaf_odd", 512, true, run_odd_leaf},
        {"recurse_plain", 256, false, fft_recurse_plain},
        {"recurse_plain", 1024, false, fft_recurse_plain},
        {"recurse_plain", 2048, false, fft_recurse_plain},
        {"recurse_plain", 8192, false, fft_recurse_plain},
        {"recurse_odd", 256, true, fft_recurse_odd},
        {"recurse_odd", 512, true, fft_recurse_odd},
        {"recurse_odd", 1024, true, fft_recurse_odd},
        {"recurse_odd", 2048, true, fft_recurse_odd},
        {"recurse_odd", 8192, true, fft_recurse_odd},
    };
    for (const block_case& c : cases) {
        const std::vector<double> in = random_doubles(c.n, static_cast<uint64_t>(c.n) * 3 + c.odd);
        std::vector<double> data = in;
        c.run(c.n, data.data());
        const double err = relative_error(data, naive_dft(in, c.odd, 1), true);
        EXPECT_LT(err, error_bound(in.size() / 2)) << c.name << " n=" << c.n;
    }
}

// A stage alone: its quarters, transformed directly as the kinds the stage
// promises, give the block's transform in the promised order.
TEST(FftBlocks, StagesLeaveQuartersOfTheStatedKinds) {
    for (bool odd : {false, true}) {
        for (int32_t n : {64, 128, 1024}) {
            const std::vector<double> in = random_doubles(n, static_cast<uint64_t>(n) + 77 + odd);
            std::vector<double> data = in;
            odd ? fft_stage_odd(n, data.data()) : fft_stage_plain(n, data.data());
            const std::vector<cld> want = naive_dft(in, odd, 1);
            const bool kinds[2][4] = {{false, true, false, false}, {false, true, false, true}};
            const size_t quarter = static_cast<size_t>(n) / 4;
            const size_t residue[4] = {0, 2, 1, 3};
            ld worst = 0, scale = 0;
            for (size_t r = 0; r < 4; ++r) {
                const std::vector<double> part(data.begin() + static_cast<std::ptrdiff_t>(r * quarter),
                                               data.begin() + static_cast<std::ptrdiff_t>((r + 1) * quarter));
                const std::vector<cld> got = naive_dft(part, kinds[odd][r], 1);
                for (size_t j = 0; j < got.size(); ++j) {
                    const cld w = want[4 * j + residue[r]];
                    worst = std::fmax(worst, std::hypot(got[j].re - w.re, got[j].im - w.im));
                    scale = std::fmax(scale, std::hypot(w.re, w.im));
                }
            }
            EXPECT_LT(static_cast<double>(worst / scale), error_bound(static_cast<size_t>(n) / 2))
                << (odd ? "odd" : "plain") << " stage n=" << n;
        }
    }
}

TEST(FftBlocks, BitReversalMovesEveryValueOnceAndConjugatesAll) {
    for (int32_t n = 2; n <= 1 << 17; n *= 2) {
        const size_t count = static_cast<size_t>(n) / 2;
        std::vector<double> data(static_cast<size_t>(n));
        for (size_t j = 0; j < count; ++j) {
            data[2 * j] = static_cast<double>(j);
            data[2 * j + 1] = static_cast<double>(j) + 0.5;
        }
        std::vector<double> conj = data;
        fft_bit_reverse(n, data.data());
        fft_bit_reverse_conj(n, conj.data());
        for (size_t j = 0; j < count; ++j) {
            const double src = static_cast<double>(reverse_bits(j, count));
            ASSERT_EQ(data[2 * j], src) << "n=" << n << " j=" << j;
            ASSERT_EQ(data[2 * j + 1], src + 0.5) << "n=" << n << " j=" << j;
            ASSERT_EQ(conj[2 * j], src) << "n=" << n << " j=" << j;
            ASSERT_EQ(conj[2 * j + 1], -(src + 0.5)) << "n=" << n << " j=" << j;
        }
    }
}

// ---------------------------------------------------------- full-size length

constexpr int32_t engine_length = 1 << 21;

TEST(FftLarge, RoundTripAtEngineLength) {
    const std::vector<double> in = random_doubles(engine_length, 5);
    std::vector<double> data = in;
    fft_complex(engine_length, 1, data.data());
    fft_complex(engine_length, -1, data.data());
    const double scale = 1.0 / (engine_length / 2);
    double worst = 0;
    for (size_t j = 0; j < in.size(); ++j) worst = std::fmax(worst, std::fabs(data[j] * scale - in[j]));
    std::printf("round trip at n=%d: max |backward(forward(x))/N - x| = %.3e (inputs in [-1,1))\n",
                engine_length, worst);
    EXPECT_LT(worst, 1e-14);
}

// Squares a sequence of balanced radix-10000 digits by transform and checks
// how far the results land from the exact integers they stand for. Values
// reach about 1e11, so double rounding alone puts the worst one some 1e-4 off;
// a twiddle factor that drifts by 1e-12 would cost about 0.1.
TEST(FftLarge, DigitSquaringErrorAtEngineLength) {
    std::mt19937_64 gen(seed);
    std::uniform_int_distribution<int> digit(-5000, 4999);
    std::vector<double> data(engine_length);
    for (double& x : data) x = digit(gen);
    fft_complex(engine_length, 1, data.data());
    for (size_t j = 0; j < data.size(); j += 2) {
        const double re = data[j], im = data[j + 1];
        data[j] = re * re - im * im;
        data[j + 1] = 2.0 * re * im;
    }
    fft_complex(engine_length, -1, data.data());
    const double scale = 1.0 / (engine_length / 2);
    double worst = 0;
    for (double x : data) {
        const double v = x * scale;
        worst = std::fmax(worst, std::fabs(v - std::nearbyint(v)));
    }
    std::printf("complex cyclic self-convolution at n=%d, digits in [-5000,5000): max distance "
                "to an integer = %.3e\n",
                engine_length, worst);
    EXPECT_LT(worst, 1e-3);
}

// Real-sequence squaring as the multiplication engine does it (packed real
// sequence, split, square, merge), on the digit pattern of its radix probe:
// 9, 10 and then 5 in half of the 2^21 positions. The probe accepts radix
// 10000 only when the worst distance to an integer stays below 1.94e-7.
TEST(FftLarge, RealSquaringErrorOnRadixProbePattern) {
    std::vector<double> data(engine_length, 0.0);
    data[0] = 9.0;
    data[1] = 10.0;
    for (size_t j = 2; j <= engine_length / 2; ++j) data[j] = 5.0;
    fft_complex(engine_length, 1, data.data());
    const double e = data[0], o = data[1];
    data[0] = e * e + o * o;
    data[1] = 2.0 * e * o;
    const auto square = [&](size_t at) {
        const double re = data[at], im = data[at + 1];
        data[at] = re * re - im * im;
        data[at + 1] = 2.0 * re * im;
    };
    square(engine_length / 2);
    fft_for_each_split_pair(engine_length, [&](int32_t p, int32_t q, double w_re, double w_im) {
        const size_t ip = 2 * static_cast<size_t>(p), iq = 2 * static_cast<size_t>(q);
        double d_re = data[ip] - data[iq], d_im = data[ip + 1] + data[iq + 1];
        double y_re = w_re * d_re - w_im * d_im, y_im = w_re * d_im + w_im * d_re;
        data[ip] -= y_re;
        data[ip + 1] -= y_im;
        data[iq] += y_re;
        data[iq + 1] -= y_im;
        square(ip);
        square(iq);
        d_re = data[ip] - data[iq];
        d_im = data[ip + 1] + data[iq + 1];
        y_re = w_re * d_re + w_im * d_im;
        y_im = w_re * d_im - w_im * d_re;
        data[ip] -= y_re;
        data[ip + 1] -= y_im;
        data[iq] += y_re;
        data[iq + 1] -= y_im;
    });
    fft_complex(engine_length, -1, data.data());
    const double scale = 2.0 / engine_length;
    double worst = 0;
    for (double x : data) {
        const double v = x * scale;
        worst = std::fmax(worst, std::fabs(v - std::nearbyint(v)));
    }
    // Middle value: 9*5 and 10*5 twice each, 5*5 at every other overlap.
    EXPECT_EQ(std::nearbyint(data[engine_length / 2] * scale), 25.0 * (engine_length / 2 - 3) + 190.0);
    std::printf("real squaring of the radix probe pattern at n=%d: max distance to an integer = "
                "%.3e\n",
                engine_length, worst);
    EXPECT_LT(worst, 3e-8);
}

// ------------------------------------------------------------- split twiddle

TEST(SplitTwiddle, VisitsPairsFromTheMiddleOutwardsWithAccurateFactors) {
    int calls = 0;
    fft_for_each_split_pair(4, [&](int32_t, int32_t, double, double) { ++calls; });
    EXPECT_EQ(calls, 0);

    double worst_all = 0;
    for (int32_t n = 8; n <= engine_length; n *= 2) {
        const int32_t count = n / 2;
        int32_t expect_p = count / 2 - 1;
        bool order_ok = true;
        double worst = 0;
        fft_for_each_split_pair(n, [&](int32_t p, int32_t q, double w_re, double w_im) {
            if (p != expect_p || q != count - p) order_ok = false;
            --expect_p;
            const ld a = pi_ld * p / count;
            worst = std::fmax(worst, static_cast<double>(std::fabs(w_re - (0.5L - 0.5L * sinl(a)))));
            worst = std::fmax(worst, static_cast<double>(std::fabs(w_im - 0.5L * cosl(a))));
        });
        EXPECT_TRUE(order_ok) << "n=" << n;
        EXPECT_EQ(expect_p, 0) << "n=" << n;
        EXPECT_LT(worst, 2e-15) << "n=" << n;
        worst_all = std::fmax(worst_all, worst);
    }
    std::printf("split twiddle, n = 8 .. %d: max |w - exact| = %.3e\n", engine_length, worst_all);
}

// Splitting the transform of a packed real sequence with the walk's factors
// gives the sequence's real DFT; merging with conj(w) undoes the split.
TEST(SplitTwiddle, SplitOfPackedSpectrumIsTheRealDft) {
    for (int32_t n : {8, 16, 64, 512, 2048}) {
        const int32_t count = n / 2;
        const std::vector<double> x = random_doubles(n, static_cast<uint64_t>(n) + 1000);
        std::vector<double> z = x;
        fft_complex(n, 1, z.data());
        const std::vector<double> packed = z;
        fft_for_each_split_pair(n, [&](int32_t p, int32_t q, double w_re, double w_im) {
            const double d_re = z[2 * p] - z[2 * q], d_im = z[2 * p + 1] + z[2 * q + 1];
            const double y_re = w_re * d_re - w_im * d_im, y_im = w_re * d_im + w_im * d_re;
            z[2 * p] -= y_re;
            z[2 * p + 1] -= y_im;
            z[2 * q] += y_re;
            z[2 * q + 1] -= y_im;
        });
        // Direct real DFT X_p = sum_t x_t e^{+2 pi i t p / n}.
        ld worst = 0, scale = 0;
        for (int32_t p = 1; p < count; ++p) {
            ld re = 0, im = 0;
            for (int32_t t = 0; t < n; ++t) {
                const ld a = 2 * pi_ld * static_cast<ld>((static_cast<int64_t>(t) * p) % n) / n;
                re += x[t] * cosl(a);
                im += x[t] * sinl(a);
            }
            worst = std::fmax(worst, std::hypot(z[2 * p] - re, z[2 * p + 1] - im));
            scale = std::fmax(scale, std::hypot(re, im));
        }
        EXPECT_LT(static_cast<double>(worst / scale), error_bound(static_cast<size_t>(count)))
            << "n=" << n;
        ld even = 0, odd = 0;
        for (int32_t t = 0; t < n; t += 2) {
            even += x[t];
            odd += x[t + 1];
        }
        EXPECT_NEAR(z[0], static_cast<double>(even), 1e-12) << "n=" << n;
        EXPECT_NEAR(z[1], static_cast<double>(odd), 1e-12) << "n=" << n;

        fft_for_each_split_pair(n, [&](int32_t p, int32_t q, double w_re, double w_im) {
            const double d_re = z[2 * p] - z[2 * q], d_im = z[2 * p + 1] + z[2 * q + 1];
            const double y_re = w_re * d_re + w_im * d_im, y_im = w_re * d_im - w_im * d_re;
            z[2 * p] -= y_re;
            z[2 * p + 1] -= y_im;
            z[2 * q] += y_re;
            z[2 * q + 1] -= y_im;
        });
        for (size_t j = 0; j < z.size(); ++j) ASSERT_NEAR(z[j], packed[j], 1e-12) << "n=" << n;
    }
}

}  // namespace
