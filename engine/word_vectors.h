// Portable vectors of words for the engine's word loops, and the
// one-word carry of a block of them. Internal to the engine.
//
// A carry (or borrow) that runs from the last word towards the first is a
// one-bit chain: word i passes a carry on when it generates one (its sum
// alone overflows) or when it propagates one (its sum is one below the
// overflow) and receives one. In a block of words without a propagating
// word, the carry into word i is exactly the generate bit of word i + 1, so
// the whole block is computed at once; blocks where every word propagates
// pass the carry through unchanged; the rare mixed blocks go word by word.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/engine_isa.h"

namespace wv {

// Vector types by size in bytes (GCC takes vector_size only as a constant
// outside templates).
template <int B>
struct Types;
#define NUMERA_WV_TYPES(B)                                        \
    template <>                                                  \
    struct Types<B> {                                            \
        typedef int16_t I16 __attribute__((vector_size(B)));      \
        typedef uint64_t U64 __attribute__((vector_size(B)));     \
        typedef uint32_t U32 __attribute__((vector_size(B)));     \
        typedef int64_t I64 __attribute__((vector_size(B)));      \
        typedef int16_t I16q __attribute__((vector_size(B / 4))); \
        typedef int32_t I32q __attribute__((vector_size(B / 2))); \
        typedef double F64 __attribute__((vector_size(B)));       \
    };
NUMERA_WV_TYPES(16)
NUMERA_WV_TYPES(32)
NUMERA_WV_TYPES(64)
#undef NUMERA_WV_TYPES

// Words in vectors of B bytes (one register of the variant).
template <int B>
struct Ops {
    static constexpr int32_t lanes = B / 2;
    using I16 = typename Types<B>::I16;
    using U64 = typename Types<B>::U64;

    static ENGINE_INLINE I16 load(const int16_t* p) {
        I16 v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }

    static ENGINE_INLINE void store(int16_t* p, I16 v) { std::memcpy(p, &v, sizeof v); }

    static ENGINE_INLINE I16 splat(int32_t v) { return I16{} + static_cast<int16_t>(v); }

    // Whether any lane is set: one vptest with AVX2, else halving
    // reductions, a few whole-register operations.
    static ENGINE_INLINE bool any(I16 mask) {
#if ENGINE_VECTOR_ASM
        if constexpr (B == 32) {
            bool none;
            asm("vptest %1, %1" : "=@ccz"(none) : "x"(mask));
            return !none;
        }
#endif
        typedef uint64_t U64x4 __attribute__((vector_size(32)));
        typedef uint64_t U64x2 __attribute__((vector_size(16)));
        const U64 u = __builtin_bit_cast(U64, mask);
        U64x2 b;
        if constexpr (B == 64) {
            const U64x4 a = __builtin_shufflevector(u, u, 0, 1, 2, 3) | __builtin_shufflevector(u, u, 4, 5, 6, 7);
            b = __builtin_shufflevector(a, a, 0, 1) | __builtin_shufflevector(a, a, 2, 3);
        } else if constexpr (B == 32) {
            b = __builtin_shufflevector(u, u, 0, 1) | __builtin_shufflevector(u, u, 2, 3);
        } else {
            b = u;
        }
        return (b[0] | b[1]) != 0;
    }

    static ENGINE_INLINE bool all(I16 mask) { return !any(~mask); }

    // The carry into each word of a block, in two parts: `*within`, from
    // the words of the block, and `*entering`, the carry into the block
    // where it lands. `next_generates` holds, per lane, the generate mask of
    // the word one place further on (last lane: unknown); `carry_in` comes
    // from the block after this one. Returns false when the block needs the
    // word-by-word path. Masks are -1/0; the parts are 1/0.
    //
    // When no word but the first propagates, the entering carry lands on
    // the last word alone, and a word that does not propagate carries out
    // with or without it: every word's carry out follows from `within`
    // alone. Callers take the block's carry out from that and add
    // `entering` on the way out, so the chain from block to block does not
    // wait for the carry to cross the vector. When every word propagates,
    // the carry passes through all of them and comes in `within`.
    static ENGINE_INLINE bool block_carries(I16 next_generates, I16 propagates, int32_t carry_in, I16* within,
                                            I16* entering) {
        // Whether word 0 propagates does not matter inside the block. Lanes
        // are cleared by constant masks, where clearing one by an insert
        // takes three instructions with AVX2. The entering carry keeps its
        // insert: a broadcast of it, masked, made the word loops slower.
        I16 but_first = splat(-1), but_last = splat(-1);
        but_first[0] = 0;
        but_last[lanes - 1] = 0;
        const I16 inner = propagates & but_first;
        const I16 none = splat(0);
        if (!any(inner)) {
            *within = -next_generates & but_last;
            I16 e = none;
            e[lanes - 1] = static_cast<int16_t>(carry_in);
            *entering = e;
            return true;
        }
        if (all(propagates)) {
            *within = carry_in != 0 ? none + 1 : none;
            *entering = none;
            return true;
        }
        return false;
    }

    // Words handled one at a time before the blocks begin, so that a
    // block's look at the word after it (index j + lanes) stays below hi.
    static ENGINE_INLINE int32_t scalar_head(int32_t lo, int32_t hi) {
        const int32_t count = hi - lo;
        if (count < 2 * lanes) return count;
        const int32_t r = count % lanes;
        return r == 0 ? lanes : r;
    }
};

// Asks for the cache line `offset` bytes from p, to be read or (Write)
// written. Only the address is formed, as an integer, so it may lie outside
// the array; nothing is read.
template <bool Write = false>
ENGINE_INLINE void fetch_line(const void* p, intptr_t offset) {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<intptr_t>(p) + offset), Write ? 1 : 0);
}

// How far below the words in hand the word loops ask for lines. They walk
// from the last word towards the first, and on some processors (AMD EPYC)
// the hardware fetches such falling streams late: asked for 4 KiB ahead, an
// addition and a subtraction of 2^21 words took 11 % (AVX-512) and 6 %
// (AVX2) less time; 2 KiB ahead gained nothing.
constexpr intptr_t word_fetch_bytes = 4096;

template <typename V, int K, int... I>
ENGINE_INLINE V shift_lanes_impl(V c, V fill, std::integer_sequence<int, I...>) {
    return __builtin_shufflevector(c, fill, (I + K)...);
}

// Lanes k .. k + n - 1 of the concatenation (c, fill), n lanes in V.
template <int K, int N, typename V>
ENGINE_INLINE V shift_lanes(V c, V fill) {
    return shift_lanes_impl<V, K>(c, fill, std::make_integer_sequence<int, N>{});
}

template <typename V, int... I>
ENGINE_INLINE V lane0_everywhere_impl(V x, std::integer_sequence<int, I...>) {
    return __builtin_shufflevector(x, x, (I * 0)...);
}

template <int N, typename V>
ENGINE_INLINE V lane0_everywhere(V x) {
    return lane0_everywhere_impl(x, std::make_integer_sequence<int, N>{});
}

// Generate and propagate masks of a block of N lanes, where a lane takes
// from the lanes after it: after the steps S, 2S, .. below N, g holds in
// every lane whether a borrow leaves it given none enters the block, and p
// whether one entering the block passes through it.
template <int S, int N, typename V>
ENGINE_INLINE void look_ahead(V& g, V& p, V zero, V ones) {
    if constexpr (S < N) {
        g |= p & shift_lanes<S, N>(g, zero);
        p &= shift_lanes<S, N>(p, ones);
        look_ahead<2 * S, N>(g, p, zero, ones);
    }
}

// Resolves words[lo .. hi - 1], each within 2R of zero, into [0, R), from
// the last word towards the first; returns what leaves word lo. Each word
// first gives its nearest multiple of R (at most two) to the word before
// it, which leaves words within R/2 + 2 of zero; then only a borrow of one
// runs: a word borrows when it is negative, or when it is zero and lent
// to. The borrows of a block come from these generate and propagate bits
// in log2(lanes) steps, whatever the words.
template <int B>
ENGINE_INLINE int32_t settle_words(int32_t lo, int32_t hi, int32_t r, int16_t* w) {
    using V = Ops<B>;
    using I16 = typename V::I16;
    constexpr int32_t lanes = V::lanes;
    const int32_t h = r / 2, h3 = 3 * (r / 2);
    auto part = [&](int32_t x) { return (x > h) + (x > h3) - (x < -h) - (x < -h3); };
    int32_t borrow = 0, q_next = 0;
    int32_t i = hi - 1;
    for (const int32_t end = hi - (hi - lo) % lanes; i >= end; --i) {
        const int32_t q = part(w[i]);
        const int32_t v = w[i] - q * r + q_next - borrow;
        q_next = q;
        borrow = v < 0 ? 1 : 0;
        w[i] = static_cast<int16_t>(v + borrow * r);
    }
    const I16 R = V::splat(r), H = V::splat(h), NH = V::splat(-h), H3 = V::splat(h3), NH3 = V::splat(-h3);
    const I16 zero = V::splat(0), ones = V::splat(-1);
    // The borrow into the block, as a mask in every lane; the part of the
    // word after the block, in lane 0.
    I16 in = borrow != 0 ? ones : zero;
    I16 q_after = zero;
    q_after[0] = static_cast<int16_t>(q_next);
    for (int32_t j = i - (lanes - 1); j >= lo; j -= lanes) {
        const I16 x = V::load(w + j);
        // Masks are -1 where true.
        const I16 q = (x < NH) + (x < NH3) - (H < x) - (H3 < x);
        const I16 d = x - q * R + shift_lanes<1, lanes>(q, q_after);
        q_after = q;
        I16 g = d < zero;
        I16 p = d == zero;
        // Only a zero word passes a borrow on, and most blocks hold none
        // (after the first step a word is zero about once in R words);
        // without one, a word borrows exactly when it is negative, and the
        // look-ahead would leave the masks as they are.
        if (V::any(p)) look_ahead<1, lanes>(g, p, zero, ones);
        // Borrow out of each word, and into it from the word after.
        const I16 out = g | (p & in);
        const I16 into = shift_lanes<1, lanes>(out, in);
        V::store(w + j, d + into + (out & R));
        in = lane0_everywhere<lanes>(out);
    }
    return q_after[0] - (in[0] != 0 ? 1 : 0);
}

}  // namespace wv
