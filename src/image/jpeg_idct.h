// The JPEG decoder's inverse DCT, on its own so that the vector version can
// be checked against the plain one: the integer AAN transform on
// coefficients prescaled by the quantisation tables, in 16-bit arithmetic
// (sums wrap, every product is (v x K) / 256 truncated toward zero), columns
// first, then rows, each result divided by 8 toward zero and clamped to
// -128..127 (the sample minus 128).
#pragma once

#include <cstddef>
#include <cstdint>

// One 8 x 8 block (natural order) into 8 rows of `out`, `stride` apart.
void InverseDct(const int16_t* coef, int8_t* out, size_t stride);

// The same, one value at a time; the reference for InverseDct.
void InverseDctScalar(const int16_t* coef, int8_t* out, size_t stride);
