#include "engine/hp_product.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "engine/engine_isa.h"
#include "engine/fft_pointwise.h"
#include "engine/pointwise_pairs.h"
#include "engine/word_vectors.h"
#include "fft/fft.h"
#include "fft/fft_fused.h"

namespace {

inline double* transform_of(double* buf) { return buf + 1; }

inline void backward(int32_t nfft, double* buf) { fft_complex(nfft, -1, transform_of(buf)); }

// Words of a factor that one buffer takes: all n, or the leading half of the
// transform plus one when n is longer.
inline int32_t factor_words(int32_t n, int32_t nfft) {
    if (n < 1) return 0;
    return nfft / 2 < n ? nfft / 2 + 1 : n;
}

inline Complex dc_of(const double* buf) { return {buf[1], buf[2]}; }

inline void set_dc(double* buf, Complex v) {
    buf[1] = v.re;
    buf[2] = v.im;
}

// floor(t / R) for the four radices, with the divisor a constant so the
// division becomes a multiplication.
template <int64_t R>
inline int64_t floor_div(int64_t t) {
    const int64_t q = t / R;
    return q - ((t % R) < 0 ? 1 : 0);
}

inline int64_t floor_div_r(int64_t t, uint32_t R) {
    switch (R) {
        case 10: return floor_div<10>(t);
        case 100: return floor_div<100>(t);
        case 1000: return floor_div<1000>(t);
        case 10000: return floor_div<10000>(t);
        default: {
            const int64_t r = R, q = t / r;
            return q - ((t % r) < 0 ? 1 : 0);
        }
    }
}

// Rounds the convolution values buf[i - b] * scale, i = hi .. lo, to
// integers and propagates carries from the least significant word up,
// writing words hi-1 .. lo-1 in [0, R); returns the carry out of word lo-1.
// Convolution values are within the transform's error of integers (the
// radix test makes sure), so rounding to nearest is exact, and integer
// carries give the same words as any exact splitting.
//
// Four stretches of words run as independent chains, each from carry 0 (the
// lowest one from `carry`), interleaved so their latencies overlap; then the
// carry out of each stretch is added into the lowest word of the stretch
// above it. Each stretch's words and carry represent its exact sum, so the
// words are the same as those of one chain over everything.
template <int64_t R>
struct CarryChain {
    // Carries run biased by a multiple of R so that every division is of a
    // non-negative number: one multiplication and a shift on the critical
    // path instead of a signed division with its correction.
    static constexpr uint64_t bias_words = uint64_t{1} << 40;
    static constexpr uint64_t bias = bias_words * R;

    static inline uint64_t step(double value, uint64_t biased, int16_t* word) {
        const uint64_t t = static_cast<uint64_t>(std::llrint(value)) + biased;
        const uint64_t q = t / R;
        *word = static_cast<int16_t>(t - q * R);
        return q - bias_words + bias;
    }

    static int64_t serial(int32_t hi, int32_t lo, int32_t b, double scale, const double* buf, int16_t* words,
                          int64_t carry) {
        uint64_t biased = static_cast<uint64_t>(carry) + bias;
        for (int32_t i = hi; i >= lo; --i) biased = step(scale * buf[i - b], biased, &words[i - 1]);
        return static_cast<int64_t>(biased - bias);
    }

    // Adds `carry` at word `low` and carries upward no further than word
    // `top`; returns what leaves word `top`.
    static int64_t absorb(int16_t* words, int32_t low, int32_t top, int64_t carry) {
        for (int32_t k = low; k >= top && carry != 0; --k) {
            const int64_t t = words[k] + carry;
            int64_t q = t / R;
            if (t - q * R < 0) --q;
            words[k] = static_cast<int16_t>(t - q * R);
            carry = q;
        }
        return carry;
    }

    static int64_t run(int32_t K, int32_t b, double scale, const double* buf, int16_t* words, int64_t carry) {
        constexpr int32_t chains = 4;
        const int32_t count = K - 1;  // indices K .. 2
        if (count < 64 * chains) return serial(K, 2, b, scale, buf, words, carry);
        const int32_t len = count / chains;
        // Stretch c takes indices top[c] .. top[c] - len + 1; the last one
        // also the few indices left above it, down to 2.
        int32_t top[chains];
        for (int32_t c = 0; c < chains; ++c) top[c] = K - c * len;
        uint64_t biased[chains];
        biased[0] = static_cast<uint64_t>(carry) + bias;
        for (int32_t c = 1; c < chains; ++c) biased[c] = bias;
        for (int32_t u = 0; u < len; ++u) {
            for (int32_t c = 0; c < chains; ++c) {
                const int32_t i = top[c] - u;
                biased[c] = step(scale * buf[i - b], biased[c], &words[i - 1]);
            }
        }
        int64_t carry_out[chains];
        for (int32_t c = 0; c < chains; ++c) carry_out[c] = static_cast<int64_t>(biased[c] - bias);
        carry_out[chains - 1] = serial(top[chains - 1] - len, 2, b, scale, buf, words, carry_out[chains - 1]);
        // Stretch c-1 lies below stretch c: its carry joins stretch c's
        // lowest word (word top[c] - 1) and may run up to its highest.
        int64_t pending = carry_out[0];
        for (int32_t c = 1; c < chains; ++c) {
            const int32_t highest = c == chains - 1 ? 1 : top[c] - len;
            pending = absorb(words, top[c] - 1, highest, pending) + carry_out[c];
        }
        return pending;
    }
};

// The carry pass for radix 10000 with vectors, no chain through the words.
// Each rounded value v at index i is split exactly as lo + hi R^2 with |lo|
// <= R^2/2 + 1, and hi joins the lo of index i - 2: the sum S at each index
// is split as a + b R with a balanced, and the word of index i gets a[i] +
// b[i + 1]. With |v| < 2^51, |S| < R^2/2 + 2^51/R^2 + 1 < 0.73 R^2, so those
// sums stay within 1.3 R of zero; they go out as 16-bit words, and
// settle_words finishes them. Every step is exact integer arithmetic
// (doubles stay well below 2^53), so the words and the carry out are those
// of the serial chain.
template <int VB>
struct CarryVec {
    static constexpr int L = VB / 8;
    using F = typename wv::Types<VB>::F64;
    using M = typename wv::Types<VB>::I64;
    using U32 = typename wv::Types<VB>::U32;
    using I32 = typename wv::Types<VB>::I32q;
    using I16 = typename wv::Types<VB>::I16q;
    static_assert(L >= 2, "the high parts reach two words up");
    static_assert(VB == 32 || VB == 64, "the x86 variants with AVX only");

    static constexpr double R = 10000.0;
    static constexpr double limit = 0x1p50;
    // With AVX-512 the values are asked for 16 KiB ahead of the walk from
    // the last towards the first: the pass over 2^21 values took about 12 %
    // less time than with the hardware's fetching alone (8 to 32 KiB alike;
    // AMD EPYC). The AVX2 pass, with twice the steps per value, gained
    // nothing.
    static constexpr intptr_t carry_fetch_bytes = 16384;

    static ENGINE_INLINE F splat(double v) { return F{} + v; }

    // Rounds to nearest, ties to even, in one instruction; adding and
    // subtracting 1.5 * 2^52 rounds the same way in two, and the AVX2 pass
    // took 1.1 times as long with them (AMD EPYC of family 25). Only the
    // sign of a zero result can differ between them, and no word sees it.
    static ENGINE_INLINE F rint(F x) {
#if ENGINE_VECTOR_ASM
        if constexpr (VB == 64) {
            asm("vrndscalepd $8, %1, %0" : "=v"(x) : "v"(x));
        } else {
            asm("vroundpd $8, %1, %0" : "=x"(x) : "x"(x));
        }
        return x;
#else
        const F m = splat(0x1.8p52);
        return (x + m) - m;
#endif
    }

    // x - q d in one fused instruction: q d is an integer below 2^53, so
    // the product is exact and fusing it changes no value.
    static ENGINE_INLINE F rem(F x, F q, F d) {
#if ENGINE_VECTOR_ASM
        asm("vfnmadd231pd %2, %1, %0" : "+v"(x) : "v"(q), "v"(d));
        return x;
#else
        return x - q * d;
#endif
    }

    // Stores the sums of two neighbouring blocks, `high` the block above
    // `low` in index, as the 16-bit words at `at` (low's first). With AVX2
    // both pack into one register: the sums lie within 2R of zero, so
    // packing with signed saturation keeps them as they are, in one
    // instruction for the two where truncating takes two for each.
    static ENGINE_INLINE void store_words(F low, F high, int16_t* at) {
        const I32 wl = __builtin_convertvector(low, I32), wh = __builtin_convertvector(high, I32);
#if ENGINE_VECTOR_ASM
        if constexpr (VB == 32) {
            typename wv::Types<16>::I16 packed;
            asm("vpackssdw %2, %1, %0" : "=x"(packed) : "x"(wl), "x"(wh));
            std::memcpy(at, &packed, sizeof packed);
            return;
        }
#endif
        const I16 l = __builtin_convertvector(wl, I16), h = __builtin_convertvector(wh, I16);
        std::memcpy(at, &l, sizeof l);
        std::memcpy(at + L, &h, sizeof h);
    }

    // Lanes k .. k + L - 1 of the concatenation (c, p): the block c with the
    // block above it in index, p.
    template <int K, size_t... I>
    static ENGINE_INLINE F shift_impl(F c, F p, std::index_sequence<I...>) {
        return __builtin_shufflevector(c, p, static_cast<int>(I + K)...);
    }
    template <int K>
    static ENGINE_INLINE F shift(F c, F p) {
        return shift_impl<K>(c, p, std::make_index_sequence<L>{});
    }

    // Writes words[i - 1] = the sum of the digits landing on index i, within
    // 2R of zero, for i from K down to the returned j0 (blocks of L words;
    // fewer than 2L indices remain below j0 from 2); *up gets what the
    // values at j0 and above carry into index j0 - 1. Returns -1 when a
    // value is 2^50 or more in magnitude (or not finite), where the doubles
    // might no longer stay exact, or when there are too few words.
    static ENGINE_INLINE int32_t digits(int32_t K, int32_t b, double scale, const double* buf, int16_t* words,
                                        int64_t carry_in, int64_t* up) {
        // U neighbouring blocks a step, their operations interleaved: each
        // block is a long chain of dependent operations, and the processor
        // overlaps more of them when they come in turns. Four took about
        // 7 % less than two over 2^21 positions, three came between (AMD
        // EPYC); with AVX2 on family 25, two took 5 % more.
        constexpr int U = 4;
        static_assert(U <= 4, "carry_vec_wide's length check guarantees one step of four blocks");
        const F r = splat(R), r2 = splat(R * R), ri = splat(1.0 / R), ri2 = splat(1.0 / (R * R));
        const F sc = splat(scale);
        const F zero = splat(0.0);
        const M magnitude = M{} + INT64_MAX;
        F hip = zero, bp = zero;
        F hi[U], bq[U];
        // The largest magnitude so far, as the upper halves of its bits in
        // the odd 32-bit lanes: they order as the values do, with
        // infinities and NaNs above every finite value, and one unsigned
        // maximum of 32-bit lanes takes one instruction with AVX2 where one
        // of 64-bit lanes takes two.
        U32 big = U32{};
        F cin = zero;
        cin[L - 1] = static_cast<double>(carry_in);
        int32_t j = K - L + 1;
        for (; j - (U - 1) * L >= 2; j -= U * L) {
            F p[U], v[U], s[U];
            if constexpr (VB == 64) {
                for (int u = 0; u < U; ++u) wv::fetch_line(buf + (j - u * L - b), -carry_fetch_bytes);
            }
            for (int u = 0; u < U; ++u) {
                F x;
                std::memcpy(&x, buf + j - u * L - b, sizeof x);
                p[u] = x * sc;
            }
            for (int u = 0; u < U; ++u) {
                const U32 bits = __builtin_bit_cast(U32, __builtin_bit_cast(M, p[u]) & magnitude);
                big = bits > big ? bits : big;
            }
            for (int u = 0; u < U; ++u) v[u] = rint(p[u]);
            v[0] += cin;
            cin = zero;
            // v = lo + hi R^2, and hi lands two lanes further on; the sums
            // are of integers, exact in any order.
            for (int u = 0; u < U; ++u) hi[u] = rint(v[u] * ri2);
            for (int u = 0; u < U; ++u) v[u] = rem(v[u], hi[u], r2);
            for (int u = 0; u < U; ++u) v[u] += shift<2>(hi[u], u == 0 ? hip : hi[u - 1]);
            // Then each sum as a + b R, b landing one lane further on. Two
            // shifts per block, where four balanced digits of each value
            // would take three (with AVX2 a shift by one lane takes two
            // instructions, one by two lanes one).
            for (int u = 0; u < U; ++u) bq[u] = rint(v[u] * ri);
            for (int u = 0; u < U; ++u) v[u] = rem(v[u], bq[u], r);
            for (int u = 0; u < U; ++u) s[u] = v[u] + shift<1>(bq[u], u == 0 ? bp : bq[u - 1]);
            static_assert(U % 2 == 0, "the blocks' words go out in pairs");
            for (int u = 0; u < U; u += 2) store_words(s[u + 1], s[u], words + j - (u + 1) * L - 1);
            hip = hi[U - 1];
            bp = bq[U - 1];
        }
        uint32_t largest = 0;
        for (int l = 1; l < 2 * L; l += 2) largest = big[l] > largest ? big[l] : largest;
        if (largest >= static_cast<uint32_t>(__builtin_bit_cast(uint64_t, limit) >> 32)) return -1;
        j += U * L;
        if (j > K) return -1;
        j -= (U - 1) * L;
        // What the lowest block passes below it: its first b, and the hi of
        // its first two values, as one integer at index j - 1.
        *up = static_cast<int64_t>(bq[U - 1][0] + hi[U - 1][0] * R + hi[U - 1][1]);
        return j;
    }
};

// As CarryChain<10000>::run, with the carry out in *carry_out; false when
// the serial chain has to do it.
template <int B>
ENGINE_INLINE bool carry_vec_wide(int32_t K, int32_t b, double scale, const double* buf, int16_t* words,
                                  int64_t carry_in, int64_t* carry_out) {
    using C = CarryVec<B>;
    if (K - 1 < 4 * C::L || carry_in >= int64_t{1} << 50 || carry_in <= -(int64_t{1} << 50)) return false;
    int64_t up = 0;
    const int32_t j0 = C::digits(K, b, scale, buf, words, carry_in, &up);
    if (j0 < 0) return false;
    up += wv::settle_words<B>(j0 - 1, K, 10000, words);
    *carry_out = CarryChain<10000>::serial(j0 - 1, 2, b, scale, buf, words, up);
    return true;
}

template <int B>
ENGINE_INLINE bool carry_vec_impl(int32_t K, int32_t b, double scale, const double* buf, int16_t* words,
                                  int64_t carry_in, int64_t* carry_out) {
    // Two lanes (the baseline) take more operations per word than the
    // serial chain, and so do four when each rounding takes two additions
    // (builds without the vector assembly); four with the rounding
    // instruction, and eight, take less time (measured, AMD EPYC).
    if constexpr (B < 32 || (B == 32 && !ENGINE_VECTOR_ASM)) {
        return false;
    } else {
        return carry_vec_wide<B>(K, b, scale, buf, words, carry_in, carry_out);
    }
}

ENGINE_VARIANTS(bool, carry_vec,
                (int32_t K, int32_t b, double scale, const double* buf, int16_t* words, int64_t carry_in,
                 int64_t* carry_out),
                (K, b, scale, buf, words, carry_in, carry_out))

int64_t carry_words(uint32_t R, int32_t K, int32_t b, double scale, const double* buf, int16_t* words,
                    int64_t carry) {
    if (R == 10000) {
        int64_t out;
        if (carry_vec(K, b, scale, buf, words, carry, &out)) return out;
    }
    switch (R) {
        case 10: return CarryChain<10>::run(K, b, scale, buf, words, carry);
        case 100: return CarryChain<100>::run(K, b, scale, buf, words, carry);
        case 1000: return CarryChain<1000>::run(K, b, scale, buf, words, carry);
        default: return CarryChain<10000>::run(K, b, scale, buf, words, carry);
    }
}

}  // namespace

namespace {

// The B / 2 words of a register as doubles at out. Each half widens to 32
// bits in one instruction and each half of that to doubles in one more;
// GCC converts by halves of halves instead, about twice the instructions.
// AVX2 and AVX-512 only.
template <int B>
struct WordsToDoubles {
    static constexpr int H = B / 4;  // words in half a register
    static_assert(B == 32 || B == 64, "vpmovsxwd and vcvtdq2pd with AVX2 or AVX-512");
    typedef int16_t Words __attribute__((vector_size(B / 2)));
    typedef int32_t Ints __attribute__((vector_size(B)));
    typedef int32_t HalfInts __attribute__((vector_size(B / 2)));
    using Doubles = typename wv::Types<B>::F64;
    using I16 = typename wv::Ops<B>::I16;

    template <int K, class V, size_t... I>
    static ENGINE_INLINE auto take(V v, std::index_sequence<I...>) {
        return __builtin_shufflevector(v, v, static_cast<int>(I + K)...);
    }

    static ENGINE_INLINE void quarter(HalfInts ints, double* out) {
        Doubles d;
        asm("vcvtdq2pd %1, %0" : "=v"(d) : "v"(ints));
        std::memcpy(out, &d, sizeof d);
    }

    template <int K>
    static ENGINE_INLINE void half(I16 w, double* out) {
        const Words words = take<K * H>(w, std::make_index_sequence<H>{});
        Ints ints;
        asm("vpmovsxwd %1, %0" : "=v"(ints) : "v"(words));
        quarter(take<0>(ints, std::make_index_sequence<H / 2>{}), out + K * H);
        quarter(take<H / 2>(ints, std::make_index_sequence<H / 2>{}), out + K * H + H / 2);
    }

    static ENGINE_INLINE void store(I16 w, double* out) {
        half<0>(w, out);
        half<1>(w, out);
    }
};

// buf[j + 1] = the balanced digit of word j of w, for j from hi - 1 down to
// 2; returns the lend out of word 2 (the one more that word 1 takes). A
// word of R/2 or more becomes negative and lends one to the word above,
// which halves the magnitudes entering the transform; a word of R/2 - 1
// passes a lend on, since taking one more brings it to R/2.
template <int B>
ENGINE_INLINE int32_t balanced_digits_impl(int32_t hi, int32_t r, const int16_t* w, double* buf) {
    using V = wv::Ops<B>;
    using I16 = typename V::I16;
    constexpr int32_t lanes = V::lanes;
    // Digits go out B/8 at a time: words to 32-bit integers to doubles.
    constexpr int32_t per = B / 8;
    using I16s = typename wv::Types<B>::I16q;
    using I32s = typename wv::Types<B>::I32q;
    using F64s = typename wv::Types<B>::F64;
    const int32_t half_r = r / 2;
    const int32_t lo = 2;
    int32_t lend = 0;
    auto one = [&](int32_t j) {
        const int32_t v = w[j] + lend;
        lend = v >= half_r ? 1 : 0;
        buf[j + 1] = v - lend * r;
    };
    int32_t j = hi - 1;
    for (const int32_t end = hi - V::scalar_head(lo, hi); j >= end; --j) one(j);
    const I16 R = V::splat(r), H = V::splat(half_r), H1 = V::splat(half_r - 1);
    for (int32_t b = j - (lanes - 1); b >= lo; b -= lanes) {
        const I16 x = V::load(w + b);
        I16 c, e;
        if (V::block_carries(V::load(w + b + 1) >= H, x == H1, lend, &c, &e)) {
            const I16 v = x + c;
            const I16 lends = v >= H;
            const I16 digits = v + e - (lends & R);
            lend = -lends[0];
            if constexpr (B >= 32 && ENGINE_VECTOR_ASM) {
                WordsToDoubles<B>::store(digits, buf + b + 1);
            } else {
                for (int32_t g = 0; g < lanes; g += per) {
                    I16s part;
                    std::memcpy(&part, reinterpret_cast<const char*>(&digits) + 2 * g, sizeof part);
                    const F64s f = __builtin_convertvector(__builtin_convertvector(part, I32s), F64s);
                    std::memcpy(buf + b + 1 + g, &f, sizeof f);
                }
            }
        } else {
            for (int32_t k = b + lanes - 1; k >= b; --k) one(k);
        }
    }
    return lend;
}

ENGINE_VARIANTS(int32_t, balanced_digits, (int32_t hi, int32_t r, const int16_t* w, double* buf),
                (hi, r, w, buf))

}  // namespace

namespace {

// hp_load_transform without the zeros after the loaded words: buf[m + 1] ..
// buf[nfft] are left as they are.
void load_words(int32_t m, uint32_t R, const HpNumber* x, int32_t s, int32_t nfft, double* buf) {
    const int32_t r = static_cast<int32_t>(R);
    buf[0] = static_cast<double>(x->exponent) - s;
    if (m < 1) {
        buf[nfft + 1] = 0.0;
        return;
    }
    const int16_t* w = x->words + s;
    buf[nfft + 1] = static_cast<double>(x->sign * w[0]);
    buf[1] = w[0];
    if (m < 2) return;
    const int32_t lend = balanced_digits(m, r, w, buf);
    buf[2] = w[1] + lend;
}

// Loads m words of x from word s and transforms them forward; the transform
// writes the zeros above them itself.
void load_forward(int32_t m, uint32_t R, const HpNumber* x, int32_t s, int32_t nfft, double* buf) {
    load_words(m, R, x, s, nfft, buf);
    fft_forward_zero_tail(nfft, m < 0 ? 0 : m, transform_of(buf));
}

}  // namespace

void hp_load_transform(int32_t m, uint32_t R, const HpNumber* x, int32_t s, int32_t nfft,
                       double* buf) {
    const int32_t first_zero = m < 0 ? 1 : m + 1;
    std::memset(buf + first_zero, 0, static_cast<size_t>(nfft + 1 - first_zero) * sizeof(double));
    load_words(m, R, x, s, nfft, buf);
}

void hp_from_convolution(int32_t n, uint32_t R, int32_t nfft, double* buf, HpNumber* out) {
    const double r = static_cast<double>(R);
    const double r2 = r * r;
    const double scale = 2.0 / nfft;
    const double lead = buf[nfft + 1];
    const double abs_lead = std::fabs(lead);
    const bool big = abs_lead + 0.5 >= r;
    const int32_t b = big ? 1 : 0;

    // Separate the wrapped position from position 0, whose exact value is
    // the product of the leading words.
    const double v0 = (nfft / 2) * abs_lead;
    buf[nfft + 1] = buf[1] - v0;
    buf[1] = v0;

    int32_t K = nfft + 1 + b;
    if (K < n) {
        std::memset(out->words + K, 0, static_cast<size_t>(n - K) * sizeof(int16_t));
    } else {
        K = n;
    }

    // Carry from the positions below the last formed word; only values whose
    // weight is at least 2^-52 can change it.
    double tail = 0.0;
    const int32_t i0 = K + (big ? 0 : 1);
    double weight = 1.0;
    for (int32_t i = i0; i <= nfft + 1 && weight >= 0x1p-52; ++i, weight /= r) {
        tail += buf[i] * weight;
    }
    const double x = (scale * tail + 0.5) / r2;
    const double held = std::trunc(x) - 1.0;
    const double low = std::trunc(r * (x - held) + 0.5);
    // The tail's carry: `low` into the lowest formed word, `held` into the
    // word above it; as one integer carry into the lowest word.
    const int64_t carry_in = static_cast<int64_t>(held) * static_cast<int64_t>(R) + static_cast<int64_t>(low);

    const int64_t carry = carry_words(R, K, b, scale, buf, out->words, carry_in);

    // Position 0: the exact product of the leading words plus what the
    // words below carry into it.
    const int64_t top_value = carry + (big ? 0 : static_cast<int64_t>(abs_lead + 0.5));
    const int64_t top = floor_div_r(top_value, R);
    out->words[0] = static_cast<int16_t>(top_value - top * static_cast<int64_t>(R));
    int32_t e;
    if (top >= 1) {
        if (n > 1) std::memmove(out->words + 1, out->words, static_cast<size_t>(n - 1) * sizeof(int16_t));
        out->words[0] = static_cast<int16_t>(top);
        e = big ? 2 : 1;
    } else {
        e = big ? 1 : 0;
    }

    const double ex = buf[0] + e + 0.5;
    const double q = std::trunc(ex) - 1.0;
    out->exponent = static_cast<int32_t>(q + std::trunc(ex - q));
    out->sign = lead > 0.5 ? 1 : -1;
    if (out->words[0] == 0) hp_set_zero(n, out);
}

void hp_square(int32_t n, uint32_t R, const HpNumber* a, HpNumber* out, int32_t nfft,
               double* buf) {
    load_forward(factor_words(n, nfft), R, a, 0, nfft, buf);
    buf[0] = 2.0 * buf[0];
    set_dc(buf, spectrum_dc_sqr(dc_of(buf)));
    if (nfft > 2) fft_spectrum_square(nfft, transform_of(buf));
    buf[nfft + 1] = buf[nfft + 1] * buf[nfft + 1];
    backward(nfft, buf);
    hp_from_convolution(n, R, nfft, buf, out);
}

void hp_mul(int32_t n, uint32_t R, const HpNumber* a, const HpNumber* b, HpNumber* out,
            int32_t nfft, double* buf1, double* buf2) {
    const int32_t m = factor_words(n, nfft);
    load_forward(m, R, a, 0, nfft, buf1);
    load_forward(m, R, b, 0, nfft, buf2);
    buf2[0] += buf1[0];
    set_dc(buf2, spectrum_dc_mul(dc_of(buf2), dc_of(buf1)));
    if (nfft > 2) fft_spectrum_mul(nfft, transform_of(buf1), transform_of(buf2));
    buf2[nfft + 1] *= buf1[nfft + 1];
    backward(nfft, buf2);
    hp_from_convolution(n, R, nfft, buf2, out);
}

void hp_mul_held_part(int32_t n, uint32_t R, const double* buf1, const HpNumber* b, int32_t t,
                      int32_t m, HpNumber* out, int32_t nfft, double* buf2) {
    if (m < 1) {
        hp_set_zero(n, out);
        return;
    }
    load_forward(m, R, b, t, nfft, buf2);
    buf2[0] += buf1[0];
    set_dc(buf2, spectrum_dc_mul(dc_of(buf2), dc_of(buf1)));
    if (nfft > 2) fft_spectrum_mul_split(nfft, buf1 + 1, transform_of(buf2));
    buf2[nfft + 1] *= buf1[nfft + 1];
    backward(nfft, buf2);
    hp_from_convolution(n, R, nfft, buf2, out);
}

void hp_mul_transformed(int32_t n, uint32_t R, const double* buf1, int32_t s, const HpNumber* b,
                        HpNumber* out, int32_t nfft, double* buf2) {
    const int32_t t = n <= s ? -1 : hp_first_nonzero(b, s, n);
    const int32_t m = t < 0 ? 0 : factor_words(n - t, nfft);
    hp_mul_held_part(n, R, buf1, b, t, m, out, nfft, buf2);
}

void hp_square_hold(int32_t n, uint32_t R, const HpNumber* a, HpNumber* out, int32_t nfft,
                    double* buf1, double* buf2) {
    load_forward(factor_words(n, nfft), R, a, 0, nfft, buf1);
    buf2[0] = 2.0 * buf1[0];
    set_dc(buf2, spectrum_dc_sqr(dc_of(buf1)));
    if (nfft > 2) {
        double* d1 = transform_of(buf1);
        double* d2 = transform_of(buf2);
        const int32_t mid = nfft / 4;
        spectrum_store(d2, mid, spectrum_sqr(spectrum_load(d1, mid)));
        spectrum_pairs_square_hold(nfft, d1, d2);
    }
    buf2[nfft + 1] = buf1[nfft + 1] * buf1[nfft + 1];
    backward(nfft, buf2);
    hp_from_convolution(n, R, nfft, buf2, out);
}

void hp_square_held(int32_t n, uint32_t R, double* buf1, HpNumber* out, int32_t nfft) {
    buf1[0] = 2.0 * buf1[0];
    set_dc(buf1, spectrum_dc_sqr(dc_of(buf1)));
    if (nfft > 2) fft_spectrum_square_split(nfft, transform_of(buf1));
    buf1[nfft + 1] = buf1[nfft + 1] * buf1[nfft + 1];
    backward(nfft, buf1);
    hp_from_convolution(n, R, nfft, buf1, out);
}

void hp_mul_long(int32_t n, uint32_t R, const HpNumber* a, const HpNumber* b, HpNumber* out,
                 HpNumber* tmp, int32_t nfft, double* buf1, double* buf2, double* buf3) {
    const int32_t h = nfft / 2 + 1;
    const int32_t mid = nfft / 4;
    const int32_t m1 = factor_words(n, nfft);

    int32_t t = -1;
    for (int32_t i = h; i < n; ++i) {
        if (a->words[i] + b->words[i] != 0) {
            t = i;
            break;
        }
    }
    if (t < 0) t = h > n ? h : n;
    const int32_t m2 = t >= n ? 0 : factor_words(n - t, nfft);

    double* d1 = transform_of(buf1);
    double* d2 = transform_of(buf2);
    double* d3 = transform_of(buf3);

    // upper(a) and lower(b): keep split(upper a) in buf1 and the unmerged
    // product upper(a) * lower(b) in buf3.
    load_forward(m1, R, a, 0, nfft, buf1);
    load_forward(m2, R, b, t, nfft, buf3);
    buf3[0] += buf1[0];
    set_dc(buf3, spectrum_dc_mul(dc_of(buf3), dc_of(buf1)));
    if (nfft > 2) {
        spectrum_store(d3, mid, spectrum_mul(spectrum_load(d3, mid), spectrum_load(d1, mid)));
        spectrum_pairs_mul_unmerged(nfft, d1, d3);
    }
    buf3[nfft + 1] *= buf1[nfft + 1];

    // upper(b): keep its split spectrum in buf2 and form upper * upper in buf1.
    load_forward(m1, R, b, 0, nfft, buf2);
    buf1[0] += buf2[0];
    set_dc(buf1, spectrum_dc_mul(dc_of(buf1), dc_of(buf2)));
    if (nfft > 2) {
        spectrum_store(d1, mid, spectrum_mul(spectrum_load(d1, mid), spectrum_load(d2, mid)));
        spectrum_pairs_mul_split_second(nfft, d1, d2);
    }
    buf1[nfft + 1] *= buf2[nfft + 1];
    backward(nfft, buf1);
    hp_from_convolution(n, R, nfft, buf1, tmp);

    // lower(a) * upper(b) joins the other cross term before the one merge.
    load_forward(m2, R, a, t, nfft, buf1);
    set_dc(buf3, spectrum_add(dc_of(buf3), spectrum_dc_mul(dc_of(buf1), dc_of(buf2))));
    if (nfft > 2) {
        spectrum_store(d3, mid, spectrum_add(spectrum_load(d3, mid),
                                             spectrum_mul(spectrum_load(d1, mid), spectrum_load(d2, mid))));
        spectrum_pairs_mul_add_merge(nfft, d1, d2, d3);
    }
    buf3[nfft + 1] += buf2[nfft + 1] * buf1[nfft + 1];
    backward(nfft, buf3);

    const int32_t cross_words = n / 2 + 1 > n - t ? n / 2 + 1 : n - t;
    const int32_t formed = cross_words < n ? cross_words : n;
    hp_from_convolution(formed, R, nfft, buf3, out);
    // The words below the cross terms' reach are not formed; keep the number
    // clean for the addition.
    if (formed < n) std::memset(out->words + formed, 0, static_cast<size_t>(n - formed) * sizeof(int16_t));
    hp_add(n, R, out, tmp, out);
}
