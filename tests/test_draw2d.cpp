// 2D drawing: lines, additive dots, dot lines and the full-frame filters.
#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "drawdot.h"
#include "glint_interface.h"
#include "guarded_frame.h"
#include "math.h"
#include "util.h"
#include "video.h"

namespace {

constexpr int W = 320, H = 200;

using Frame = GuardedFrame;

class Lines : public ::testing::Test {
protected:
    void SetUp() override
    {
        util_fpuSetFullMode();
        glint_setHeadless(1);
        glint_setFixedStep(60);
        ASSERT_EQ(video_init(1, 0, 1), 1);
        buf = video_getBuffer(0);
    }
    void TearDown() override { video_deinit(); }
    int count(uint8_t v)
    {
        int n = 0;
        for (int i = 0; i < W * H; i++)
            n += buf[i] == v;
        return n;
    }
    void clear() { memset(buf, 0, W * H); }
    uint8_t* buf = nullptr;
};

// The line walk as written: every step from the first end point, each pixel clipped.
void referenceLine(uint8_t* dst, int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool aa)
{
    const int64_t dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
    const int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int64_t err = dx - dy;
    int64_t ed = dx + dy == 0 ? 1 : llrintf(1.0f / math_rsqrt((float)(dx * dx + dy * dy)));
    auto plot = [&](int64_t x, int64_t y, int64_t e) {
        if (x >= 0 && x < W && y >= 0 && y < H)
            dst[y * W + x] = (uint8_t)(aa ? 255 - 255 * e / ed : 9);
    };
    for (;;) {
        plot(x0, y0, std::llabs(err - dx + dy));
        const int64_t e2 = err, x2 = x0;
        if (2 * e2 >= -dx) {
            if (x0 == x1)
                break;
            if (aa && e2 + dy < ed)
                plot(x0, y0 + sy, e2 + dy);
            err -= dy;
            x0 += sx;
        }
        if (2 * e2 <= dy) {
            if (y0 == y1)
                break;
            if (aa && dx - e2 < ed)
                plot(x2 + sx, y0, dx - e2);
            err += dx;
            y0 += sy;
        }
    }
}

}  // namespace

// ---- lines --------------------------------------------------------------------------------------

TEST_F(Lines, PixelCountsAndEndPoints)
{
    video_drawLine(5, 5, 5, 5, 9);
    EXPECT_EQ(count(9), 1);
    EXPECT_EQ(buf[5 * W + 5], 9);
    clear();
    video_drawLine(0, 0, 3, 1, 9);
    EXPECT_EQ(count(9), 4);
    EXPECT_EQ(buf[0], 9);
    EXPECT_EQ(buf[1 * W + 3], 9);
    clear();
    video_drawLine(300, 10, 10, 150, 9);  // steep or not, both ends, one pixel per step
    EXPECT_EQ(count(9), 291);
    EXPECT_EQ(buf[10 * W + 300], 9);
    EXPECT_EQ(buf[150 * W + 10], 9);
}

TEST_F(Lines, MatchTheStepByStepWalkWithEndPointsAnywhere)
{
    std::vector<uint8_t> ref(W * H);
    uint32_t seed = 7;
    auto next = [&](int lo, int hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (int)((seed >> 8) % (uint32_t)(hi - lo + 1));
    };
    for (int aa = 0; aa < 2; aa++)
        for (int t = 0; t < 600; t++) {
            const int span = t < 400 ? 60 : 3000;  // near the frame, then far beyond it
            const int x0 = next(-span, W + span), y0 = next(-span, H + span);
            const int x1 = next(-span, W + span), y1 = next(-span, H + span);
            clear();
            memset(ref.data(), 0, ref.size());
            if (aa)
                video_drawLineAA(x0, y0, x1, y1, 0);
            else
                video_drawLine(x0, y0, x1, y1, 9);
            referenceLine(ref.data(), x0, y0, x1, y1, aa);
            ASSERT_EQ(memcmp(buf, ref.data(), ref.size()), 0)
                << (aa ? "AA " : "") << x0 << "," << y0 << " -> " << x1 << "," << y1;
        }
}

TEST_F(Lines, HugeEndPointsDrawOnlyTheVisiblePart)
{
    // A diagonal through the whole int range: the 200 visible pixels, at once.
    video_drawLine(INT_MIN + 1, INT_MIN + 1, INT_MAX, INT_MAX, 9);
    EXPECT_EQ(count(9), 200);
    for (int y = 0; y < H; y++)
        EXPECT_EQ(buf[y * W + y], 9);
    clear();
    video_drawLine(INT_MIN, 100, INT_MAX, 100, 9);
    EXPECT_EQ(count(9), 320);
    clear();
    video_drawLine(INT_MAX, INT_MIN + 1, INT_MIN + 1, INT_MAX, 9);  // x + y = 0: touches one corner
    video_drawLine(-5, -5, -5, 500, 9);
    video_drawLine(INT_MIN, INT_MIN, INT_MIN, INT_MIN, 9);
    EXPECT_EQ(count(9), 1);
    EXPECT_EQ(buf[0], 9);
    clear();
    video_drawLineAA(INT_MIN, -7, INT_MAX, 300, 0);
    video_drawLineAA(INT_MAX, INT_MAX, INT_MIN, INT_MIN, 0);
    video_drawLineAA(3, 3, 3, 3, 0);
    EXPECT_EQ(buf[3 * W + 3], 255);
    EXPECT_EQ(buf[100 * W + 100], 255) << "on the diagonal";
    EXPECT_EQ(buf[101 * W + 100], 75) << "beside it: 255 - 255 / sqrt 2";
    // The shallow line crosses the frame near row 146.5, shared between two rows.
    for (int x = 150; x < W; x++) {
        int sum = 0;
        for (int y = 0; y < H; y++)
            if (std::abs(y - x) > 1) {
                EXPECT_TRUE(buf[y * W + x] == 0 || y == 146 || y == 147) << x << "," << y;
                sum += buf[y * W + x];
            }
        EXPECT_GE(sum, 200) << x;
    }
}

TEST_F(Lines, AntiAliasedPixelsFollowCoverage)
{
    // Horizontal: exactly on the line, no neighbours.
    video_drawLineAA(10, 20, 30, 20, 0);
    for (int x = 10; x <= 30; x++)
        EXPECT_EQ(buf[20 * W + x], 255);
    EXPECT_EQ(buf[19 * W + 15], 0);
    EXPECT_EQ(buf[21 * W + 15], 0);
    // A 45-degree line: full on the diagonal, half-covered neighbours on both sides.
    clear();
    video_drawLineAA(50, 50, 60, 60, 0);
    EXPECT_EQ(buf[55 * W + 55], 255);
    EXPECT_GT(buf[56 * W + 55], 60);
    EXPECT_LT(buf[56 * W + 55], 200);
}

// ---- dots ---------------------------------------------------------------------------------------

namespace {

const int DotW[4][4] = {{0, 1, 1, 0}, {1, 2, 2, 1}, {1, 2, 2, 1}, {0, 1, 1, 0}};
const int BigW[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 1, 2, 2, 1, 0, 0}, {0, 1, 3, 3, 3, 3, 1, 0}, {0, 2, 3, 3, 3, 3, 2, 0},
    {0, 2, 3, 3, 3, 3, 2, 0}, {0, 1, 3, 3, 3, 3, 1, 0}, {0, 0, 1, 2, 2, 1, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0},
};

}  // namespace

TEST(Dots, AddDotSaturatesAndLeavesCornersAlone)
{
    Frame f(254);
    video_drawAddDot(100, 50, f.p);
    video_drawAddDot(100, 50, f.p);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(f.at(100 + c, 50 + r), DotW[r][c] ? 255 : 254) << r << "," << c;
    EXPECT_EQ(f.at(99, 50), 254);
    EXPECT_EQ(f.at(104, 53), 254);

    Frame g(10);
    video_drawAddDot(0, 0, g.p);
    video_drawAddDot2(10, 0, g.p);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            EXPECT_EQ(g.at(c, r), 10 + DotW[r][c]);
            EXPECT_EQ(g.at(10 + c, r), 10 + 2 * DotW[r][c]);
        }
}

TEST(Dots, IntensityVariants)
{
    Frame f(0);
    video_drawAddDotCol(0, 0, f.p, 200);  // w*k wraps at 8 bits: 400 & 255 = 144
    EXPECT_EQ(f.at(1, 0), 200);
    EXPECT_EQ(f.at(1, 1), 144);
    EXPECT_EQ(f.at(0, 0), 0);
    video_drawAddDotCol(0, 0, f.p, 200);
    EXPECT_EQ(f.at(1, 0), 255);

    Frame g(200);
    g.at(20, 10) = 250;  // under a corner of weight 0: clipped to 239 as well
    video_drawAddDotCol2(20, 10, g.p, 100);
    EXPECT_EQ(g.at(21, 11), 239);
    EXPECT_EQ(g.at(21, 10), 239);
    EXPECT_EQ(g.at(20, 10), 239);
    EXPECT_EQ(g.at(23, 13), 200);
    Frame h(100);
    video_drawAddDotCol2(0, 0, h.p, 30);  // 100 + 2*30 = 160 stays below 240
    EXPECT_EQ(h.at(1, 1), 160);
    video_drawAddDotCol2(0, 0, h.p, -1000);  // a negative intensity bottoms out at 0
    EXPECT_EQ(h.at(1, 1), 0);
    EXPECT_EQ(h.at(0, 0), 100);

    Frame b(250);
    video_drawAddDotColBig(40, 40, b.p, 8);
    int changed = 0;
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            Frame one(0);
            video_drawAddDotColBig(40, 40, one.p, 8);
            EXPECT_EQ(one.at(40 + c, 40 + r), BigW[r][c] * 8);
            EXPECT_EQ(b.at(40 + c, 40 + r), BigW[r][c] ? 255 : 250);
            changed += BigW[r][c] != 0;
        }
    EXPECT_EQ(changed, 32);
}

TEST(Dots, ScaledDotStretchesTheTable)
{
    Frame a(0), b(0);
    video_drawAddDotScaled(30, 30, a.p, 4);
    video_drawAddDot2(30, 30, b.p);
    EXPECT_EQ(memcmp(a.p, b.p, W * H), 0) << "size 4 is the plain dot, doubled";

    Frame c(0);
    video_drawAddDotScaled(30, 30, c.p, 8);  // s = 128: each weight covers 2 x 2 cells
    for (int r = 0; r < 8; r++)
        for (int col = 0; col < 8; col++)
            EXPECT_EQ(c.at(30 + col, 30 + r), 2 * DotW[r / 2][col / 2]);
    Frame d(0);
    video_drawAddDotScaled(30, 30, d.p, 0);
    video_drawAddDotScaled(30, 30, d.p, -5);
    video_drawAddDotScaled(30, 30, d.p, 1);  // one cell of weight 0
    for (int i = 0; i < W * H; i++)
        ASSERT_EQ(d.p[i], 0);
    Frame e(0);
    video_drawAddDotScaled(-1000, -1000, e.p, 5000);  // every weight is s_dot[0][0]; clipped work
    EXPECT_TRUE(e.outsideClean());
}

TEST(Dots, TrueColourDotSaturatesPerChannel)
{
    std::vector<uint32_t> f(W * H, 0xFF10F0F0u);
    video_drawAddDot2_32(5, 5, f.data(), 0x00400810u);
    EXPECT_EQ(f[5 * W + 5], 0x0010F0F0u) << "weight 0 keeps the channels; the top byte is cleared";
    EXPECT_EQ(f[6 * W + 5], 0x0050F8FFu);  // + (0x40, 0x08, 0x10) once, blue saturates
    EXPECT_EQ(f[6 * W + 6], 0x0090FFFFu);  // twice: green saturates too
}

// Every dot at every kind of position: nothing lands outside the frame, the spare rows stay zero,
// and a dot that cannot reach the frame leaves it alone.
TEST(Dots, HostilePositionsNeverLeaveTheFrame)
{
    const std::vector<std::pair<int, std::function<void(int, int, uint8_t*)>>> dots = {
        {4, [](int x, int y, uint8_t* b) { video_drawAddDot(x, y, b); }},
        {4, [](int x, int y, uint8_t* b) { video_drawAddDot2(x, y, b); }},
        {4, [](int x, int y, uint8_t* b) { video_drawAddDotCol(x, y, b, 90); }},
        {4, [](int x, int y, uint8_t* b) { video_drawAddDotCol2(x, y, b, 90); }},
        {8, [](int x, int y, uint8_t* b) { video_drawAddDotColBig(x, y, b, 40); }},
        {13, [](int x, int y, uint8_t* b) { video_drawAddDotScaled(x, y, b, 13); }},
    };
    const int positions[] = {INT_MIN, -1000000, -13, -8, -7, -4, -3, -1, 0, 1, 150,
                             187, 196, 197, 199, 200, 307, 312, 316, 317, 319, 320, 1000000, INT_MAX};
    for (const auto& dot : dots)
        for (int x : positions)
            for (int y : positions) {
                Frame f(100);
                dot.second(x, y, f.p);
                ASSERT_TRUE(f.outsideClean()) << dot.first << " at " << x << "," << y;
                if (x <= -dot.first || x >= W || y <= -dot.first || y >= H) {
                    for (int i = 0; i < W * H; i++)
                        ASSERT_EQ(f.p[i], 100) << dot.first << " at " << x << "," << y;
                }
            }
    // The 32-bit dot in a guarded 32-bit frame.
    std::vector<uint32_t> block(W * H + 2048, 0x12345678u);
    uint32_t* frame = block.data() + 1024;
    for (int x : positions)
        for (int y : positions)
            video_drawAddDot2_32(x, y, frame, 0x00FFFFFFu);
    for (int i = 0; i < 1024; i++) {
        ASSERT_EQ(block[i], 0x12345678u);
        ASSERT_EQ(block[block.size() - 1 - i], 0x12345678u);
    }
}

TEST(Dots, ClippedDotsEqualTheVisiblePartOfTheWholeDot)
{
    // Draw a whole dot at the centre, then the same dot at a clipped position: the visible cells
    // must be the centre dot shifted.
    const std::vector<std::pair<int, std::function<void(int, int, uint8_t*)>>> dots = {
        {4, [](int x, int y, uint8_t* b) { video_drawAddDot(x, y, b); }},
        {4, [](int x, int y, uint8_t* b) { video_drawAddDotCol2(x, y, b, 70); }},
        {8, [](int x, int y, uint8_t* b) { video_drawAddDotColBig(x, y, b, 50); }},
        {11, [](int x, int y, uint8_t* b) { video_drawAddDotScaled(x, y, b, 11); }},
    };
    for (const auto& dot : dots) {
        const int n = dot.first;
        Frame whole(100);
        dot.second(100, 100, whole.p);
        for (int x = -n; x <= W; x++)
            for (int y : {-n, -n + 1, -1, 0, 50, H - n, H - 1, H}) {
                Frame f(100);
                dot.second(x, y, f.p);
                for (int r = 0; r < n; r++)
                    for (int c = 0; c < n; c++) {
                        const int fx = x + c, fy = y + r;
                        if (fx >= 0 && fx < W && fy >= 0 && fy < H) {
                            ASSERT_EQ(f.at(fx, fy), whole.at(100 + c, 100 + r)) << n << " at " << x << "," << y;
                        }
                    }
                int touched = 0;
                for (int i = 0; i < W * H; i++)
                    touched += f.p[i] != 100;
                int expected = 0;
                for (int r = 0; r < n; r++)
                    for (int c = 0; c < n; c++)
                        expected += x + c >= 0 && x + c < W && y + r >= 0 && y + r < H && whole.at(100 + c, 100 + r) != 100;
                ASSERT_EQ(touched, expected) << "no cell wraps to another row; " << n << " at " << x << "," << y;
            }
    }
}

// ---- dot lines ----------------------------------------------------------------------------------

TEST(DotLines, ScaledBlockShapes)
{
    struct Case {
        int size, w, h, add;
    };
    for (Case c : {Case{1, 1, 1, 8}, Case{2, 2, 2, 2}, Case{3, 4, 2, 2}, Case{5, 4, 2, 2}, Case{7, 4, 2, 2},
                   Case{8, 8, 8, 2}, Case{40, 8, 8, 2}}) {
        Frame f(0);
        video_drawDotLineScaled(100, 100, 100, 100, f.p, c.size);  // n = 1: one point
        int touched = 0;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                if (f.at(x, y)) {
                    touched++;
                    EXPECT_EQ(f.at(x, y), c.add);
                    EXPECT_TRUE(x >= 100 && x < 100 + c.w && y >= 100 && y < 100 + c.h) << c.size;
                }
        EXPECT_EQ(touched, c.w * c.h) << "size " << c.size;
    }
    Frame z(0);
    video_drawDotLineScaled(10, 10, 200, 100, z.p, 0);
    video_drawDotLineScaled(10, 10, 200, 100, z.p, -3);
    for (int i = 0; i < W * H; i++)
        ASSERT_EQ(z.p[i], 0);
}

TEST(DotLines, PointsStepInSixteenSixteenAndStopShort)
{
    Frame f(0);
    video_drawDotLineScaled(10, 20, 20, 25, f.p, 1);  // n = 10, step (1, 0.5)
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(f.at(10 + k, 20 + k / 2), 8) << k;
    EXPECT_EQ(f.at(20, 25), 0) << "the last point is one step short of the end";
    int lit = 0;
    for (int i = 0; i < W * H; i++)
        lit += f.p[i] != 0;
    EXPECT_EQ(lit, 10);

    Frame g(0);
    video_drawDotLine(100, 50, 103, 50, g.p);  // three AddDot2 dots a pixel apart
    EXPECT_EQ(g.at(100, 51), 2);
    EXPECT_EQ(g.at(101, 51), 6);
    EXPECT_EQ(g.at(102, 51), 10);
    EXPECT_EQ(g.at(105, 51), 2);
}

TEST(DotLines, PointsWhoseDotWouldLeaveTheFrameAreSkipped)
{
    Frame f(0);
    video_drawDotLineScaled(300, 10, 330, 10, f.p, 8);  // x <= 312 only
    for (int x = 300; x < W; x++)  // blocks at 300..312, each 8 wide
        EXPECT_EQ(f.at(x, 12), 2 * (std::min(x, 312) - std::max(300, x - 7) + 1)) << x;
    EXPECT_TRUE(f.outsideClean());

    Frame g(0);
    video_drawDotLine(310, 190, 330, 210, g.p);  // only (310..316, 190..196) qualify
    EXPECT_TRUE(g.outsideClean());
    EXPECT_EQ(g.at(318, 198), 4) << "the last point, (316, 196), reaches the frame's corner";
    EXPECT_EQ(g.at(318, 199), 2);

    // All four coordinates off screen: nothing, even though the line crosses the frame.
    Frame h(0);
    video_drawDotLine(-5, -5, 400, 300, h.p);
    video_drawDotLineScaled(-5, -5, 400, 300, h.p, 2);
    for (int i = 0; i < W * H; i++)
        ASSERT_EQ(h.p[i], 0);
}

TEST(DotLines, HugeCoordinatesWalkOnlyTheVisiblePoints)
{
    Frame f(0);
    video_drawDotLineScaled(-2000000000, 50, 2000000000, 50, f.p, 1);  // y inside: drawn
    for (int x = 0; x < W; x++)
        ASSERT_EQ(f.at(x, 50), 8) << x;
    Frame g(0);
    for (int v : {INT_MIN, -1, 0, 199, 319, INT_MAX}) {
        video_drawDotLine(v, 0, INT_MIN, v, g.p);
        video_drawDotLine(0, v, v, INT_MAX, g.p);
        video_drawDotLineScaled(INT_MAX, v, v, INT_MIN, g.p, 8);
        video_drawDotLineScaled(v, INT_MAX, INT_MIN, 0, g.p, 3);
    }
    EXPECT_TRUE(g.outsideClean());
}

// ---- filters ------------------------------------------------------------------------------------

TEST(Filters, BlurAveragesFourNeighboursAndDarkensFromTheEdges)
{
    Frame src(200), dst(0);
    video_blur(src.p, dst.p);
    EXPECT_EQ(dst.at(160, 100), 150);
    EXPECT_EQ(dst.at(5, 0), 113);
    EXPECT_EQ(dst.at(319, 0), 113) << "the right neighbour is the next row's first pixel";
    EXPECT_EQ(dst.at(5, 199), 113);
    EXPECT_EQ(dst.at(0, 0), 75);
    EXPECT_EQ(dst.at(319, 199), 75);
    EXPECT_EQ(dst.at(0, 100), 150) << "the left neighbour of column 0 is the row above's last pixel";
    EXPECT_EQ(dst.at(319, 100), 150);
    EXPECT_TRUE(dst.outsideClean());
    for (int v : {100, 4, 3, 1}) {
        Frame s(v), d(0);
        video_blur(s.p, d.p);
        EXPECT_EQ(d.at(160, 100), v == 100 ? 75 : v == 4 ? 3 : v) << v;
    }
}

TEST(Filters, Blur2SubtractsItsDecayAndSaturates)
{
    Frame src(0), dst(0);
    src.at(10, 10) = 255;
    src.at(12, 10) = 101;
    video_blur2(src.p, dst.p, 0);
    EXPECT_EQ(dst.at(11, 10), (255 + 101) / 4) << "decay 0 is the plain average";
    EXPECT_EQ(dst.at(10, 11), 255 / 4);
    video_blur2(src.p, dst.p, 30);
    EXPECT_EQ(dst.at(11, 10), 89 - 30);
    EXPECT_EQ(dst.at(10, 11), 63 - 30);
    EXPECT_EQ(dst.at(100, 100), 0);
    Frame bright(250);
    video_blur2(bright.p, dst.p, -20);
    EXPECT_EQ(dst.at(100, 100), 255) << "a negative decay saturates instead of wrapping";
    video_blur2(bright.p, dst.p, INT_MAX);
    EXPECT_EQ(dst.at(100, 100), 0);
    video_blur2(bright.p, dst.p, INT_MIN);
    EXPECT_EQ(dst.at(100, 100), 255);
}

TEST(Filters, BlurBigSpreadsAPixelToItsEightNeighbours)
{
    Frame src(0), dst(0);
    src.at(50, 60) = 255;
    video_setBlurBigDecay(10);
    video_blurBig(src.p, dst.p);
    int n21 = 0, other = 0;
    for (int i = 0; i < W * H; i++)
        (dst.p[i] == 21 ? n21 : other) += dst.p[i] != 0;
    EXPECT_EQ(n21, 8);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(dst.at(50, 60), 0);
    EXPECT_EQ(dst.at(49, 59), 21);
    EXPECT_EQ(dst.at(51, 61), 21);
    // The first and last pixels: one diagonal neighbour each lies past the spare rows and counts 0.
    Frame flat200(200);
    video_blurBig(flat200.p, dst.p);
    EXPECT_EQ(dst.at(0, 0), 800 / 8 - 10);
    EXPECT_EQ(dst.at(319, 199), 800 / 8 - 10);
    EXPECT_EQ(dst.at(1, 0), 1000 / 8 - 10);
    EXPECT_EQ(dst.at(100, 100), 200 - 10);
    video_setBlurBigDecay(0);
    video_blurBig(src.p, dst.p);
    EXPECT_EQ(dst.at(49, 59), 31);
    video_setBlurBigDecay(-100);
    Frame flat(250);
    video_blurBig(flat.p, dst.p);
    EXPECT_EQ(dst.at(100, 100), 255);
    video_setBlurBigDecay(10);
}

TEST(Filters, Blur32WorksPerChannelOnTheMiddleRows)
{
    std::vector<uint32_t> src(W * H, 0x00C86404u), dst(W * H, 0xDEADBEEFu);
    src[50 * W + 50] = 0x00FF0000u;
    video_blur32(src.data(), dst.data());
    EXPECT_EQ(dst[19 * W + 10], 0xDEADBEEFu);
    EXPECT_EQ(dst[180 * W + 10], 0xDEADBEEFu);
    EXPECT_EQ(dst[100 * W + 10], 0x00964B03u);  // 200 -> 150, 100 -> 75, 4 -> 3
    // Right of the odd pixel: red (255 + 3*200)/4, green (0 + 3*100)/4, blue (0 + 3*4)/4.
    const uint32_t v = dst[50 * W + 51];
    EXPECT_EQ((v >> 16) & 255, 213u - 213u / 4);
    EXPECT_EQ((v >> 8) & 255, 75u - 75u / 4);
    EXPECT_EQ(v & 255, 3u - 3u / 4);
    EXPECT_EQ(v >> 24, 0u);
}

TEST(Filters, RadialLookupAtAmountOneSamplesTheCentre)
{
    util_fpuSetFullMode();
    Frame f(0);
    f.at(160, 100) = 200;
    video_setRadialBlurLookup(1.0f);
    video_blurRadial(f.p);
    EXPECT_EQ(f.at(160, 100), 200);
    for (int i = 0; i < W * H; i++)
        if (i != 100 * W + 160) {
            ASSERT_EQ(f.p[i], 100) << i;
        }
}

TEST(Filters, RadialLookupAtAHugeAmountSamplesThePixelItself)
{
    util_fpuSetFullMode();
    Frame f(0);
    for (int i = 0; i < W * H; i++)
        f.p[i] = (uint8_t)(i * 37 + i / 320);
    std::vector<uint8_t> before(f.p, f.p + W * H);
    video_setRadialBlurLookup(1e9f);
    video_blurRadial(f.p);
    EXPECT_EQ(memcmp(f.p, before.data(), before.size()), 0);
}

TEST(Filters, RadialPassesRunOutwardSoBrightPixelsSmearInOneCall)
{
    // Amount 2: each pixel samples halfway toward the centre, which this very call has already
    // updated; ties round to even (159.5 -> 160, 161.5 -> 162).
    util_fpuSetFullMode();
    Frame f(0);
    f.at(160, 100) = 200;
    video_setRadialBlurLookup(2.0f);
    video_blurRadial(f.p);
    EXPECT_EQ(f.at(160, 100), 200);
    EXPECT_EQ(f.at(161, 100), 100);
    EXPECT_EQ(f.at(162, 100), 50);
    EXPECT_EQ(f.at(159, 100), 100);
    EXPECT_EQ(f.at(158, 100), 50);
    EXPECT_EQ(f.at(160, 99), 100);
    EXPECT_EQ(f.at(160, 98), 50);
    EXPECT_EQ(f.at(160, 101), 100);
    EXPECT_EQ(f.at(160, 102), 50);
    EXPECT_EQ(f.at(162, 102), 50);
    EXPECT_EQ(f.at(0, 0), 0);
}

TEST(Filters, RadialLookupStaysInTheFrameForAnyAmount)
{
    util_fpuSetFullMode();
    // An exact 64,000-byte block: under ASan any sample outside the frame is caught.
    std::vector<uint8_t> exact(W * H);
    for (float amount : {0.0f, -0.0f, 0.5f, 0.01f, -1.0f, -1e30f, 1e-30f, INFINITY, -INFINITY, NAN}) {
        for (int i = 0; i < W * H; i++)
            exact[i] = (uint8_t)i;
        video_setRadialBlurLookup(amount);
        video_blurRadial(exact.data());
    }
    // Amount 0.5 mirrors through the centre, limited to the frame.
    Frame f(0);
    f.at(319, 100) = 100;
    video_setRadialBlurLookup(0.5f);
    video_blurRadial(f.p);
    EXPECT_EQ(f.at(319, 100), 50) << "the first pass: (319, 100) samples (1, 100)";
    EXPECT_EQ(f.at(1, 100), 25) << "the second: (1, 100) samples (319, 100)";
    EXPECT_EQ(f.at(0, 100), 25) << "(0, 100) samples x = 320, limited to 319";
}
