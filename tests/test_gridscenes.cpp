// The ray-cast grid scenes, Tunnel and Plane: the ray casts and light falloffs, the choice of v
// around the tube (no block is drawn across the wrap), rays without a hit, the light radius
// collapsing from order 10 row 46, the plane's horizon, greetings, speed-up and fades, the
// texture scroll recomputed every frame.
//
// A scene runs once per process (its triggers never re-arm), so each scene has one test that
// walks it through its timeline.
// cmake-needs: datafile
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effect.h"
#include "file.h"
#include "glint_interface.h"
#include "interp.h"
#include "log.h"
#include "mat.h"
#include "math.h"
#include "mem.h"
#include "modplay.h"
#include "tunnel.h"
#include "util.h"
#include "video.h"

namespace {

const float Dt = 1.0f / 60.0f;

class Env : public ::testing::Environment {
public:
    void SetUp() override
    {
        util_fpuInit();
        log_init(0);
        mem_init();
        file_mountData(TIDEWATER_DATAFILE);
        modplay_setMode(ModplayMode_Offline);
        ASSERT_EQ(modplay_init("srcdata/s32.mod"), 1);
        glint_setHeadless(1);
        glint_setFixedStep(60);
        ASSERT_EQ(video_init(1, 0, 1), 1);
        math_init();
        util_fpuSetFullMode();
    }
    void TearDown() override
    {
        math_deinit();
        video_deinit();
        modplay_deinit();
        file_unmountData();
    }
};
const auto* const s_env = ::testing::AddGlobalTestEnvironment(new Env);

void at(int order, int row)
{
    modplay_setCurrentPosition((uint16_t)order, (uint16_t)row);
    uint16_t o, r;
    modplay_getCurrentPosition(&o, &r);
    ASSERT_EQ(o, order);
    ASSERT_EQ(r, row);
}

void frame(Effect& e, float dt)
{
    e.update(dt);
    e.render();
    e.postRetraceUpdate(dt);
}

template <typename Fade>
void expectLiveEquals(Fade fade, const char* what)
{
    uint32_t got[256], want[256];
    std::memcpy(got, video_getLivePalette(), sizeof got);
    fade();
    std::memcpy(want, video_getLivePalette(), sizeof want);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(got[i], want[i]) << what << ", entry " << i;
}

int vDiff(const InterpNode& a, const InterpNode& b) { return std::abs((int)(int16_t)(uint16_t)(a.v - b.v)); }

// Every block of the frame must be what its four corners give when their v are taken the short
// way round from the top-left one (v only matters modulo 256): then no block was drawn across the
// wrap. Blocks whose corners cannot be brought within 128 of each other that way (right around
// the vanishing point, where v turns fast) must be unlit; returns how many there were.
int expectNoBlockAcrossTheWrap(const uint8_t* frame)
{
    std::vector<InterpNode> saved(interp_uvlGrid, interp_uvlGrid + InterpGridNodes);
    std::vector<uint8_t> ref(VideoPixels);
    int skipped = 0;
    for (int j = 0; j + 1 < InterpGridHeight; j++)
        for (int i = 0; i + 1 < InterpGridWidth; i++) {
            InterpNode c[4] = {interp_node(i, j), interp_node(i + 1, j), interp_node(i, j + 1),
                               interp_node(i + 1, j + 1)};
            for (int k = 1; k < 4; k++)
                c[k].v = (uint16_t)(c[0].v + (int8_t)(uint8_t)(c[k].v - c[0].v));
            if (vDiff(c[1], c[3]) > 128 || vDiff(c[2], c[3]) > 128 || vDiff(c[1], c[2]) > 128) {
                skipped++;
                EXPECT_EQ(c[0].l + c[1].l + c[2].l + c[3].l, 0) << "unlit block " << i << "," << j;
                continue;
            }
            interp_node(i, j) = c[0];
            interp_node(i + 1, j) = c[1];
            interp_node(i, j + 1) = c[2];
            interp_node(i + 1, j + 1) = c[3];
            interp_renderBlocks(ref.data(), i, j, i + 1, j + 1);
            std::copy(saved.begin(), saved.end(), interp_uvlGrid);
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 8; x++) {
                    const int n = (j * 8 + y) * VideoWidth + i * 8 + x;
                    if (frame[n] != ref[n]) {
                        ADD_FAILURE() << "block " << i << "," << j << " pixel " << x << "," << y;
                        return skipped;
                    }
                }
        }
    return skipped;
}

// v of a tube seen along its axis with the vanishing point at node (cx, cy): 1024 per turn, the
// wrap at +-pi left of the point, as the ray casts give it.
void vanishingField(float cx, float cy, std::vector<int32_t>* rawV)
{
    rawV->resize(InterpGridNodes);
    for (int j = 0; j < InterpGridHeight; j++)
        for (int i = 0; i < InterpGridWidth; i++)
            (*rawV)[j * InterpGridWidth + i] = (int32_t)lrintf(atan2f(cy - j, i - cx) * 512.0f / 3.14159265f);
}

// Blocks whose corners differ by more than 128 in v, as (i, j) pairs.
std::vector<std::pair<int, int>> cutBlocks(const InterpNode* grid)
{
    std::vector<std::pair<int, int>> out;
    for (int j = 0; j + 1 < InterpGridHeight; j++)
        for (int i = 0; i + 1 < InterpGridWidth; i++)
            if (tunnel_blockOnCut(grid, i, j))
                out.push_back({i, j});
    return out;
}

}  // namespace

TEST(Tunnel, RayParameterAndLight)
{
    // On the axis t = 1 / sqrt(dx^2 + dy^2), whatever the ray's z and the camera's z.
    const vec3 p = {0, 0, 37.5f, 0};
    for (vec3 d : {vec3{1, 0, 1, 0}, vec3{0.6f, -0.8f, 3, 0}, vec3{-0.1f, 0.05f, 1, 0}}) {
        const float want = 1.0f / std::sqrt(d.x * d.x + d.y * d.y);
        EXPECT_NEAR(tunnel_hit(p, d), want, want * 0.004f) << d.x << "," << d.y;
    }
    // Off the axis the hit is the far root: the point lies on the wall, ahead of the camera.
    const vec3 q = {0.3f, -0.2f, 0, 0}, d = {-0.7f, 0.4f, 1, 0};
    const float t = tunnel_hit(q, d);
    const float hx = q.x + t * d.x, hy = q.y + t * d.y;
    EXPECT_GT(t, 0.0f);
    EXPECT_NEAR(hx * hx + hy * hy, 1.0f, 0.01f);
    // A ray along the axis meets no wall: no division by zero, a miss.
    EXPECT_LT(tunnel_hit(p, vec3{0, 0, 1, 0}), 0.0f);
    EXPECT_LT(tunnel_hit(p, vec3{0, 0, 0, 0}), 0.0f);

    EXPECT_EQ(tunnel_light(0.0f, 6.0f), 255);
    EXPECT_EQ(tunnel_light(3.0f, 6.0f), 191);
    EXPECT_EQ(tunnel_light(6.0f, 6.0f), 0);
    EXPECT_EQ(tunnel_light(50.0f, 6.0f), 0);
    EXPECT_EQ(tunnel_light(0.0f, 0.0f), 0);  // a collapsed light: no 0 * infinity
    EXPECT_EQ(tunnel_light(1e30f, 0.0f), 0);
}

TEST(Tunnel, VFollowsItsNeighbourAndTheTwoChainsCutOnOppositeSides)
{
    std::vector<int32_t> rawV;
    vanishingField(17.4f, 11.3f, &rawV);
    std::vector<uint8_t> hit(InterpGridNodes, 1);
    std::vector<InterpNode> down(InterpGridNodes), up(InterpGridNodes), raw(InterpGridNodes);
    for (int n = 0; n < InterpGridNodes; n++)
        raw[n].v = (uint16_t)rawV[n];
    tunnel_chainV(rawV.data(), hit.data(), 0, down.data());
    tunnel_chainV(rawV.data(), hit.data(), 1, up.data());
    for (int n = 0; n < InterpGridNodes; n++) {
        ASSERT_EQ((down[n].v - rawV[n]) & 255, 0) << n;  // the same texture row
        ASSERT_EQ((up[n].v - rawV[n]) & 255, 0) << n;
    }
    // Stored as they come, the wrap at +-pi cuts every block left of the vanishing point. Each
    // chain cuts only the columns at the vanishing point, below it (following the node above) or
    // above it (following the node below), so together they leave only the blocks right around it.
    auto nearPoint = [](std::pair<int, int> b) { return std::abs(b.first - 17) <= 1 && std::abs(b.second - 11) <= 1; };
    const auto rawCut = cutBlocks(raw.data());
    EXPECT_GE(rawCut.size(), 17u);
    for (const auto& b : rawCut)
        EXPECT_TRUE((b.second == 11 && b.first <= 17) || nearPoint(b)) << b.first << "," << b.second;
    const auto downCut = cutBlocks(down.data()), upCut = cutBlocks(up.data());
    ASSERT_FALSE(downCut.empty());
    ASSERT_FALSE(upCut.empty());
    for (const auto& b : downCut)
        EXPECT_TRUE(std::abs(b.first - 17) <= 1 && b.second >= 10) << b.first << "," << b.second;
    for (const auto& b : upCut)
        EXPECT_TRUE(std::abs(b.first - 17) <= 1 && b.second <= 12) << b.first << "," << b.second;
    for (int j = 0; j + 1 < InterpGridHeight; j++)
        for (int i = 0; i + 1 < InterpGridWidth; i++)
            EXPECT_FALSE(tunnel_blockOnCut(down.data(), i, j) && tunnel_blockOnCut(up.data(), i, j) &&
                         !nearPoint({i, j}))
                << i << "," << j;
    // Neighbours along each chain never differ by more than 128.
    for (int j = 1; j < InterpGridHeight; j++)
        for (int i = 0; i < InterpGridWidth; i++) {
            ASSERT_LE(vDiff(down[j * InterpGridWidth + i], down[(j - 1) * InterpGridWidth + i]), 128);
            ASSERT_LE(vDiff(up[(j - 1) * InterpGridWidth + i], up[j * InterpGridWidth + i]), 128);
        }
}

TEST(Tunnel, NodesWithoutAHitTakeTheirNeighboursPlace)
{
    std::vector<int32_t> rawV(InterpGridNodes, 300);
    std::vector<uint8_t> hit(InterpGridNodes, 1);
    std::vector<InterpNode> grid(InterpGridNodes, InterpNode{77, 0, 0});
    hit[0] = 0;                        // the very first node has no neighbour yet: 0, 0
    hit[3 * InterpGridWidth + 5] = 0;  // follows (5, 2)
    grid[2 * InterpGridWidth + 5].u = 1234;
    tunnel_chainV(rawV.data(), hit.data(), 0, grid.data());
    EXPECT_EQ(grid[0].u, 0);
    EXPECT_EQ(grid[0].v, 0);
    EXPECT_EQ(grid[1].v, 44);  // 300 taken nearest to its neighbour 0, modulo 256
    EXPECT_EQ(grid[3 * InterpGridWidth + 5].u, 1234);
    EXPECT_EQ(grid[3 * InterpGridWidth + 5].v, grid[2 * InterpGridWidth + 5].v);
}

TEST(Scenes, Tunnel)
{
    Effect& e = Tunnel_effect;
    EXPECT_STREQ(e.name, "Tunnel");
    EXPECT_EQ(e.startOrder, 9);
    EXPECT_EQ(e.startRow, 0);
    ASSERT_EQ(e.init(), 1);
    TunnelState s;
    tunnel_getState(&s);
    EXPECT_EQ(s.light_fade_timer, 6.0f);
    EXPECT_EQ(s.tunnel_fade_in_timer, 0.0f);

    uint8_t* fb = video_getBuffer(0);
    std::memset(fb, 0xEE, VideoPixels);
    e.start();
    ASSERT_NO_FATAL_FAILURE(at(9, 0));
    frame(e, Dt);
    tunnel_getState(&s);
    // The first frame shows the palette at brightness dt.
    EXPECT_EQ(s.tunnel_fade_in_timer, Dt);
    expectLiveEquals([&] { video_fadePaletteFromBlack(s.palette, 0, 256, Dt); }, "fade-in");
    // The camera sits on the axis 8 units behind the look-at point.
    EXPECT_EQ(s.eye.x, 0.0f);
    EXPECT_EQ(s.eye.y, 0.0f);
    EXPECT_EQ(s.eye.z, s.look_target.z - 8.0f);
    EXPECT_EQ(s.view_matrix.m[3][2], s.eye.z);
    {  // every pixel is drawn: rendering the same state over another fill gives the same frame
        const std::vector<uint8_t> first(fb, fb + VideoPixels);
        std::memset(fb, 0x11, VideoPixels);
        e.render();
        EXPECT_EQ(0, std::memcmp(fb, first.data(), VideoPixels));
    }

    // The scroll is recomputed from the view each frame; every block is drawn the short way round.
    for (int k = 0; k < 90; k++) {
        ASSERT_NO_FATAL_FAILURE(at(9, 1 + k / 4));
        frame(e, Dt);
        tunnel_getState(&s);
        const mat& m = s.view_matrix;
        const uint16_t want =
            (uint16_t)((lrintf(m.m[2][1] * 200.0f) * 256 + lrintf(m.m[3][2] * 30.0f)) & 0xFFFF);
        ASSERT_EQ(s.start_ofs, want) << k;
        if (k % 15 == 0) {
            EXPECT_LE(expectNoBlockAcrossTheWrap(fb), 16) << k;
            EXPECT_LE(s.cut_blocks - s.redrawn_blocks, 16) << k;
        }
    }
    EXPECT_EQ(s.tunnel_fade_in_timer, 1.0f);
    for (int n = 0; n < InterpGridNodes; n++)
        ASSERT_LE(interp_uvlGrid[n].l, 255);

    // The light radius holds until order 10 row 46 and then falls by 4 per second to 0.
    ASSERT_NO_FATAL_FAILURE(at(10, 45));
    frame(e, Dt);
    tunnel_getState(&s);
    EXPECT_EQ(s.light_fade_timer, 6.0f);
    ASSERT_NO_FATAL_FAILURE(at(10, 46));
    frame(e, Dt);
    tunnel_getState(&s);
    EXPECT_FLOAT_EQ(s.light_fade_timer, 6.0f - 4.0f * Dt);
    int lit = 0;
    for (int n = 0; n < InterpGridNodes; n++)
        lit += interp_uvlGrid[n].l > 0;
    EXPECT_GT(lit, InterpGridNodes / 2);
    for (int k = 0; k < 100; k++) {
        ASSERT_NO_FATAL_FAILURE(at(10, 47 + k / 8));
        frame(e, Dt);
    }
    tunnel_getState(&s);
    EXPECT_EQ(s.light_fade_timer, 0.0f);
    for (int n = 0; n < InterpGridNodes; n++)
        ASSERT_EQ(interp_uvlGrid[n].l, 0) << n;
    for (int n = 0; n < VideoPixels; n++)  // light row 0 of the table is black
        ASSERT_EQ(fb[n], 0) << n;
    e.deinit();
}
