// Newton iterations for the quantities no finite run of products gives:
// 1/sqrt(8), square roots and reciprocals. Each starts from a double and
// doubles its precision per step on one shared schedule, so early steps use
// short transforms and only the last ones touch all n words.
//
// N = n - 2 is the largest transform length; t1, t2 are n-word scratch
// numbers and the buffers are product buffers of N + 2 doubles. Nothing here
// allocates.
#pragma once

#include <cstdint>

#include "engine/hp_number.h"

// The power of two P0 at which R^P0 first exceeds what a double resolves,
// capped at N: the precision of a double seed. R = 10000 gives 4.
int32_t hp_newton_start_precision(uint32_t R, int32_t N);

// x = 1/sqrt(8) to n words.
void hp_inv_sqrt(int32_t n, uint32_t R, HpNumber* x, HpNumber* t1, HpNumber* t2, int32_t N,
                 double* T1, double* T2);

// y = sqrt(x) to n words; x is read only and must not be y. A negative x
// leaves y unchanged; a zero x gives zero. t1 ends as about 1/sqrt(x).
void hp_sqrt(int32_t n, uint32_t R, const HpNumber* x, HpNumber* y, HpNumber* t1, HpNumber* t2,
             int32_t N, double* T1, double* T2);

// b = 1/c to n words; c is read only and must not be b. A zero c leaves b
// unchanged.
void hp_inverse(int32_t n, uint32_t R, const HpNumber* c, HpNumber* b, HpNumber* t1, HpNumber* t2,
                int32_t N, double* T2, double* T3);
