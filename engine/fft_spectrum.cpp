#include "engine/fft_spectrum.h"

#include "engine/spectrum_pairs.h"

void fft_spectrum_square(int32_t nfft, double* data) {
    const int32_t half = nfft / 2;
    spectrum_store(data, half / 2, spectrum_sqr(spectrum_load(data, half / 2)));
    fft_for_each_split_pair(nfft, [data](int32_t p, int32_t q, double wr, double wi) {
        Complex xp = spectrum_load(data, p), xq = spectrum_load(data, q);
        spectrum_split(xp, xq, wr, wi);
        xp = spectrum_sqr(xp);
        xq = spectrum_sqr(xq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store(data, p, xp);
        spectrum_store(data, q, xq);
    });
}

void fft_spectrum_square_split(int32_t nfft, double* data) {
    const int32_t half = nfft / 2;
    spectrum_store(data, half / 2, spectrum_sqr(spectrum_load(data, half / 2)));
    fft_for_each_split_pair(nfft, [data](int32_t p, int32_t q, double wr, double wi) {
        Complex xp = spectrum_sqr(spectrum_load(data, p));
        Complex xq = spectrum_sqr(spectrum_load(data, q));
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store(data, p, xp);
        spectrum_store(data, q, xq);
    });
}

void fft_spectrum_mul(int32_t nfft, double* data1, double* data2) {
    const int32_t mid = nfft / 4;
    spectrum_store(data2, mid, spectrum_mul(spectrum_load(data2, mid), spectrum_load(data1, mid)));
    fft_for_each_split_pair(nfft, [data1, data2](int32_t p, int32_t q, double wr, double wi) {
        Complex ap = spectrum_load(data1, p), aq = spectrum_load(data1, q);
        spectrum_split(ap, aq, wr, wi);
        spectrum_store(data1, p, ap);
        spectrum_store(data1, q, aq);
        Complex bp = spectrum_load(data2, p), bq = spectrum_load(data2, q);
        spectrum_split(bp, bq, wr, wi);
        Complex xp = spectrum_mul(ap, bp), xq = spectrum_mul(aq, bq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store(data2, p, xp);
        spectrum_store(data2, q, xq);
    });
}

void fft_spectrum_mul_split(int32_t nfft, const double* data1, double* data2) {
    const int32_t mid = nfft / 4;
    spectrum_store(data2, mid, spectrum_mul(spectrum_load(data2, mid), spectrum_load(data1, mid)));
    fft_for_each_split_pair(nfft, [data1, data2](int32_t p, int32_t q, double wr, double wi) {
        Complex bp = spectrum_load(data2, p), bq = spectrum_load(data2, q);
        spectrum_split(bp, bq, wr, wi);
        Complex xp = spectrum_mul(spectrum_load(data1, p), bp);
        Complex xq = spectrum_mul(spectrum_load(data1, q), bq);
        spectrum_merge(xp, xq, wr, wi);
        spectrum_store(data2, p, xp);
        spectrum_store(data2, q, xq);
    });
}
