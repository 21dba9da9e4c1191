#include "image/jpeg_idct.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// --- plain version ------------------------------------------------------------------

inline int16_t Mul(int16_t v, int32_t k) { return int16_t(int32_t(v) * k / 256); }
inline int16_t W(int v) { return int16_t(v); }  // 16-bit wrap of sums and differences

// One 8-point pass over x[0], x[step], ... (x[0] the lowest frequency).
void Pass(const int16_t* x, int step, int16_t* y)
{
    const int16_t x0 = x[0], x1 = x[step], x2 = x[2 * step], x3 = x[3 * step];
    const int16_t x4 = x[4 * step], x5 = x[5 * step], x6 = x[6 * step], x7 = x[7 * step];
    const int16_t a = W(x0 + x4), b = W(x0 - x4), c = W(x2 + x6);
    const int16_t d = W(Mul(W(x2 - x6), 362) - c);
    const int16_t e0 = W(a + c), e3 = W(a - c), e1 = W(b + d), e2 = W(b - d);
    const int16_t z13 = W(x5 + x3), z10 = W(x5 - x3), z11 = W(x1 + x7), z12 = W(x1 - x7);
    const int16_t o7 = W(z11 + z13);
    const int16_t z5 = Mul(W(z10 + z12), 473);
    const int16_t o6 = W(W(z5 - Mul(z10, 668)) - o7);
    const int16_t o5 = W(Mul(W(z11 - z13), 362) - o6);
    const int16_t o4 = W(W(Mul(z12, 277) - z5) + o5);
    y[0] = W(e0 + o7);
    y[7] = W(e0 - o7);
    y[1] = W(e1 + o6);
    y[6] = W(e1 - o6);
    y[2] = W(e2 + o5);
    y[5] = W(e2 - o5);
    y[4] = W(e3 + o4);
    y[3] = W(e3 - o4);
}

inline int8_t Clamp(int v) { return int8_t(v < -128 ? -128 : v > 127 ? 127 : v); }

#if defined(__SSE2__)

// --- SSE2 version: eight columns (then eight rows) per instruction --------------------

// (v x K) / 256 toward zero, low 16 bits: bits 8..23 of the 32-bit product,
// plus one where the product is negative with a non-zero remainder.
inline __m128i MulK(__m128i v, short k)
{
    const __m128i kk = _mm_set1_epi16(k);
    const __m128i lo = _mm_mullo_epi16(v, kk), hi = _mm_mulhi_epi16(v, kk);
    const __m128i floor = _mm_or_si128(_mm_srli_epi16(lo, 8), _mm_slli_epi16(hi, 8));
    const __m128i negative = _mm_srai_epi16(hi, 15);
    const __m128i exact = _mm_cmpeq_epi16(_mm_and_si128(lo, _mm_set1_epi16(0xFF)), _mm_setzero_si128());
    return _mm_sub_epi16(floor, _mm_andnot_si128(exact, negative));
}

inline void PassV(__m128i x[8])
{
    const __m128i a = _mm_add_epi16(x[0], x[4]), b = _mm_sub_epi16(x[0], x[4]), c = _mm_add_epi16(x[2], x[6]);
    const __m128i d = _mm_sub_epi16(MulK(_mm_sub_epi16(x[2], x[6]), 362), c);
    const __m128i e0 = _mm_add_epi16(a, c), e3 = _mm_sub_epi16(a, c);
    const __m128i e1 = _mm_add_epi16(b, d), e2 = _mm_sub_epi16(b, d);
    const __m128i z13 = _mm_add_epi16(x[5], x[3]), z10 = _mm_sub_epi16(x[5], x[3]);
    const __m128i z11 = _mm_add_epi16(x[1], x[7]), z12 = _mm_sub_epi16(x[1], x[7]);
    const __m128i o7 = _mm_add_epi16(z11, z13);
    const __m128i z5 = MulK(_mm_add_epi16(z10, z12), 473);
    const __m128i o6 = _mm_sub_epi16(_mm_sub_epi16(z5, MulK(z10, 668)), o7);
    const __m128i o5 = _mm_sub_epi16(MulK(_mm_sub_epi16(z11, z13), 362), o6);
    const __m128i o4 = _mm_add_epi16(_mm_sub_epi16(MulK(z12, 277), z5), o5);
    x[0] = _mm_add_epi16(e0, o7);
    x[7] = _mm_sub_epi16(e0, o7);
    x[1] = _mm_add_epi16(e1, o6);
    x[6] = _mm_sub_epi16(e1, o6);
    x[2] = _mm_add_epi16(e2, o5);
    x[5] = _mm_sub_epi16(e2, o5);
    x[4] = _mm_add_epi16(e3, o4);
    x[3] = _mm_sub_epi16(e3, o4);
}

inline void Transpose(__m128i r[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

#endif

}  // namespace

void InverseDctScalar(const int16_t* coef, int8_t* out, size_t stride)
{
    int16_t tmp[64];
    for (int c = 0; c < 8; ++c) {
        int16_t y[8];
        Pass(coef + c, 8, y);
        for (int i = 0; i < 8; ++i)
            tmp[i * 8 + c] = y[i];
    }
    for (int r = 0; r < 8; ++r) {
        int16_t y[8];
        Pass(tmp + r * 8, 1, y);
        for (int i = 0; i < 8; ++i)
            out[size_t(r) * stride + size_t(i)] = Clamp(y[i] / 8);
    }
}

void InverseDct(const int16_t* coef, int8_t* out, size_t stride)
{
#if defined(__SSE2__)
    __m128i v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * i));
    PassV(v);  // lanes are columns
    Transpose(v);
    PassV(v);  // lanes are rows
    Transpose(v);
    for (int r = 0; r < 8; r += 2) {
        // Divide by 8 toward zero: add 7 to negative values before the shift.
        __m128i q[2];
        for (int j = 0; j < 2; ++j) {
            const __m128i y = v[r + j];
            q[j] = _mm_srai_epi16(_mm_add_epi16(y, _mm_and_si128(_mm_srai_epi16(y, 15), _mm_set1_epi16(7))), 3);
        }
        const __m128i packed = _mm_packs_epi16(q[0], q[1]);  // saturation is the clamp
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(r) * stride), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(r + 1) * stride), _mm_srli_si128(packed, 8));
    }
#else
    InverseDctScalar(coef, out, stride);
#endif
}
