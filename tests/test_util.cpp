#include "util.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// volatile keeps the compiler from converting at compile time, under an assumed mode.
long convert(float v) {
    volatile float x = v;
    return lrintf(x);
}

class Rounding : public ::testing::Test {
protected:
    void TearDown() override { util_fpuInit(); }
};

TEST_F(Rounding, CeilModeRoundsUp) {
    util_fpuInit();
    util_fpuSetCeilMode();
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    EXPECT_EQ(convert(2.1f), 3);
    EXPECT_EQ(convert(-2.9f), -2);
    EXPECT_EQ(convert(2.0f), 2);
    EXPECT_EQ(convert(0.0001f), 1);
    EXPECT_EQ(convert(-0.5f), 0);
    EXPECT_EQ(convert(319.01f), 320);
}

TEST_F(Rounding, FloorModeTruncatesTowardZero) {
    util_fpuInit();
    util_fpuSetFloorMode();
    EXPECT_EQ(std::fegetround(), FE_TOWARDZERO);
    EXPECT_EQ(convert(2.9f), 2);
    EXPECT_EQ(convert(-2.9f), -2);
    EXPECT_EQ(convert(0.999f), 0);
    EXPECT_EQ(convert(255.99f), 255);  // flooring for the non-negative texture coordinates
}

TEST_F(Rounding, FullModeRoundsToNearestEven) {
    util_fpuSetCeilMode();
    util_fpuSetFullMode();
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    EXPECT_EQ(convert(2.5f), 2);
    EXPECT_EQ(convert(3.5f), 4);
    EXPECT_EQ(convert(-2.5f), -2);
    EXPECT_EQ(convert(2.6f), 3);
    EXPECT_EQ(convert(-2.6f), -3);
}

TEST_F(Rounding, InitSelectsFullModeWhateverWasInForce) {
    util_fpuSetFloorMode();
    util_fpuInit();
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    EXPECT_EQ(convert(1.5f), 2);
}

// The mode also governs float arithmetic, and the build must not fold it away.
TEST_F(Rounding, ArithmeticFollowsTheMode) {
    volatile float one = 1.0f, three = 3.0f;
    util_fpuSetCeilMode();
    float up = one / three;
    util_fpuSetFloorMode();
    float down = one / three;
    util_fpuSetFullMode();
    float nearest = one / three;
    EXPECT_GT(up, down);
    EXPECT_TRUE(nearest == up || nearest == down);
    // A plain cast always truncates: code that converts "in the current mode" must use lrintf.
    util_fpuSetCeilMode();
    volatile float x = 2.1f;
    EXPECT_EQ(static_cast<int>(x), 2);
}

TEST(Util, BlitCopiesExactlyCountWords) {
    std::vector<uint32_t> src(16000), dst(16002, 0xDEADBEEF);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint32_t(i * 2654435761u);
    util_blit(dst.data() + 1, src.data(), 16000);
    EXPECT_EQ(dst[0], 0xDEADBEEF);
    EXPECT_EQ(dst[16001], 0xDEADBEEF);
    for (size_t i = 0; i < src.size(); ++i) ASSERT_EQ(dst[i + 1], src[i]) << i;
    util_blit(dst.data(), src.data(), 0);
    EXPECT_EQ(dst[0], 0xDEADBEEF);
}

TEST(Util, ClearFillsAnEightBitBufferWithOneIndex) {
    std::vector<unsigned char> buf(320 * 200 + 8, 0x11);
    util_clear(buf.data() + 4, 0x7F7F7F7Fu, 320 * 200 / 4);
    EXPECT_EQ(buf[3], 0x11);
    EXPECT_EQ(buf[4], 0x7F);
    EXPECT_EQ(buf[4 + 320 * 200 - 1], 0x7F);
    EXPECT_EQ(buf[4 + 320 * 200], 0x11);
    // Unaligned destination and a mixed pattern keep byte order of the word.
    util_clear(buf.data() + 1, 0x04030201u, 2);
    EXPECT_EQ(buf[1], 1);
    EXPECT_EQ(buf[2], 2);
    EXPECT_EQ(buf[8], 4);
    EXPECT_EQ(buf[9], 0x7F);
}

}  // namespace
