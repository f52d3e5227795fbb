#include "engine/hp_number.h"

#include <cstdlib>
#include <cstring>

#include "engine/engine_isa.h"
#include "engine/word_vectors.h"

namespace {

inline int16_t word_of(int32_t v) { return static_cast<int16_t>(v); }

inline void move_words(int16_t* to, const int16_t* from, int32_t count) {
    if (count > 0) std::memmove(to, from, static_cast<size_t>(count) * sizeof(int16_t));
}

inline void clear_words(int16_t* to, int32_t count) {
    if (count > 0) std::memset(to, 0, static_cast<size_t>(count) * sizeof(int16_t));
}

// Rounds toward minus infinity, unlike '/'.
inline int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// The lines of the operands (small may be null) and of the result ahead of
// add_run and sub_run, with vectors of at least half a line (a line a step
// with AVX-512). An operand overwritten in place is asked for twice, to be
// read and to be written: leaving out the read made a pass slower (1.04).
template <int B>
ENGINE_INLINE void fetch_words(const int16_t* big, const int16_t* small, const int16_t* out) {
    if constexpr (B >= 32) {
        constexpr intptr_t ahead = -wv::word_fetch_bytes;
        wv::fetch_line(big, ahead);
        if (small != nullptr) wv::fetch_line(small, ahead);
        wv::fetch_line<true>(out, ahead);
    }
}

// out[i + o] = big[i] + small[i - shift] + carry, reduced by R, for i from
// hi - 1 down to lo (small taken only when with_small); returns the carry out
// of word lo. Reads every input word of a position before it writes there,
// so out may be big or small.
template <int B, bool with_small>
ENGINE_INLINE int32_t add_run(int32_t lo, int32_t hi, int32_t r, int32_t shift, const int16_t* big,
                              const int16_t* small, int16_t* out, int32_t o, int32_t carry) {
    using V = wv::Ops<B>;
    using I16 = typename V::I16;
    constexpr int32_t lanes = V::lanes;
    auto one = [&](int32_t i) {
        const int32_t v = big[i] + (with_small ? small[i - shift] : 0) + carry;
        carry = v >= r ? 1 : 0;
        out[i + o] = word_of(v - carry * r);
    };
    int32_t i = hi - 1;
    for (const int32_t end = hi - V::scalar_head(lo, hi); i >= end; --i) one(i);
    const I16 R = V::splat(r), R1 = V::splat(r - 1);
    for (int32_t j = i - (lanes - 1); j >= lo; j -= lanes) {
        fetch_words<B>(big + j, with_small ? small + (j - shift) : nullptr, out + (j + o));
        I16 s = V::load(big + j);
        if (with_small) s += V::load(small + j - shift);
        // Each lane's next word, from the same registers: block_carries
        // does not use the last lane's. (Loading it again would wait on
        // the block stored a step ago when the sum is formed in place.)
        const I16 s1 = wv::shift_lanes<1, lanes>(s, s);
        I16 c, e;
        if (V::block_carries(s1 >= R, s == R1, carry, &c, &e)) {
            const I16 v = s + c;
            const I16 out_carry = v >= R;
            V::store(out + j + o, v + e - (out_carry & R));
            carry = -out_carry[0];
        } else {
            for (int32_t k = j + lanes - 1; k >= j; --k) one(k);
        }
    }
    return carry;
}

// out[i + o] = big[i] - small[i - shift] - borrow, lifted by R when
// negative, for i from hi - 1 down to lo; returns the borrow out of word lo.
template <int B, bool with_small>
ENGINE_INLINE int32_t sub_run(int32_t lo, int32_t hi, int32_t r, int32_t shift, const int16_t* big,
                              const int16_t* small, int16_t* out, int32_t o, int32_t borrow) {
    using V = wv::Ops<B>;
    using I16 = typename V::I16;
    constexpr int32_t lanes = V::lanes;
    auto one = [&](int32_t i) {
        const int32_t v = big[i] - (with_small ? small[i - shift] : 0) - borrow;
        borrow = v < 0 ? 1 : 0;
        out[i + o] = word_of(v + borrow * r);
    };
    int32_t i = hi - 1;
    for (const int32_t end = hi - V::scalar_head(lo, hi); i >= end; --i) one(i);
    const I16 R = V::splat(r), zero = V::splat(0);
    for (int32_t j = i - (lanes - 1); j >= lo; j -= lanes) {
        fetch_words<B>(big + j, with_small ? small + (j - shift) : nullptr, out + (j + o));
        I16 d = V::load(big + j);
        if (with_small) d -= V::load(small + j - shift);
        const I16 d1 = wv::shift_lanes<1, lanes>(d, d);  // as in add_run
        I16 c, e;
        if (V::block_carries(d1 < zero, d == zero, borrow, &c, &e)) {
            const I16 v = d - c;
            const I16 out_borrow = v < zero;
            V::store(out + j + o, v - e + (out_borrow & R));
            borrow = -out_borrow[0];
        } else {
            for (int32_t k = j + lanes - 1; k >= j; --k) one(k);
        }
    }
    return borrow;
}

// Words [0, hi) of a sum or difference formed in place, above the small
// operand's reach: they change only while a carry (Step 1) or a borrow
// (Step -1) runs, so the pass stops where it does. A Newton step adds its
// correction about half a number's length below it. Returns what leaves
// word 0.
template <int Step>
ENGINE_INLINE int32_t run_on_in_place(int32_t hi, int32_t r, int16_t* w, int32_t carry) {
    for (int32_t i = hi - 1; i >= 0 && carry != 0; --i) {
        const int32_t v = w[i] + Step;
        carry = Step > 0 ? (v >= r ? 1 : 0) : (v < 0 ? 1 : 0);
        w[i] = word_of(carry != 0 ? v - Step * r : v);
    }
    return carry;
}

template <int B>
ENGINE_INLINE int32_t hp_add_magnitudes_impl(int32_t n, uint32_t R, int32_t shift, const int16_t* big,
                                          const int16_t* small, int16_t* out) {
    const int32_t r = static_cast<int32_t>(R);
    const int32_t split = shift < n ? (shift < 0 ? 0 : shift) : n;
    // Words of small that would fall beyond the last word are ignored.
    const int32_t carry = add_run<B, true>(split, n, r, shift, big, small, out, 0, 0);
    if (out == big) return run_on_in_place<1>(split, r, out, carry);
    return add_run<B, false>(0, split, r, shift, big, small, out, 0, carry);
}

template <int B>
ENGINE_INLINE void hp_sub_magnitudes_impl(int32_t n, uint32_t R, int32_t shift, const int16_t* big,
                                       const int16_t* small, int16_t* out) {
    const int32_t r = static_cast<int32_t>(R);
    const int32_t split = shift < n ? (shift < 0 ? 0 : shift) : n;
    const int32_t borrow = sub_run<B, true>(split, n, r, shift, big, small, out, 0, 0);
    if (out == big) {
        run_on_in_place<-1>(split, r, out, borrow);
    } else {
        sub_run<B, false>(0, split, r, shift, big, small, out, 0, borrow);
    }
}

// The sums of words 0 .. n-2 written one place to the right (out[i + 1]),
// with the carry of the sum of words n-1, whose own word is dropped.
template <int B>
ENGINE_INLINE void add_shifted_right_impl(int32_t n, int32_t r, const int16_t* big, const int16_t* small,
                                          int16_t* out) {
    if (n < 2) return;
    const int32_t carry = (big[n - 1] + small[n - 1] >= r) ? 1 : 0;
    add_run<B, true>(0, n - 1, r, 0, big, small, out, 1, carry);
}
ENGINE_VARIANTS(void, add_shifted_right,
                (int32_t n, int32_t r, const int16_t* big, const int16_t* small, int16_t* out),
                (n, r, big, small, out))

// x + s*y for the magnitude case: |x| and |y| add. Sign of the result is sx.
void add_same_sign(int32_t n, int32_t r, const HpNumber* x, const HpNumber* y, int32_t sx,
                   HpNumber* z) {
    const bool x_big = x->exponent >= y->exponent;
    const HpNumber* big = x_big ? x : y;
    const HpNumber* small = x_big ? y : x;
    const int64_t d = static_cast<int64_t>(big->exponent) - small->exponent;
    const int32_t exponent = big->exponent;

    if (d >= n) {
        if (z != big) move_words(z->words, big->words, n);
        z->exponent = exponent;
        z->sign = sx;
        return;
    }
    const int32_t shift = static_cast<int32_t>(d);

    if (shift == 0 && big->words[0] + small->words[0] >= r) {
        // A carry out of word 0 is certain: form the sums one place to the
        // right directly instead of shifting afterwards.
        add_shifted_right(n, r, big->words, small->words, z->words);
        z->words[0] = 1;
        z->exponent = exponent + 1;
        z->sign = sx;
        return;
    }

    const int32_t carry =
        hp_add_magnitudes(n, static_cast<uint32_t>(r), shift, big->words, small->words, z->words);
    if (carry) {
        move_words(z->words + 1, z->words, n - 1);
        z->words[0] = 1;
    }
    z->exponent = exponent + carry;
    z->sign = sx;
}

// The first index below n where the words of a differ from those of b (from
// the word `fill` when b is null), or n. Subtractions of nearly equal
// numbers, as in every Newton correction, agree over long leading runs.
template <int B>
ENGINE_INLINE int32_t first_difference_impl(int32_t n, const int16_t* a, const int16_t* b, int16_t fill) {
    using V = wv::Ops<B>;
    constexpr int32_t lanes = V::lanes;
    const typename V::I16 same = V::splat(fill);
    int32_t i = 0;
    for (; i + lanes <= n; i += lanes) {
        if (V::any(V::load(a + i) != (b != nullptr ? V::load(b + i) : same))) break;
    }
    for (; i < n; ++i) {
        if (a[i] != (b != nullptr ? b[i] : fill)) return i;
    }
    return n;
}

ENGINE_VARIANTS(int32_t, first_difference, (int32_t n, const int16_t* a, const int16_t* b, int16_t fill),
                (n, a, b, fill))

// Words [lo, hi) of big - (small shifted right by shift), the borrow from
// below hi coming in, written to out[i + o]; returns the borrow out of lo.
template <int B>
ENGINE_INLINE int32_t sub_range(int32_t lo, int32_t hi, int32_t r, int32_t shift, const int16_t* big,
                                const int16_t* small, int16_t* out, int32_t o, int32_t borrow) {
    if (hi <= lo) return borrow;
    const int32_t split = shift < lo ? lo : shift > hi ? hi : shift;
    borrow = sub_run<B, true>(split, hi, r, shift, big, small, out, o, borrow);
    return sub_run<B, false>(lo, split, r, shift, big, small, out, o, borrow);
}

// Words the difference below may park on the stack; longer parks take the
// plain subtraction and its shift instead.
constexpr int32_t parked_words = 2048;

// big - (small shifted right by shift) when its words [0, lead) are known
// to be zero: words [lead, n) are formed straight into out[0, n - lead) and
// out[n - lead, n) is cleared, which spares the shift after the
// subtraction. out may be big or small; the words whose place still holds
// an unread operand word are parked first. False, with nothing written,
// when more than parked_words would be parked.
template <int B>
ENGINE_INLINE bool sub_magnitudes_from_lead_impl(int32_t lead, int32_t n, int32_t r, int32_t shift,
                                                 const int16_t* big, const int16_t* small, int16_t* out) {
    // From step c on, out[i - lead] is an operand word a later step reads:
    // big[i - lead] at step i - lead, small[i - lead] at step i - lead + shift.
    int32_t c = n;
    if (out == big) c = 2 * lead;
    if (out == small && lead > shift) c = 2 * lead - shift;
    if (c > n) c = n;
    if (n - c > parked_words) return false;
    int16_t parked[parked_words];
    const int32_t borrow = sub_range<B>(c, n, r, shift, big, small, parked, -c, 0);
    sub_range<B>(lead, c, r, shift, big, small, out, -lead, borrow);
    if (n > c) std::memcpy(out + c - lead, parked, static_cast<size_t>(n - c) * sizeof(int16_t));
    clear_words(out + n - lead, lead);
    return true;
}

ENGINE_VARIANTS(bool, sub_magnitudes_from_lead,
                (int32_t lead, int32_t n, int32_t r, int32_t shift, const int16_t* big, const int16_t* small,
                 int16_t* out),
                (lead, n, r, shift, big, small, out))

}  // namespace

int32_t hp_first_nonzero(const HpNumber* x, int32_t from, int32_t end) {
    if (from < 0) from = 0;
    if (end <= from) return -1;
    const int32_t i = from + first_difference(end - from, x->words + from, nullptr, 0);
    return i < end ? i : -1;
}

namespace {

// Compares magnitudes of two normal non-zero numbers: +1, 0 or -1. *first
// gets the first word where they differ: 0 when the exponents do.
int32_t compare_magnitudes(int32_t n, const HpNumber* x, const HpNumber* y, int32_t* first) {
    *first = 0;
    if (x->exponent != y->exponent) return x->exponent > y->exponent ? 1 : -1;
    const int32_t i = first_difference(n, x->words, y->words, 0);
    *first = i;
    if (i == n) return 0;
    return x->words[i] > y->words[i] ? 1 : -1;
}

// The first non-zero word of big - (small shifted right by shift), for big
// greater than the shifted small, read off the operands. With D_i the
// difference of the words at i, k is the first i with D_i != 0, which the
// comparison found. A D_k of 2 or more stays. A D_k of 1 followed by a run
// of D_i = -(R - 1) (big 0, small R - 1) turns into zeros and a last 1, or
// into zeros only when a borrow comes up into the run, which is when the
// first non-zero D_i after it is negative.
int32_t difference_lead(int32_t n, int32_t r, int32_t shift, int32_t k, const int16_t* big,
                        const int16_t* small) {
    auto d = [&](int32_t i) { return big[i] - (i >= shift ? small[i - shift] : 0); };
    // The first index at or after i with D != 0, or n.
    auto next_nonzero = [&](int32_t i) {
        if (i < shift) {
            const int32_t end = shift < n ? shift : n;
            i += first_difference(end - i, big + i, nullptr, 0);
            if (i < end) return i;
        }
        return i >= n ? n : i + first_difference(n - i, big + i, small + i - shift, 0);
    };
    if (d(k) != 1) return k;
    int32_t j = k + 1;
    if (j >= shift && j < n) {
        const int32_t small_run_end =
            j + first_difference(n - j, small + j - shift, nullptr, static_cast<int16_t>(r - 1));
        j += first_difference(small_run_end - j, big + j, nullptr, 0);
    }
    const int32_t t = j < n ? next_nonzero(j) : n;
    return t < n && d(t) < 0 ? j : j - 1;
}

// The magnitude case where |x| and |y| subtract; the result's sign is
// cmp * sx.
void add_opposite_sign(int32_t n, int32_t r, const HpNumber* x, const HpNumber* y, int32_t sx,
                       HpNumber* z) {
    int32_t first;
    const int32_t cmp = compare_magnitudes(n, x, y, &first);
    if (cmp == 0) {
        hp_set_zero(n, z);
        return;
    }
    const HpNumber* big = cmp > 0 ? x : y;
    const HpNumber* small = cmp > 0 ? y : x;
    const int64_t d = static_cast<int64_t>(big->exponent) - small->exponent;
    const int32_t exponent = big->exponent;
    const int32_t shift = d >= n ? n : static_cast<int32_t>(d);

    // Differences of nearly equal numbers, every Newton correction among
    // them, lose long leading runs: found beforehand, they need neither be
    // formed nor shifted out. The result is not zero, so lead < n.
    const int32_t lead = difference_lead(n, r, shift, first, big->words, small->words);
    if (lead == 0 || !sub_magnitudes_from_lead(lead, n, r, shift, big->words, small->words, z->words)) {
        hp_sub_magnitudes(n, static_cast<uint32_t>(r), shift, big->words, small->words, z->words);
        if (lead > 0) {
            move_words(z->words, z->words + lead, n - lead);
            clear_words(z->words + n - lead, lead);
        }
    }
    z->exponent = exponent - lead;
    z->sign = cmp * sx;
}

// z = x + sy*|y| with sy the effective sign of y (reversed for subtraction).
void add_signed(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y, int32_t sy,
                HpNumber* z) {
    const int32_t r = static_cast<int32_t>(R);
    const int32_t sx = x->sign;
    if (sx == 0 || sy == 0) {
        // One operand is zero: the result is the other one.
        const HpNumber* other = sx == 0 ? y : x;
        const int32_t sign = sx == 0 ? sy : sx;
        if (sign == 0) {
            hp_set_zero(n, z);
            return;
        }
        if (z != other) move_words(z->words, other->words, n);
        z->exponent = other->exponent;
        z->sign = sign;
        return;
    }
    if (sx == sy) {
        add_same_sign(n, r, x, y, sx, z);
    } else {
        add_opposite_sign(n, r, x, y, sx, z);
    }
}

}  // namespace

HpNumber* hp_alloc(int32_t n) {
    if (n < 0) return nullptr;
    return static_cast<HpNumber*>(std::calloc(1, hp_bytes(n)));
}

void hp_free(HpNumber* x) { std::free(x); }

void hp_set_zero(int32_t n, HpNumber* z) {
    z->sign = 0;
    z->exponent = 0;
    clear_words(z->words, n);
}

void hp_copy(int32_t n, const HpNumber* x, HpNumber* z) {
    if (x == z) return;
    z->sign = x->sign;
    z->exponent = x->exponent;
    move_words(z->words, x->words, n);
}

void hp_add(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y, HpNumber* z) {
    add_signed(n, R, x, y, y->sign, z);
}

void hp_sub(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y, HpNumber* z) {
    add_signed(n, R, x, y, -y->sign, z);
}

ENGINE_VARIANTS(int32_t, hp_add_magnitudes,
                (int32_t n, uint32_t R, int32_t shift, const int16_t* big, const int16_t* small,
                 int16_t* out),
                (n, R, shift, big, small, out))

ENGINE_VARIANTS(void, hp_sub_magnitudes,
                (int32_t n, uint32_t R, int32_t shift, const int16_t* big, const int16_t* small,
                 int16_t* out),
                (n, R, shift, big, small, out))

namespace {

// The words of x * m for an integer m in [1, R], and the carry out of word
// 0. Each word first takes its own remainder m x_i mod R and the quotient of
// the word after it, which keeps it below 2R with no chain from word to
// word; settle_words then resolves the one-unit carries. The words are
// those of the serial chain, the product's digits being unique. z may be x:
// a block's quotients are kept for the block before it, never reloaded.
template <int B>
ENGINE_INLINE int32_t mul_small_words_impl(int32_t n, int32_t r, const int16_t* x, int32_t m, int16_t* z) {
    using F = typename wv::Types<B>::F64;
    using I32 = typename wv::Types<B>::I32q;
    using I16 = typename wv::Types<B>::I16q;
    constexpr int32_t L = B / 8;
    // (p + 1/2) / R lies at least 1/(2R) from an integer, far beyond the
    // rounding of the product, so truncating it gives floor(p / R).
    const double inv_r = 1.0 / r;
    I32 q_after = I32{};
    int32_t j = n - L;
    for (; j >= 0; j -= L) {
        I16 w;
        std::memcpy(&w, x + j, sizeof w);
        const I32 p = __builtin_convertvector(w, I32) * m;
        const I32 q = __builtin_convertvector((__builtin_convertvector(p, F) + 0.5) * inv_r, I32);
        const I16 s = __builtin_convertvector(p - q * r + wv::shift_lanes<1, L>(q, q_after), I16);
        std::memcpy(z + j, &s, sizeof s);
        q_after = q;
    }
    int32_t q_next = q_after[0];
    for (int32_t i = j + L - 1; i >= 0; --i) {
        const int32_t p = m * x[i];
        const int32_t q = p / r;
        z[i] = word_of(p - q * r + q_next);
        q_next = q;
    }
    return q_next + wv::settle_words<B>(0, n, r, z);
}

ENGINE_VARIANTS(int32_t, mul_small_words, (int32_t n, int32_t r, const int16_t* x, int32_t m, int16_t* z),
                (n, r, x, m, z))

}  // namespace

void hp_mul_small(int32_t n, uint32_t R, const HpNumber* x, double m, HpNumber* z) {
    if (x->sign == 0) {
        hp_set_zero(n, z);
        return;
    }
    const double rd = static_cast<double>(R);
    const double inv_r = 1.0 / rd;
    double carry = 0.0;
    if (n >= 1 && m >= 1.0 && m <= rd && m == static_cast<double>(static_cast<int32_t>(m))) {
        carry = mul_small_words(n, static_cast<int32_t>(R), x->words, static_cast<int32_t>(m), z->words);
    } else {
        // The +0.5 keeps every truncation away from an integer boundary.
        for (int32_t i = n - 1; i >= 0; --i) {
            const double t = m * x->words[i] + carry + 0.5;
            carry = static_cast<double>(static_cast<int64_t>(t * inv_r));
            z->words[i] = word_of(static_cast<int32_t>(t - rd * carry));
        }
    }
    int32_t k = 0;
    if (carry > 0.0) {
        // The carry's own words, most significant first; a double holds at
        // most 16 decimal digits, so 17 words suffice for any radix.
        int16_t lead[17];
        for (double v = carry + 0.5; v > 1.0; v /= rd) ++k;
        for (int32_t j = k - 1; j >= 0; --j) {
            const double t = carry + 0.5;
            const double q = static_cast<double>(static_cast<int64_t>(t * inv_r));
            lead[j] = word_of(static_cast<int32_t>(t - rd * q));
            carry = q;
        }
        const int32_t kept = k < n ? k : n;
        move_words(z->words + kept, z->words, n - kept);
        std::memcpy(z->words, lead, static_cast<size_t>(kept) * sizeof(int16_t));
    }
    z->exponent = x->exponent + k;
    z->sign = x->sign;
    if (z->words[0] == 0) hp_set_zero(n, z);
}

namespace {

// The division's chain of remainders cut into segments that run side by
// side: each segment's remainder from zero first, then the true remainder
// entering each segment (r R^len + local, mod d), then every segment's
// quotient words from it. Each step is the serial chain's own, so the
// words are the same; the processor overlaps the independent chains. For
// d below 2^32 every step is exact, and the remainders' products fit in 64
// bits.
class DivSegments {
public:
    // Twelve chains keep their remainders in registers on every path; at 2^21
    // words by 2^25: 8 chains 7.7 ms, 12 6.2 ms, 16 13.3 ms (they spill).
    static constexpr int count = 12;
    static constexpr int32_t max_lead = 16;

    DivSegments(double rd, double d, int32_t lead, const int16_t* x)
        : rd_(rd), d_(d), inv_d_(1.0 / d), lead_(lead), x_(x) {}

    // Quotient words j = 1 .. of words x[j + lead] for j below end, from the
    // remainder rem after word 0; returns the first j not done and sets *out
    // to the remainder after it. z may be x.
    int32_t divide(int32_t end, double rem, int16_t* z, double* out) {
        const int32_t len = (end - 1) / count;
        double local[count], start[count];
        for (int s = 0; s < count; ++s) local[s] = 0.0;
        run<false, false>(len, 0, len, local, nullptr);
        const uint64_t d = static_cast<uint64_t>(d_);
        const uint64_t shift = power_mod(static_cast<uint64_t>(rd_), len, d);
        start[0] = rem;
        for (int s = 1; s < count; ++s) {
            const uint64_t r = static_cast<uint64_t>(start[s - 1]) * shift % d;
            start[s] = static_cast<double>((r + static_cast<uint64_t>(local[s - 1])) % d);
        }
        // The last `lead` words each segment reads are the first words of the
        // next one, which it overwrites first when z is x: keep them.
        for (int s = 0; s + 1 < count; ++s) {
            for (int32_t i = 0; i < lead_; ++i) kept_[s][i] = x_[1 + (s + 1) * len + i];
        }
        run<true, false>(len, 0, len - lead_, start, z);
        run<true, true>(len, len - lead_, len, start, z);
        *out = start[count - 1];
        return 1 + count * len;
    }

private:
    // Steps t in [from, to) of every segment (segment s starts at word
    // 1 + s len); with Store the quotients go to z, with Kept the words read
    // past a segment's end come from kept_.
    template <bool Store, bool Kept>
    void run(int32_t len, int32_t from, int32_t to, double* rem, int16_t* z) {
        double r[count];
        for (int s = 0; s < count; ++s) r[s] = rem[s];
        for (int32_t t = from; t < to; ++t) {
#pragma GCC unroll 16
            for (int s = 0; s < count; ++s) {
                const int32_t j = 1 + s * len + t;
                const double w = (Kept && s + 1 < count) ? kept_[s][t - (len - lead_)] : x_[j + lead_];
                const double v = rd_ * r[s] + w + 0.5;
                const double q = static_cast<double>(static_cast<int64_t>(inv_d_ * v));
                r[s] = static_cast<double>(static_cast<int64_t>(v - d_ * q));
                if (Store) z[j] = word_of(static_cast<int32_t>(q));
            }
        }
        for (int s = 0; s < count; ++s) rem[s] = r[s];
    }

    static uint64_t power_mod(uint64_t base, int32_t e, uint64_t d) {
        uint64_t result = 1 % d;
        base %= d;
        for (; e > 0; e >>= 1) {
            if (e & 1) result = result * base % d;
            base = base * base % d;
        }
        return result;
    }

    double rd_, d_, inv_d_;
    int32_t lead_;
    const int16_t* x_;
    int16_t kept_[count][max_lead] = {};
};

}  // namespace

void hp_div_small(int32_t n, uint32_t R, const HpNumber* x, int64_t m, HpNumber* z) {
    if (x->sign == 0 || n < 1) {
        hp_set_zero(n, z);
        return;
    }
    const double rd = static_cast<double>(R);
    const double d = static_cast<double>(m);
    const double inv_d = 1.0 / d;
    auto word_at = [&](int64_t i) -> double { return i < n ? x->words[i] : 0.0; };

    double acc = 0.0;
    int64_t taken = 0;
    do {
        acc = acc * rd + word_at(taken);
        ++taken;
    } while (acc < d - 0.5);
    const int64_t k = taken - 1;
    const int32_t sign = x->sign;
    const int32_t exponent = static_cast<int32_t>(x->exponent - k);

    double t = acc + 0.5;
    double q = static_cast<double>(static_cast<int64_t>(inv_d * t));
    double rem = static_cast<double>(static_cast<int64_t>(t - d * q));
    z->words[0] = word_of(static_cast<int32_t>(q));
    int32_t j = 1;
    if (m < (int64_t{1} << 32) && k <= DivSegments::max_lead && n - k > 64 * DivSegments::count) {
        j = DivSegments(rd, d, static_cast<int32_t>(k), x->words).divide(n - static_cast<int32_t>(k), rem,
                                                                            z->words, &rem);
    }
    for (; j < n; ++j) {
        t = rd * rem + word_at(j + k) + 0.5;
        q = static_cast<double>(static_cast<int64_t>(inv_d * t));
        rem = static_cast<double>(static_cast<int64_t>(t - d * q));
        z->words[j] = word_of(static_cast<int32_t>(q));
    }
    z->exponent = exponent;
    z->sign = sign;
}

namespace {

// z = x / 2; see hp_half. Every word of z depends on two neighbouring words
// of x, and the loops run in the direction that reads both before either
// is overwritten, so z may be x.
template <int B>
ENGINE_INLINE void half_words_impl(int32_t n, uint32_t R, const HpNumber* x, HpNumber* z) {
    using V = wv::Ops<B>;
    using I16 = typename V::I16;
    constexpr int32_t lanes = V::lanes;
    const int32_t r = static_cast<int32_t>(R);
    const int16_t* xw = x->words;
    int16_t* zw = z->words;
    const I16 Rv = V::splat(r), one = V::splat(1);
    if (xw[0] == 1) {
        // 1.xxx / 2 starts one word lower: every word takes half of the next
        // one plus the remainder carried down from its own old value.
        int32_t j = 0;
        for (; j + lanes < n; j += lanes) {
            const I16 odd = V::load(xw + j) & one;
            V::store(zw + j, (V::load(xw + j + 1) + (-odd & Rv)) >> 1);
        }
        for (; j < n - 1; ++j) {
            const int32_t odd = xw[j] & 1;
            zw[j] = word_of((xw[j + 1] + r * odd) / 2);
        }
        zw[n - 1] = word_of(r * (xw[n - 1] & 1) / 2);
        z->exponent = x->exponent - 1;
    } else {
        int32_t j = n - 1;
        for (; j - lanes >= 0; j -= lanes) {
            const int32_t low = j - lanes + 1;
            const I16 odd = V::load(xw + low - 1) & one;
            V::store(zw + low, (V::load(xw + low) + (-odd & Rv)) >> 1);
        }
        for (; j >= 1; --j) zw[j] = word_of((xw[j] + r * (xw[j - 1] & 1)) / 2);
        zw[0] = word_of(xw[0] / 2);
        z->exponent = x->exponent;
    }
}

ENGINE_VARIANTS(void, half_words, (int32_t n, uint32_t R, const HpNumber* x, HpNumber* z), (n, R, x, z))

}  // namespace

void hp_half(int32_t n, uint32_t R, const HpNumber* x, HpNumber* z) {
    if (x->sign == 0 || n < 1) {
        hp_set_zero(n, z);
        return;
    }
    const int32_t sign = x->sign;
    half_words(n, R, x, z);
    z->sign = sign;
}

void hp_set_one(int32_t m, HpNumber* z) {
    z->sign = 1;
    z->exponent = 0;
    if (m < 1) return;
    z->words[0] = 1;
    clear_words(z->words + 1, m - 1);
}

void hp_from_double(int32_t m, uint32_t R, double v, int32_t exponent, HpNumber* z) {
    const double rd = static_cast<double>(R);
    const int32_t r = static_cast<int32_t>(R);
    while (v < 1.0) {
        v *= rd;
        --exponent;
    }
    for (int32_t i = 0; i < m; ++i) {
        const int32_t w = static_cast<int32_t>(v);
        if (w < r) {
            z->words[i] = word_of(w);
            v = (v - w) * rd;
        } else {
            z->words[i] = word_of(r - 1);
            v = rd;
        }
    }
    z->sign = 1;
    z->exponent = exponent;
}

void hp_round(int32_t m, int32_t len, uint32_t R, HpNumber* z) {
    if (m < 1 || m >= len) return;
    const int32_t r = static_cast<int32_t>(R);
    clear_words(z->words + m + 1, len - m - 1);
    const int32_t dropped = z->words[m];
    z->words[m] = 0;
    if (2 * dropped < r) return;
    int32_t i = m - 1;
    for (; i >= 0; --i) {
        if (z->words[i] + 1 < r) {
            z->words[i] = word_of(z->words[i] + 1);
            return;
        }
        z->words[i] = 0;
    }
    // The carry left word 0: the number became a power of R.
    z->words[0] = 1;
    z->exponent += 1;
}

namespace {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The signed decimal integer at p, as "%d" reads it (leading white space,
// optional sign, at least one digit), clamped to +-limit. False when there
// is no integer.
bool parse_exponent(const char* p, int64_t limit, int64_t* out) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!is_digit(*p)) return false;
    int64_t v = 0;
    for (; is_digit(*p); ++p) {
        if (v <= limit) v = v * 10 + (*p - '0');
    }
    if (v > limit) v = limit;
    *out = negative ? -v : v;
    return true;
}

}  // namespace

void hp_parse(int32_t n, int32_t L, const char* text, HpNumber* z) {
    constexpr int64_t exponent_limit = 1000000000;
    if (n < 1) return;
    hp_set_zero(n, z);
    if (text == nullptr || L < 1) return;

    const char* p = text;
    while (*p == ' ') ++p;
    int32_t sign = 1;
    if (*p == '+') {
        ++p;
    } else if (*p == '-') {
        sign = -1;
        ++p;
    }
    while (*p == '0' || *p == ' ') ++p;

    int64_t X = 0;
    for (const char* s = p; *s != '\0'; ++s) {
        if (*s == 'D' || *s == 'E' || *s == 'd' || *s == 'e') {
            if (!parse_exponent(s + 1, exponent_limit, &X)) X = 0;
            break;
        }
    }

    int64_t F = X;
    if (*p == '.') {
        int64_t zeros = 0;
        ++p;
        for (; *p == '0' || *p == ' '; ++p) {
            if (*p == '0') ++zeros;
        }
        F = X - 1 - zeros;
    } else if (*p != '\0') {
        int64_t further = 0;
        for (const char* s = p + 1; *s == ' ' || is_digit(*s); ++s) {
            if (*s != ' ') ++further;
        }
        F = X + further;
    }

    const int64_t word_exponent = floor_div(F, L);
    int32_t digits_left = static_cast<int32_t>(F - L * word_exponent) + 1;

    int32_t index = 0;
    int32_t w = 0;
    for (; *p != '\0' && index < n; ++p) {
        if (*p == ' ' || *p == '.') continue;
        if (!is_digit(*p)) break;
        w = 10 * w + (*p - '0');
        if (--digits_left == 0) {
            z->words[index++] = word_of(w);
            w = 0;
            digits_left = L;
        }
    }
    if (index < n && digits_left < L) {
        for (; digits_left > 0; --digits_left) w *= 10;
        z->words[index] = word_of(w);
    }

    if (z->words[0] == 0) {
        hp_set_zero(n, z);
        return;
    }
    z->sign = sign;
    z->exponent = static_cast<int32_t>(word_exponent);
}
