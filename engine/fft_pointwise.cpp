#include "engine/fft_pointwise.h"

#include "engine/engine_isa.h"
#include "engine/pointwise_pairs.h"

namespace {

template <class T>
using Z = ComplexOf<T>;

template <int B>
ENGINE_INLINE void fft_spectrum_square_impl(int32_t nfft, double* data) {
    const int32_t half = nfft / 2;
    spectrum_store(data, half / 2, spectrum_sqr(spectrum_load(data, half / 2)));
    spectrum_for_each_pair_grouped<B / 8, true>(nfft, [data](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, data);
        Z<T> xp = spectrum_load_p(data, p, T{}), xq = spectrum_load_q(data, q, T{});
        spectrum_split(xp, xq, wr, wi);
        xp = spectrum_sqr(xp);
        xq = spectrum_sqr(xq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store_p(data, p, xp);
        spectrum_store_q(data, q, xq);
    });
}

template <int B>
ENGINE_INLINE void fft_spectrum_square_split_impl(int32_t nfft, double* data) {
    const int32_t half = nfft / 2;
    spectrum_store(data, half / 2, spectrum_sqr(spectrum_load(data, half / 2)));
    spectrum_for_each_pair_grouped<B / 8, true>(nfft, [data](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, data);
        Z<T> xp = spectrum_sqr(spectrum_load_held_p(data, p, T{}));
        Z<T> xq = spectrum_sqr(spectrum_load_held_q(data, q, T{}));
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store_p(data, p, xp);
        spectrum_store_q(data, q, xq);
    });
}

template <int B>
ENGINE_INLINE void fft_spectrum_mul_impl(int32_t nfft, double* data1, double* data2) {
    const int32_t mid = nfft / 4;
    spectrum_store(data2, mid, spectrum_mul(spectrum_load(data2, mid), spectrum_load(data1, mid)));
    spectrum_for_each_pair_grouped<B / 8>(nfft, [data1, data2](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, data1, data2);
        Z<T> ap = spectrum_load_p(data1, p, T{}), aq = spectrum_load_q(data1, q, T{});
        spectrum_split(ap, aq, wr, wi);
        spectrum_store_held_p(data1, p, ap);
        spectrum_store_held_q(data1, q, aq);
        Z<T> bp = spectrum_load_p(data2, p, T{}), bq = spectrum_load_q(data2, q, T{});
        spectrum_split(bp, bq, wr, wi);
        Z<T> xp = spectrum_mul(ap, bp), xq = spectrum_mul(aq, bq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store_p(data2, p, xp);
        spectrum_store_q(data2, q, xq);
    });
}

template <int B>
ENGINE_INLINE void fft_spectrum_mul_split_impl(int32_t nfft, const double* data1, double* data2) {
    const int32_t mid = nfft / 4;
    spectrum_store(data2, mid, spectrum_mul(spectrum_load(data2, mid), spectrum_load(data1, mid)));
    spectrum_for_each_pair_grouped<B / 8>(nfft, [data1, data2](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, data1, data2);
        Z<T> bp = spectrum_load_p(data2, p, T{}), bq = spectrum_load_q(data2, q, T{});
        spectrum_split(bp, bq, wr, wi);
        Z<T> xp = spectrum_mul(spectrum_load_held_p(data1, p, T{}), bp);
        Z<T> xq = spectrum_mul(spectrum_load_held_q(data1, q, T{}), bq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store_p(data2, p, xp);
        spectrum_store_q(data2, q, xq);
    });
}

template <int B>
ENGINE_INLINE void spectrum_pairs_square_hold_impl(int32_t nfft, double* d1, double* d2) {
    spectrum_for_each_pair_grouped<B / 8>(nfft, [d1, d2](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, d1, d2);
        Z<T> ap = spectrum_load_p(d1, p, T{}), aq = spectrum_load_q(d1, q, T{});
        spectrum_split(ap, aq, wr, wi);
        spectrum_store_held_p(d1, p, ap);
        spectrum_store_held_q(d1, q, aq);
        Z<T> xp = spectrum_sqr(ap), xq = spectrum_sqr(aq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store_p(d2, p, xp);
        spectrum_store_q(d2, q, xq);
    });
}

template <int B>
ENGINE_INLINE void spectrum_pairs_mul_unmerged_impl(int32_t nfft, double* d1, double* d3) {
    spectrum_for_each_pair_grouped<B / 8>(nfft, [d1, d3](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, d1, d3);
        Z<T> ap = spectrum_load_p(d1, p, T{}), aq = spectrum_load_q(d1, q, T{});
        spectrum_split(ap, aq, wr, wi);
        spectrum_store_held_p(d1, p, ap);
        spectrum_store_held_q(d1, q, aq);
        Z<T> bp = spectrum_load_p(d3, p, T{}), bq = spectrum_load_q(d3, q, T{});
        spectrum_split(bp, bq, wr, wi);
        spectrum_store_held_p(d3, p, spectrum_mul(ap, bp));
        spectrum_store_held_q(d3, q, spectrum_mul(aq, bq));
    });
}

template <int B>
ENGINE_INLINE void spectrum_pairs_mul_split_second_impl(int32_t nfft, double* d1, double* d2) {
    spectrum_for_each_pair_grouped<B / 8>(nfft, [d1, d2](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, d1, d2);
        Z<T> bp = spectrum_load_p(d2, p, T{}), bq = spectrum_load_q(d2, q, T{});
        spectrum_split(bp, bq, wr, wi);
        spectrum_store_held_p(d2, p, bp);
        spectrum_store_held_q(d2, q, bq);
        Z<T> xp = spectrum_mul(spectrum_load_held_p(d1, p, T{}), bp);
        Z<T> xq = spectrum_mul(spectrum_load_held_q(d1, q, T{}), bq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store_p(d1, p, xp);
        spectrum_store_q(d1, q, xq);
    });
}

template <int B>
ENGINE_INLINE void spectrum_pairs_mul_add_merge_impl(int32_t nfft, const double* d1, const double* d2,
                                                     double* d3) {
    spectrum_for_each_pair_grouped<B / 8>(nfft, [d1, d2, d3](int32_t p, int32_t q, auto wr, auto wi) {
        using T = decltype(wr);
        spectrum_prefetch(p, q, T{}, d1, d2, d3);
        Z<T> ap = spectrum_load_p(d1, p, T{}), aq = spectrum_load_q(d1, q, T{});
        spectrum_split(ap, aq, wr, wi);
        Z<T> xp = spectrum_add(spectrum_load_held_p(d3, p, T{}),
                               spectrum_mul(ap, spectrum_load_held_p(d2, p, T{})));
        Z<T> xq = spectrum_add(spectrum_load_held_q(d3, q, T{}),
                               spectrum_mul(aq, spectrum_load_held_q(d2, q, T{})));
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store_p(d3, p, xp);
        spectrum_store_q(d3, q, xq);
    });
}

}  // namespace

ENGINE_VARIANTS(void, fft_spectrum_square, (int32_t nfft, double* data), (nfft, data))
ENGINE_VARIANTS(void, fft_spectrum_square_split, (int32_t nfft, double* data), (nfft, data))
ENGINE_VARIANTS(void, fft_spectrum_mul, (int32_t nfft, double* data1, double* data2), (nfft, data1, data2))
ENGINE_VARIANTS(void, fft_spectrum_mul_split, (int32_t nfft, const double* data1, double* data2),
                (nfft, data1, data2))
ENGINE_VARIANTS(void, spectrum_pairs_square_hold, (int32_t nfft, double* d1, double* d2), (nfft, d1, d2))
ENGINE_VARIANTS(void, spectrum_pairs_mul_unmerged, (int32_t nfft, double* d1, double* d3), (nfft, d1, d3))
ENGINE_VARIANTS(void, spectrum_pairs_mul_split_second, (int32_t nfft, double* d1, double* d2), (nfft, d1, d2))
ENGINE_VARIANTS(void, spectrum_pairs_mul_add_merge,
                (int32_t nfft, const double* d1, const double* d2, double* d3), (nfft, d1, d2, d3))
