#include "image/jpeg_idct.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The vector transform must give the plain one's results bit for bit,
// including where 16-bit sums wrap and products round toward zero.
TEST(JpegIdctTest, VectorVersionMatchesPlainOne)
{
    uint32_t seed = 1;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int trial = 0; trial < 4000; ++trial) {
        alignas(16) int16_t coef[64];
        const int range = trial < 1000 ? 64 : trial < 2000 ? 2048 : trial < 3000 ? 32768 : 4;
        for (int16_t& c : coef)
            c = int16_t(int(next() % uint32_t(2 * range)) - range);
        if (trial % 3 == 0)  // sparse blocks, as most real ones are
            for (int i = 1; i < 64; ++i)
                if (next() % 4)
                    coef[i] = 0;
        int8_t fast[8 * 10], plain[8 * 10];
        std::memset(fast, 0x55, sizeof fast);
        std::memset(plain, 0x55, sizeof plain);
        InverseDct(coef, fast, 10);
        InverseDctScalar(coef, plain, 10);
        ASSERT_EQ(std::memcmp(fast, plain, sizeof fast), 0) << "trial " << trial;
    }
}

TEST(JpegIdctTest, DcOnlyBlockIsFlat)
{
    int16_t coef[64] = {};
    coef[0] = -83;  // -83 / 8 = -10 toward zero
    int8_t out[64];
    InverseDct(coef, out, 8);
    for (int8_t v : out)
        ASSERT_EQ(v, -10);
    coef[0] = 8 * 200;  // clamps
    InverseDct(coef, out, 8);
    EXPECT_EQ(out[63], 127);
}

}  // namespace
