#include "mpfr_pi_reference.h"

#include <gmp.h>
#include <mpfr.h>

#include <cmath>

#include "engine/pi_checksum.h"

void mpfr_pi_checksums(int32_t words, uint64_t out[4]) {
    // pi's digit string in radix 10^L over `words` words is floor(pi * 10^D)
    // with D = (words - 1) L fraction digits.
    const long max_digits = static_cast<long>(words - 1) * 4;
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(std::ceil(max_digits * 3.3219280948873623)) + 128;

    mpfr_t pi, scaled;
    mpfr_inits2(bits, pi, scaled, static_cast<mpfr_ptr>(nullptr));
    mpfr_const_pi(pi, MPFR_RNDN);
    mpz_t power, digits, part, modulus, rest;
    mpz_inits(power, digits, part, modulus, rest, nullptr);
    mpz_ui_pow_ui(power, 10, static_cast<unsigned long>(max_digits));
    mpfr_mul_z(scaled, pi, power, MPFR_RNDN);
    mpfr_get_z(digits, scaled, MPFR_RNDD);
    mpz_set_ui(modulus, 1);
    mpz_mul_2exp(modulus, modulus, 61);
    mpz_sub_ui(modulus, modulus, 1);

    for (int L = 1; L <= 4; ++L) {
        const long drop = max_digits - static_cast<long>(words - 1) * L;
        mpz_ui_pow_ui(power, 10, static_cast<unsigned long>(drop));
        mpz_fdiv_q(part, digits, power);
        mpz_mod(rest, part, modulus);
        out[L - 1] = mpz_get_ui(rest);
    }
    mpz_clears(power, digits, part, modulus, rest, nullptr);
    mpfr_clears(pi, scaled, static_cast<mpfr_ptr>(nullptr));
}
