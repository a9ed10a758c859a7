// The ray-cast grid scenes, Tunnel and Plane: the ray casts and light falloffs, the choice of v
// around the tube (no block is drawn across the wrap), rays without a hit, the light radius
// collapsing from order 10 row 46, the plane's horizon, greetings, speed-up and fades, the
// texture scroll recomputed every frame.
//
// A scene runs once per process (its triggers never re-arm), so each scene has one test that
// walks it through its timeline.
// cmake-needs: datafile
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "artlib.h"
#include "qxa.h"
#include "render3d_datafile.h"

#include "effect.h"
#include "file.h"
#include "glint_interface.h"
#include "interp.h"
#include "log.h"
#include "mat.h"
#include "math.h"
#include "mem.h"
#include "modplay.h"
#include "plane.h"
#include "scene_env.h"
#include "tunnel.h"
#include "util.h"
#include "video.h"

using namespace scene_test;

namespace {

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

TEST(Plane, LightAndGreetings)
{
    EXPECT_EQ(plane_light(0.0f), 255);
    EXPECT_EQ(plane_light(1.0f), 253);
    EXPECT_EQ(plane_light(64.0f), 128);  // 127.5 rounds to even
    EXPECT_EQ(plane_light(128.0f), 0);
    EXPECT_EQ(plane_light(1e9f), 0);

    const PlaneGreet* g = plane_getGreets();
    const int want[PlaneGreetCount][2] = {{20, 50}, {40, 20}, {50, 80}, {30, 50}, {80, 20},  {90, 70}, {100, 30},
                                 {10, 90}, {70, 50}, {200, 30}, {40, 70}, {80, 90}, {128, 64}};
    for (int k = 0; k < PlaneGreetCount; k++) {
        EXPECT_EQ(g[k].x, want[k][0]) << k;
        EXPECT_EQ(g[k].y, want[k][1]) << k;
        const size_t len = std::strlen(g[k].text);
        // Drawn without clipping: every greeting must fit on the screen at its place.
        EXPECT_LE(g[k].x + 16 * (int)len, VideoWidth) << g[k].text;
        EXPECT_LE(g[k].y + 12, VideoHeight) << g[k].text;
        if (k == PlaneGreetCount - 1)
            break;
        EXPECT_GE(len, 5u) << g[k].text;
        EXPECT_LE(len, 16u) << g[k].text;
        for (size_t c = 0; c < len; c++)
            EXPECT_TRUE((g[k].text[c] >= 'A' && g[k].text[c] <= 'Z') || std::strchr(" !-.&'", g[k].text[c]))
                << g[k].text;
        for (int o = 0; o < k; o++)
            EXPECT_STRNE(g[k].text, g[o].text);
    }
    EXPECT_STREQ(g[PlaneGreetCount - 1].text, "YOU!");
}

namespace {

// Pixels that differ between two frames, and whether they all lie in the box and are `colour`.
struct Change {
    int count = 0, outside = 0, other = 0;
};
Change changed(const uint8_t* before, const uint8_t* after, int x0, int y0, int w, int h, uint8_t colour)
{
    Change c;
    for (int n = 0; n < VideoPixels; n++)
        if (before[n] != after[n]) {
            const int x = n % VideoWidth, y = n / VideoWidth;
            c.count++;
            c.outside += x < x0 || x >= x0 + w || y < y0 || y >= y0 + h;
            c.other += after[n] != colour;
        }
    return c;
}

// The rays of the grid nodes as the scene casts them (unit corner rays turned by the view).
vec3 nodeRay(const mat& view, int i, int j)
{
    const float k = 1.0f / std::sqrt(3.0f);
    const vec3 corners[4] = {{-k, k, k, 0}, {-k, -k, k, 0}, {k, -k, k, 0}, {k, k, k, 0}};
    vec3 r[4];
    for (int c = 0; c < 4; c++)
        mat_transformDirection(&view, &corners[c], &r[c]);
    const float fy = j / 25.0f, fx = i / 40.0f;
    vec3 d;
    for (int a = 0; a < 3; a++) {
        const float l = (&r[0].x)[a] + ((&r[1].x)[a] - (&r[0].x)[a]) * fy;
        const float rr = (&r[3].x)[a] + ((&r[2].x)[a] - (&r[3].x)[a]) * fy;
        (&d.x)[a] = l + (rr - l) * fx;
    }
    return d;
}

void expectSceneInvariants(const PlaneState& s, int k)
{
    const mat& m = s.plane_view_matrix;
    // Never below the floor, and looking down at it by less than half the field of view.
    ASSERT_GT(m.m[3][1], 1.0f) << k;
    ASSERT_LT(m.m[2][1], 0.0f) << k;
    ASSERT_GT(m.m[2][1], -0.7071f) << k;
    const uint16_t want = (uint16_t)((lrintf(s.camera.z * 4.0f) * 256 + lrintf(s.camera.x * 4.0f)) & 0xFFFF);
    ASSERT_EQ(s.start_ofs, want) << k;
    // Nodes at or above the horizon are dark; nodes on the floor within 128 are lit.
    for (int j = 0; j < InterpGridHeight; j++)
        for (int i = 0; i < InterpGridWidth; i++) {
            const vec3 d = nodeRay(m, i, j);
            const uint16_t l = interp_node(i, j).l;
            if (d.y >= -1e-4f) {
                ASSERT_EQ(l, 0) << k << " node " << i << "," << j;
            } else if (-m.m[3][1] / d.y < 120.0f) {
                ASSERT_GT(l, 0) << k << " node " << i << "," << j;
            }
        }
}

}  // namespace

TEST(Scenes, Plane)
{
    Effect& e = Plane_effect;
    EXPECT_STREQ(e.name, "Plane");
    EXPECT_EQ(e.startOrder, 19);
    EXPECT_EQ(e.startRow, 0);
    ASSERT_EQ(e.init(), 1);
    PlaneState s;
    plane_getState(&s);
    EXPECT_EQ(s.current_greet, -1);
    EXPECT_EQ(s.plane_speed, 1.0f);
    EXPECT_EQ(s.plane_fade_out_timer, 1.0f);
    EXPECT_EQ(s.white, video_findPaletteNearestIndex(s.palette, 63, 63, 63));

    uint8_t* fb = video_getBuffer(0);
    e.start();
    ASSERT_NO_FATAL_FAILURE(at(18, 63));
    frame(e, Dt);
    plane_getState(&s);
    EXPECT_EQ(s.current_greet, -1);
    EXPECT_EQ(s.plane_fade_in_timer, Dt);
    expectLiveEquals([&] { video_fadePaletteFromBlack(s.palette, 0, 256, Dt); }, "fade-in");
    ASSERT_NO_FATAL_FAILURE(expectSceneInvariants(s, 0));

    // The first trigger brings the first greeting; a zero-length frame keeps the floor, so the
    // only change is the text, in the palette's white, in its box.
    const std::vector<uint8_t> bare(fb, fb + VideoPixels);
    ASSERT_NO_FATAL_FAILURE(at(19, 0));
    e.update(0.0f);
    e.render();
    plane_getState(&s);
    EXPECT_EQ(s.current_greet, 0);
    {
        const PlaneGreet& g = plane_getGreets()[0];
        const Change c = changed(bare.data(), fb, g.x, g.y, 16 * (int)std::strlen(g.text), 12, s.white);
        EXPECT_GT(c.count, 100);
        EXPECT_EQ(c.outside, 0);
        EXPECT_EQ(c.other, 0);
    }

    // One greeting per 8 rows, each from its own row on; the scroll follows the camera; the floor
    // stays lit below the horizon.
    int row = 0, order = 19, k = 0;
    auto to = [&](int o, int r) {
        for (; order < o || (order == o && row < r); k++) {
            if (++row == 64) {
                row = 0;
                order++;
            }
            at(order, row);
            frame(e, 1.0f / 8.33f / 2.0f);  // two frames per row, about the music's pace
            frame(e, 1.0f / 8.33f / 2.0f);
            plane_getState(&s);
            ASSERT_EQ(s.current_greet, std::min(((order - 19) * 64 + row) / 8, PlaneGreetCount - 1))
                << order << ":" << row;
            if (k % 8 == 0)
                expectSceneInvariants(s, k);
        }
    };
    ASSERT_NO_FATAL_FAILURE(to(19, 63));
    plane_getState(&s);
    EXPECT_EQ(s.current_greet, 7);
    EXPECT_EQ(s.plane_fast, 0);
    EXPECT_EQ(s.plane_speed, 1.0f);
    EXPECT_EQ(s.plane_fade_in_timer, 1.0f);

    // From 20:0 the flight speeds up by 0.5 per second.
    ASSERT_NO_FATAL_FAILURE(to(20, 0));
    plane_getState(&s);
    EXPECT_EQ(s.current_greet, 8);
    EXPECT_EQ(s.plane_fast, 1);
    EXPECT_NEAR(s.plane_speed, 1.0f + 0.5f * 2 * (1.0f / 8.33f / 2.0f), 1e-6f);
    ASSERT_NO_FATAL_FAILURE(to(20, 40));
    plane_getState(&s);
    EXPECT_EQ(s.current_greet, 12);
    EXPECT_NEAR(s.plane_speed, 1.0f + 0.5f * 41 / 8.33f, 1e-3f);
    {  // "YOU!" at (128, 64): its box holds the glyphs' white
        int white = 0;
        for (int y = 64; y < 76; y++)
            for (int x = 128; x < 192; x++)
                white += fb[y * VideoWidth + x] == s.white;
        EXPECT_GT(white, 40);
    }

    // 20:58 starts the fade to white, half a second long.
    ASSERT_NO_FATAL_FAILURE(to(20, 57));
    plane_getState(&s);
    EXPECT_EQ(s.plane_fade_out_timer, 1.0f);
    ASSERT_NO_FATAL_FAILURE(at(20, 58));
    frame(e, Dt);
    plane_getState(&s);
    EXPECT_FLOAT_EQ(s.plane_fade_out_timer, 2.0f * Dt);
    expectLiveEquals([&] { video_fadePaletteToWhite(s.palette, 0, 256, 2.0f * Dt); }, "fade to white");
    for (int f = 0; f < 40; f++)
        frame(e, Dt);
    plane_getState(&s);
    EXPECT_EQ(s.plane_fade_out_timer, 1.0f);
    EXPECT_EQ(s.current_greet, 12);  // "YOU!" stays to the end
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(video_getLivePalette()[i], 0x00FFFFFFu) << i;
    e.deinit();
}

// A start on the fade-out row (as --start 20:58 gives) runs the fade-in and the fade to white in
// the same frame: the fade to white is applied second and is what the frame shows. In a child of
// its own, where the scene's fade-in and triggers have not run yet.
namespace {
void planeFirstFrameOnItsFadeOutRow()
{
    Effect& e = Plane_effect;
    if (e.init() != 1)
        std::exit(2);
    e.start();
    modplay_setCurrentPosition(20, 58);
    frame(e, Dt);
    PlaneState s;
    plane_getState(&s);
    if (s.plane_fade_in_timer != Dt || s.plane_fade_out_timer != 2.0f * Dt) {
        std::fprintf(stderr, "timers %g %g: both fades should have run\n", s.plane_fade_in_timer,
                     s.plane_fade_out_timer);
        std::exit(3);
    }
    uint32_t live[256];
    std::memcpy(live, video_getLivePalette(), sizeof live);
    video_fadePaletteToWhite(s.palette, 0, 256, 2.0f * Dt);
    if (std::memcmp(live, video_getLivePalette(), sizeof live) != 0) {
        std::fprintf(stderr, "the fade to white must be applied last\n");
        std::exit(4);
    }
    std::exit(0);
}
}  // namespace

TEST(GridScenesDeathTest, PlaneStartedOnItsFadeOutRowShowsTheFadeToWhite)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(planeFirstFrameOnItsFadeOutRow(), ::testing::ExitedWithCode(0), "");
}

// Bad assets: a light table of another size, or an animation without the camera track, fails the
// scene's init with one line (start-up then fails); a missing height map ends the process.
namespace {
// A file of the show's datafile (mounted by the environment).
std::vector<uint8_t> shippedFile(const char* name)
{
    int size = 0;
    uint8_t* bytes = (uint8_t*)file_readAll(name, &size);
    std::vector<uint8_t> out(bytes, bytes + size);
    mem_free(bytes);
    return out;
}
// Runs the effect's init on a datafile in a child: exit 3 when init fails, 4 when it succeeds.
// Start-up messages go to standard output: send it to standard error, where the test reads it.
void initOn(const std::vector<std::pair<std::string, render3d_test::Bytes>>& files, Effect& e)
{
    dup2(2, 1);
    if (!render3d_test::mount(files))
        std::exit(5);
    std::exit(e.init() == 0 ? 3 : 4);
}
}  // namespace

TEST(GridScenesDeathTest, BadAssetsFailInitWithOneLine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto pack = shippedFile("srcdata/tunnel.qxp"), light = shippedFile("srcdata/tunltlut.tga");
    const auto bump = shippedFile("srcdata/fleshbmp.raw"), track = shippedFile("srcdata/tunnel.qxa");
    ASSERT_FALSE(pack.empty());
    ASSERT_FALSE(light.empty());
    art::Palette pal;
    const auto smallLight = art::buildTga8(std::vector<uint8_t>(16 * 16, 1), 16, 16, pal);
    const auto wrongTrack = qxa::build({qxa::Track{"Camera", {qxa::Key{art::v3(0, 0, 0), 0.0f}}}});

    EXPECT_EXIT(initOn({{"srcdata/tunnel.qxp", pack}, {"srcdata/tunltlut.tga", light},
                        {"srcdata/fleshbmp.raw", bump}, {"srcdata/tunnel.qxa", track}},
                       Tunnel_effect),
                ::testing::ExitedWithCode(4), "");
    EXPECT_EXIT(initOn({{"srcdata/tunnel.qxp", pack}, {"srcdata/tunltlut.tga", smallLight},
                        {"srcdata/fleshbmp.raw", bump}, {"srcdata/tunnel.qxa", track}},
                       Tunnel_effect),
                ::testing::ExitedWithCode(3), "tunnel: srcdata/tunltlut.tga is not a 256 x 256 8-bit light table");
    EXPECT_EXIT(initOn({{"srcdata/tunnel.qxp", pack}, {"srcdata/tunltlut.tga", light},
                        {"srcdata/fleshbmp.raw", bump}, {"srcdata/tunnel.qxa", wrongTrack}},
                       Tunnel_effect),
                ::testing::ExitedWithCode(3), "tunnel: srcdata/tunnel.qxa has no track 'Camera\\|CameraAction'");
    EXPECT_EXIT(initOn({{"srcdata/tunnel.qxp", pack}, {"srcdata/tunltlut.tga", light},
                        {"srcdata/tunnel.qxa", track}},
                       Tunnel_effect),
                ::testing::ExitedWithCode(1), "fleshbmp.raw");
    EXPECT_EXIT(initOn({{"srcdata/plane.qxp", shippedFile("srcdata/plane.qxp")},
                        {"srcdata/plnltlut.tga", shippedFile("srcdata/plnltlut.tga")},
                        {"srcdata/met-scal.raw", shippedFile("srcdata/met-scal.raw")},
                        {"srcdata/planeani.qxa", wrongTrack}},
                       Plane_effect),
                ::testing::ExitedWithCode(3), "plane: srcdata/planeani.qxa needs the tracks");
}
