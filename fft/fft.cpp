// The entry of the transform: short lengths by straight-line code, longer
// ones by one radix-4 stage, the depth-first recursion and a final
// bit-reversal permutation. The backward transform is conj(forward(conj z)):
// its first stage conjugates on load and its permutation on store, so that
// everything in between computes in the forward sense.
#include "fft/fft.h"

#include <cstddef>

#include "fft/fft_butterflies.h"
#include "fft/fft_kernels.h"

namespace {

using namespace fft_detail;

constexpr std::size_t reverse_bits(std::size_t j, int bits) {
    std::size_t r = 0;
    for (int b = 0; b < bits; ++b) r |= ((j >> b) & 1u) << (bits - 1 - b);
    return r;
}

// Stores the bit-reversed output of an in-register kernel in natural order.
template <bool Conj, int Bits, std::size_t... J>
FFT_INLINE void store_natural(double* data, const cplx* v, std::index_sequence<J...>) {
    (store<Conj>(data + 2 * J, v[reverse_bits(J, Bits)]), ...);
}

// 4-point transform in natural order; backward turns +i into -i.
template <bool Backward>
void direct4(double* data) {
    const cplx z0 = load(data), z1 = load(data + 2), z2 = load(data + 4), z3 = load(data + 6);
    const cplx s02 = z0 + z2, d02 = z0 - z2, s13 = z1 + z3, d13 = z1 - z3;
    store(data, s02 + s13);
    store(data + 4, s02 - s13);
    store(data + 2, Backward ? sub_i(d02, d13) : add_i(d02, d13));
    store(data + 6, Backward ? add_i(d02, d13) : sub_i(d02, d13));
}

template <bool Backward>
void direct8(double* data) {
    cplx v[8];
    load_all<8, Backward>(data, v);
    core8(v);
    store_natural<Backward, 3>(data, v, std::make_index_sequence<8>{});
}

template <bool Backward>
void direct16(double* data) {
    cplx v[16];
    load_all<16, Backward>(data, v);
    core16(v);
    store_natural<Backward, 4>(data, v, std::make_index_sequence<16>{});
}

template <bool Conj>
FFT_INLINE void exchange(double* data, std::size_t a, std::size_t b) {
    double* pa = data + 2 * a;
    double* pb = data + 2 * b;
    const double re = pa[0], im = pa[1];
    pa[0] = pb[0];
    pa[1] = Conj ? -pb[1] : pb[1];
    pb[0] = re;
    pb[1] = Conj ? -im : im;
}

// Turns r = rev(j) into rev(j + 1), top being the highest bit of the index
// range: toggle the top bit and carry downwards while it turns to 0. Wraps to
// 0 after the last index.
FFT_INLINE uint32_t reversed_increment(uint32_t r, uint32_t top) {
    uint32_t b = top;
    r ^= b;
    while ((r & b) == 0 && b > 1) {
        b >>= 1;
        r ^= b;
    }
    return r;
}

FFT_INLINE int log2_exact(uint32_t v) { return __builtin_ctz(v); }

template <bool Conj>
void bit_reverse_simple(uint32_t count, double* data) {
    uint32_t r = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (k < r) {
            exchange<Conj>(data, k, r);
        } else if (Conj && k == r) {
            data[2 * k + 1] = -data[2 * k + 1];
        }
        if (k + 1 < count) r = reversed_increment(r, count / 2);
    }
}

constexpr int tile_bits = 3;
constexpr uint32_t tile = 1u << tile_bits;

template <bool Conj>
FFT_INLINE void exchange_values(double* a, double* b) {
    const cplx x = load<Conj>(a), y = load<Conj>(b);
    store(a, y);
    store(b, x);
}

// Exchanges the run of tile consecutive values at run with the values at
// column + rev(lo)*stride; the offsets rev(lo) are compile-time constants.
template <bool Conj, std::size_t... Lo>
FFT_INLINE void exchange_run(double* run, double* column, std::size_t stride,
                             std::index_sequence<Lo...>) {
    (exchange_values<Conj>(run + 2 * Lo, column + reverse_bits(Lo, tile_bits) * stride), ...);
}

// Writes index k as (hi, mid, lo) with tile_bits bits in hi and lo, so that
// rev(k) = (rev lo, rev mid, rev hi). For each mid < rev(mid) the tile of
// runs (hi, mid, *) is exchanged whole with its partner tile (*, rev mid,
// rev hi): every cache line brought in is used whole before it leaves, and
// only the tile index needs the reversed-carry increment. Tiles with
// mid = rev(mid) hold both sides of their pairs and go value by value.
template <bool Conj>
void bit_reverse_impl(int32_t n, double* data) {
    const uint32_t count = static_cast<uint32_t>(n / 2);
    if (count == 0) return;
    const int bits = log2_exact(count);
    if (bits < 2 * tile_bits + 1) {
        bit_reverse_simple<Conj>(count, data);
        return;
    }
    const int hi_shift = bits - tile_bits;
    const std::size_t stride = std::size_t{2} << hi_shift;  // doubles between runs
    const uint32_t mids = 1u << (bits - 2 * tile_bits);
    uint32_t rmid = 0;
    for (uint32_t mid = 0; mid < mids; ++mid) {
        if (mid < rmid) {
            uint32_t rhi = 0;
            for (uint32_t hi = 0; hi < tile; ++hi) {
                double* run = data + 2 * ((std::size_t{hi} << hi_shift) | (mid << tile_bits));
                double* column = data + 2 * ((rmid << tile_bits) | rhi);
                exchange_run<Conj>(run, column, stride, std::make_index_sequence<tile>{});
                rhi = reversed_increment(rhi, tile / 2);
            }
        } else if (mid == rmid) {
            uint32_t rhi = 0;
            for (uint32_t hi = 0; hi < tile; ++hi) {
                const uint32_t base = (hi << hi_shift) | (mid << tile_bits);
                const uint32_t rbase = (rmid << tile_bits) | rhi;
                uint32_t rlo = 0;
                for (uint32_t lo = 0; lo < tile; ++lo) {
                    const uint32_t k = base | lo;
                    const uint32_t rk = (rlo << hi_shift) | rbase;
                    if (k < rk) {
                        exchange<Conj>(data, k, rk);
                    } else if (Conj && k == rk) {
                        data[2 * k + 1] = -data[2 * k + 1];
                    }
                    rlo = reversed_increment(rlo, tile / 2);
                }
                rhi = reversed_increment(rhi, tile / 2);
            }
        }
        rmid = reversed_increment(rmid, mids / 2);
    }
}

}  // namespace

void fft_bit_reverse(int32_t n, double* data) { bit_reverse_impl<false>(n, data); }
void fft_bit_reverse_conj(int32_t n, double* data) { bit_reverse_impl<true>(n, data); }

void fft_complex(int32_t n, int32_t direction, double* data) {
    if (n < 4 || (n & (n - 1)) != 0) return;
    const bool backward = direction < 0;
    if (n == 4) {
        const cplx z0 = load(data), z1 = load(data + 2);
        store(data, z0 + z1);
        store(data + 2, z0 - z1);
        return;
    }
    if (n == 8) {
        backward ? direct4<true>(data) : direct4<false>(data);
        return;
    }
    if (n == 16) {
        backward ? direct8<true>(data) : direct8<false>(data);
        return;
    }
    if (n == 32) {
        backward ? direct16<true>(data) : direct16<false>(data);
        return;
    }
    if (backward) {
        fft_stage_plain_conj(n, data);
    } else {
        fft_stage_plain(n, data);
    }
    const int32_t m = n / 4;
    if (n >= 513) {
        fft_recurse_plain(m, data);
        fft_recurse_odd(m, data + m);
        fft_recurse_plain(m, data + 2 * m);
        fft_recurse_plain(m, data + 3 * m);
    } else if (n >= 132) {
        fft_leaf_plain(n, data);
    } else {
        fft_leaf_small(n, data);
    }
    if (backward) {
        fft_bit_reverse_conj(n, data);
    } else {
        fft_bit_reverse(n, data);
    }
}
