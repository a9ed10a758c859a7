// The opening and closing scenes, Credits and QxLogo, driven frame by frame against seeked music
// positions: Credits' command table (names with and without a flash, dissolves, the glitch logo,
// its bursts and their decay, the zoom and the whiteout), the typing and its flicker, the order in
// which a name crumbles, the ribbons' wipe; QxLogo's bursts, drift kinds, palette upload and stop.
// Also what the scenes guard against: spark levels past the light table, sparks that round past
// the frame's edge, a logo without a single lit pixel, a short light table or glitch pattern.
//
// A scene runs once per process (its triggers never re-arm), so each scene has one test that walks
// it through its whole timeline; the guards that need other assets run in death-test children.
// cmake-needs: datafile
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "credits.h"
#include "effect.h"
#include "file.h"
#include "font.h"
#include "glint_interface.h"
#include "guarded_frame.h"
#include "image.h"
#include "log.h"
#include "math.h"
#include "mem.h"
#include "modplay.h"
#include "particle3d.h"
#include "particle.h"
#include "qx_logo.h"
#include "r3d.h"
#include "render3d_datafile.h"
#include "scene_env.h"
#include "util.h"
#include "video.h"

using namespace scene_test;

namespace {

CreditsState credits()
{
    CreditsState s;
    credits_getState(&s);
    return s;
}

QxLogoState qxlogo()
{
    QxLogoState s;
    qxlogo_getState(&s);
    return s;
}

template <typename Fade>
void expectLiveEquals(Fade fade, const char* what)
{
    uint32_t got[256], want[256];
    std::memcpy(got, video_getLivePalette(), sizeof(got));
    fade();
    std::memcpy(want, video_getLivePalette(), sizeof(want));
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(got[i], want[i]) << what << ", entry " << i;
}

int liveParticles(const ParticleSystem2d* s)
{
    int n = 0;
    for (int i = 0; i < s->count; i++)
        n += s->particles[i].life >= 0.0f;
    return n;
}

// Opaque pixels of a glyph of the scene's font.
int glyphInk(const Font* f, int c)
{
    const int g = c - f->firstChar, sx = (g % 20) * 16, sy = (g / 20) * 16;
    int n = 0;
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 16; x++)
            n += f->image->pixels[(sy + y) * f->image->width + sx + x] != f->transparent;
    return n;
}

// Non-black pixels of buffer 0 in columns [x0, x1) of rows 0..120, where the ribbons run (the text
// and the spark cloud sit lower).
int ribbonPixels(int x0, int x1, uint8_t black)
{
    const uint8_t* f = video_getBuffer(0);
    int n = 0;
    for (int y = 0; y <= 120; y++)
        for (int x = x0; x < x1; x++)
            n += f[y * 320 + x] != black;
    return n;
}

}  // namespace

TEST(Credits, RecordsAndTimeline)
{
    EXPECT_STREQ(Credits_effect.name, "Credits");
    EXPECT_EQ(Credits_effect.startOrder, 0);
    EXPECT_STREQ(QxLogo_effect.name, "QxLogo");
    EXPECT_EQ(QxLogo_effect.startOrder, 25);
    for (const Effect* e : {&Credits_effect, &QxLogo_effect}) {
        EXPECT_EQ(e->startRow, 0);
        EXPECT_TRUE(e->init && e->deinit && e->update && e->postRetraceUpdate && e->render && e->start);
    }
    // Credits opens the show; QxLogo is registered right after it.
    effect_register();
    effect_start();
    EXPECT_EQ(effect_getCurrent(), &Credits_effect);
    int credits = -1, logo = -1;
    for (int i = 0; i < effect_getCount(); i++) {
        credits = effect_get(i) == &Credits_effect ? i : credits;
        logo = effect_get(i) == &QxLogo_effect ? i : logo;
    }
    EXPECT_GE(credits, 0);
    EXPECT_EQ(logo, credits + 1);
    effect_deinit();
}

TEST(Credits, SparkLevelStaysInsideTheLightTable)
{
    // The cloud: depth 9 (nearest) to 11; brightest at mid-life.
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 9.0f, 129), 128);
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 10.0f, 129), 64);
    EXPECT_EQ(credits_sparkLevel(1.5f, 2.0f, 9.0f, 129), 64);
    EXPECT_EQ(credits_sparkLevel(2.0f, 2.0f, 9.0f, 129), 0);
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 11.0f, 129), 0);
    // Nearer than the cloud: up to the table's last row, never past it; farther: dark.
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 8.9f, 129), 128);
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 0.01f, 129), 128);
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 0.01f, 256), 255);
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 0.01f, 1), 0);
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, 30.0f, 129), 0);
    EXPECT_EQ(credits_sparkLevel(1.0f, 2.0f, NAN, 129), 0);
    EXPECT_EQ(credits_sparkLevel(NAN, 2.0f, 9.5f, 129), 0);
    EXPECT_EQ(credits_sparkLevel(1.0f, 0.0f, 9.5f, 129), 0);
    for (float depth = -50.0f; depth < 50.0f; depth += 0.37f)
        for (float life = -1.0f; life < 6.0f; life += 0.23f) {
            const int level = credits_sparkLevel(life, 5.0f, depth, 129);
            ASSERT_GE(level, 0);
            ASSERT_LE(level, 128);
        }
}

TEST(Credits, Walk)
{
    Effect& e = Credits_effect;
    ASSERT_EQ(e.init(), 1);
    CreditsState s = credits();
    EXPECT_EQ(s.white, video_findPaletteIndex(s.palette, 63, 63, 63));
    EXPECT_EQ(s.black, video_findPaletteIndex(s.palette, 0, 0, 0));
    EXPECT_GE(s.lightRows, 129);
    // The font's ink is this palette's white; its background stays the transparent 254.
    const Image* sheet = s.font->image;
    for (uint32_t i = 0; i < sheet->width * sheet->height; i++)
        ASSERT_TRUE(sheet->pixels[i] == 254 || sheet->pixels[i] == s.white) << i;
    EXPECT_EQ(s.font->transparent, 254);

    e.start();
    s = credits();
    expectLiveEquals([&] { video_setPalette(s.palette); }, "start uploads the palette");
    EXPECT_EQ(s.glitch_xscale, 0.2f);
    EXPECT_EQ(s.glitch_yscale, 0.1f);
    EXPECT_STREQ(s.currentCredit, "V0LTA");
    EXPECT_EQ(s.textLength, 0);

    // 0:0, the first name: no flash; its first letter on this very frame, flickering.
    ASSERT_NO_FATAL_FAILURE(at(0, 0));
    e.update(Dt);
    s = credits();
    EXPECT_EQ(s.currentCreditActive, 1);
    EXPECT_EQ(s.flash_pal, 0.0f);
    EXPECT_EQ(s.textLength, 1);
    EXPECT_FLOAT_EQ(s.timer, 0.2f);
    EXPECT_GE(s.messageBuffer[0], 'A');
    EXPECT_LE(s.messageBuffer[0], 'Y');
    EXPECT_EQ(s.messageBuffer[1], 0);
    EXPECT_EQ(liveParticles(s.text_particles), glyphInk(s.font, 'V'));
    e.render();
    // The ribbons start as the single column 319.
    EXPECT_EQ(ribbonPixels(0, 319, s.black), 0);
    EXPECT_GT(ribbonPixels(319, 320, s.black), 10);
    // The cursor follows the typed letter.
    EXPECT_EQ(video_getBuffer(0)[155 * 320 + 60], s.white);
    e.postRetraceUpdate(Dt);
    expectLiveEquals([&] { video_setPalette(s.palette); }, "no flash for the first name");

    // A letter every 0.2 s (the frame after the timer went negative); each settles after 0.7 s.
    ASSERT_NO_FATAL_FAILURE(at(0, 1));
    std::vector<float> letterTimes = {0.0f};
    float t = 0.0f;
    while (t < 2.0f) {
        frame(e, Dt);
        t += Dt;
        s = credits();
        if (s.textLength > (int)letterTimes.size())
            letterTimes.push_back(t);
        if (s.textLength == 1 && t > 0.1f && t < 0.6f) {
            EXPECT_GE(s.messageBuffer[0], 'A');
            EXPECT_LE(s.messageBuffer[0], 'Y');
        }
    }
    ASSERT_EQ(letterTimes.size(), 5u);
    for (size_t i = 1; i < letterTimes.size(); i++)
        EXPECT_NEAR(letterTimes[i] - letterTimes[i - 1], 0.2f, 1.5f * Dt) << i;
    EXPECT_STREQ(s.messageBuffer, "V0LTA");
    const int typedDots = glyphInk(s.font, 'V') + glyphInk(s.font, '0') + glyphInk(s.font, 'L') +
                          glyphInk(s.font, 'T') + glyphInk(s.font, 'A');
    EXPECT_EQ(liveParticles(s.text_particles), typedDots);
    for (int i = 0; i < s.text_particles->count; i++) {
        const float life = s.text_particles->particles[i].life;
        ASSERT_TRUE(life < 0.0f || life == 2.0f) << "typed dots wait, unaged: " << life;
    }

    // 0:32, the dissolve: the cursor's dots join; lives 1.2..3.8 s, later toward the right.
    ASSERT_NO_FATAL_FAILURE(at(0, 32));
    e.update(Dt);
    s = credits();
    EXPECT_EQ(s.isHidingCredit, 1);
    const Particle2d* tp = s.text_particles->particles;
    ASSERT_EQ(liveParticles(s.text_particles), typedDots + glyphInk(s.font, 34));
    double leftLife = 0, rightLife = 0;
    int left = 0, right = 0;
    for (int i = 0; i < s.text_particles->count; i++) {
        if (tp[i].life < 0.0f)
            continue;
        EXPECT_GE(tp[i].life, 1.2f - Dt - 1e-4f);
        EXPECT_LE(tp[i].life, 3.8f + 1e-4f);
        if (tp[i].x < 80.0f)
            leftLife += tp[i].life, left++;
        else if (tp[i].x >= 105.0f)
            rightLife += tp[i].life, right++;
    }
    ASSERT_GT(left, 50);
    ASSERT_GT(right, 50);
    EXPECT_LT(leftLife / left + 0.5, rightLife / right) << "the name crumbles from the left";
    e.render();
    e.postRetraceUpdate(Dt);
    {
        // Every live dot is one white pixel; the text and cursor are gone.
        int white = 0;
        const uint8_t* f = video_getBuffer(0);
        for (int y = 145; y < 170; y++)
            for (int x = 30; x < 150; x++)
                white += f[y * 320 + x] == s.white;
        EXPECT_EQ(white, liveParticles(s.text_particles));
    }
    // Some dots are left when the next name starts.
    ASSERT_NO_FATAL_FAILURE(at(0, 33));
    for (t = 0.0f; t < 2.5f; t += Dt)
        frame(e, Dt);
    s = credits();
    const int leftOver = liveParticles(s.text_particles);
    EXPECT_GT(leftOver, 0);
    EXPECT_LT(leftOver, typedDots);

    // 1:0, the second name: with a flash; the leftover dots are neither drawn nor aged.
    ASSERT_NO_FATAL_FAILURE(at(1, 0));
    e.update(Dt);
    e.render();
    e.postRetraceUpdate(Dt);
    s = credits();
    EXPECT_STREQ(s.currentCredit, "GRIMWHEEL");
    EXPECT_EQ(s.isHidingCredit, 0);
    EXPECT_FLOAT_EQ(s.flash_pal, 1.0f - 2.0f * Dt);
    expectLiveEquals([&] { video_fadePaletteFromWhite(s.palette, 0, 256, 1.0f - s.flash_pal); }, "name flash");
    int oldDot = -1;
    for (int i = 0; i < s.text_particles->count && oldDot < 0; i++)
        if (tp[i].life >= 0.0f && tp[i].life != 2.0f)
            oldDot = i;
    ASSERT_GE(oldDot, 0);
    const float oldLife = tp[oldDot].life;
    ASSERT_NO_FATAL_FAILURE(at(1, 1));
    for (t = 0.0f; t < 2.5f; t += Dt)
        frame(e, Dt);
    EXPECT_EQ(tp[oldDot].life, oldLife);
    EXPECT_STREQ(credits().messageBuffer, "GRIMWHEEL");
    ASSERT_NO_FATAL_FAILURE(at(1, 32));
    e.update(Dt);
    EXPECT_NE(tp[oldDot].life, oldLife) << "the next dissolve gives them a new life";
    EXPECT_GE(tp[oldDot].life, 1.2f);

    // The other two names and dissolves; the sparks keep coming in bursts.
    for (int order = 2; order <= 3; order++) {
        ASSERT_NO_FATAL_FAILURE(at(order, 0));
        frame(e, Dt);
        EXPECT_EQ(credits().currentCreditIndex, order);
        EXPECT_GT(credits().flash_pal, 0.0f);
        ASSERT_NO_FATAL_FAILURE(at(order, 1));
        for (t = 0.0f; t < 2.0f; t += Dt)
            frame(e, Dt);
        ASSERT_NO_FATAL_FAILURE(at(order, 32));
        frame(e, Dt);
        EXPECT_EQ(credits().isHidingCredit, 1);
        ASSERT_NO_FATAL_FAILURE(at(order, 33));
        for (t = 0.0f; t < 2.0f; t += Dt)
            frame(e, Dt);
    }
    s = credits();
    EXPECT_EQ(s.spark_count, 128);
    EXPECT_GT(s.misc_particles->numLive, 300);

    // The ribbons wipe in along the ease-in-out curve and reach the left edge after 20 s.
    ASSERT_GT(s.reveal, 0.3f);
    ASSERT_LT(s.reveal, 0.9f);
    util_fpuSetCeilMode();
    const int x0 = (int)lrintf(319.0f - 319.0f * ease_inOutQuad(s.reveal));
    util_fpuSetFullMode();
    e.render();
    EXPECT_EQ(ribbonPixels(0, x0, s.black), 0) << x0;
    EXPECT_GT(ribbonPixels(x0, x0 + 1, s.black), 10) << x0;

    // 4:0, two commands on one frame in table order: the logo with a flash, then a glitch burst.
    ASSERT_NO_FATAL_FAILURE(at(4, 0));
    e.update(0.1f);
    e.render();
    e.postRetraceUpdate(0.1f);
    s = credits();
    EXPECT_EQ(s.logo_visible, 1);
    EXPECT_EQ(s.logo_done, 0);
    EXPECT_FLOAT_EQ(s.flash_pal, 0.8f);
    EXPECT_EQ(s.glitch_xscale, 0.2f);
    EXPECT_EQ(s.glitch_yscale, 0.1f);
    EXPECT_EQ(s.glitch_ofs, 0.0f);
    // The burst decays in 0.125 s steps, the pattern scrolling 1000 bytes a step.
    ASSERT_NO_FATAL_FAILURE(at(4, 1));
    frame(e, 0.1f);  // the timer started on the frame after the command: 0.1, no step yet
    EXPECT_EQ(credits().glitch_xscale, 0.2f);
    frame(e, 0.1f);  // 0.2 > 0.125: the first step
    s = credits();
    EXPECT_FLOAT_EQ(s.glitch_xscale, 0.1f);
    EXPECT_EQ(s.glitch_yscale, 0.0f);
    EXPECT_EQ(s.glitch_ofs, 1000.0f);
    EXPECT_FLOAT_EQ(s.glitch_timer, 0.075f);
    frame(e, 0.1f);
    s = credits();
    EXPECT_EQ(s.glitch_xscale, 0.0f);
    EXPECT_EQ(s.glitch_yscale, 0.0f);
    EXPECT_EQ(s.glitch_ofs, 2000.0f);
    frame(e, 0.01f);
    EXPECT_EQ(credits().glitch_ofs, 2000.0f);
    ASSERT_NO_FATAL_FAILURE(at(4, 12));
    e.update(0.01f);
    EXPECT_EQ(credits().glitch_xscale, 0.2f);
    EXPECT_EQ(credits().glitch_yscale, 0.1f);
    // Each later burst on its own row: the one before has died out on the row before it.
    for (int row : {16, 24, 27, 30, 32}) {
        ASSERT_NO_FATAL_FAILURE(at(4, row - 1));
        for (int i = 0; i < 4; i++)
            frame(e, 0.1f);
        EXPECT_EQ(credits().glitch_xscale, 0.0f) << "4:" << row - 1;
        ASSERT_NO_FATAL_FAILURE(at(4, row));
        frame(e, 0.01f);
        EXPECT_EQ(credits().glitch_xscale, 0.2f) << "4:" << row;
        EXPECT_EQ(credits().glitch_yscale, 0.1f) << "4:" << row;
    }
    for (t = 0.0f; t < 0.5f; t += Dt)
        frame(e, Dt);

    // 4:34, the logo turns plain and grows by 1/16 a second; no more spark bursts.
    ASSERT_NO_FATAL_FAILURE(at(4, 34));
    frame(e, Dt);
    s = credits();
    EXPECT_EQ(s.logo_visible, 0);
    EXPECT_EQ(s.logo_done, 1);
    const float phase = s.spark_phase;
    ASSERT_NO_FATAL_FAILURE(at(4, 35));
    for (int i = 0; i < 60; i++)
        frame(e, Dt);
    s = credits();
    EXPECT_EQ(s.spark_phase, phase);
    EXPECT_NEAR(s.logo_scale, 60 * Dt / 16.0f, 1e-4f);
    EXPECT_NEAR(s.logo_scale_value, 1.0f + 2.0f * s.logo_scale, 1e-5f);
    expectLiveEquals([&] { video_setPalette(s.palette); }, "no whiteout before the zoom");

    // 4:48, the zoom: 1 per second up to three times the size, the palette whitening with it.
    ASSERT_NO_FATAL_FAILURE(at(4, 48));
    frame(e, 0.25f);
    s = credits();
    EXPECT_EQ(s.logo_scale_speed, 1.0f);
    expectLiveEquals([&] { video_fadePaletteToWhite(s.palette, 0, 256, (s.logo_scale_value - 1.0f) * 0.5f); },
                     "whiteout follows the scale");
    ASSERT_NO_FATAL_FAILURE(at(4, 49));
    for (int i = 0; i < 4; i++)
        frame(e, 0.25f);
    s = credits();
    EXPECT_EQ(s.logo_scale, 1.0f);
    EXPECT_EQ(s.logo_scale_value, 3.0f);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(video_getLivePalette()[i], 0x00FFFFFFu) << i;
    // After 20 s the ribbons span the frame.
    ASSERT_NO_FATAL_FAILURE(at(4, 50));
    for (int i = 0; i < 20; i++)
        frame(e, 0.25f);
    ASSERT_EQ(credits().reveal, 1.0f);
    EXPECT_GT(ribbonPixels(0, 1, credits().black), 10);
    e.deinit();
}

TEST(Credits, SparksRoundingPastTheEdgeAreDropped)
{
    Effect& e = Credits_effect;
    ASSERT_EQ(e.init(), 1);
    const CreditsState s = credits();
    GuardedFrame f(0);
    Particle3d p{};
    p.life = 1.0f;
    p.initialLife = 2.0f;
    p.depth = 5.0f;  // nearer than the cloud: the brightest row, not past the table
    p.colour = 45;
    for (float x : {-0.6f, -0.4f, 0.0f, 160.0f, 319.4f, 319.6f, 1e9f, -1e9f, NAN})
        for (float y : {-0.6f, 0.0f, 199.4f, 199.6f, 1e9f, NAN}) {
            p.sx = x;
            p.sy = y;
            s.misc_particles->renderFunc(&p, f.p);
        }
    EXPECT_TRUE(f.outsideClean());
    EXPECT_EQ(f.at(319, 199), s.lut[s.light_lut[128 * 256 + 45] * 256]) << "(319.4, 199.4)";
    EXPECT_NE(f.at(0, 0), 0);
    EXPECT_EQ(f.at(1, 0), 0);
    e.deinit();
}

using Files = std::vector<std::pair<std::string, render3d_test::Bytes>>;

// Mounts the scenes' files from the show's datafile with some of them replaced, then runs body;
// meant for death-test children, whose exit code is the result.
int withFiles(Files files, int (*body)())
{
    for (const char* name : {"srcdata/credits.qxp", "srcdata/312.tga", "srcdata/glitch.raw", "srcdata/credlght.raw",
                             "srcdata/logopart.tga", "srcdata/bwgrad.pal"}) {
        bool have = false;
        for (const auto& f : files)
            have = have || f.first == name;
        if (!have) {
            int size = 0;
            uint8_t* data = (uint8_t*)file_readAll(name, &size);
            files.push_back({name, render3d_test::Bytes(data, data + size)});
            mem_free(data);
        }
    }
    return render3d_test::mount(files) ? body() : 5;
}

// A logo image without one lit pixel: no points, and the bursts add nothing (no division by zero).
static int blackLogoSpawnsNothing()
{
    if (!QxLogo_effect.init())
        return 4;
    QxLogo_effect.start();
    for (int i = 0; i < 10; i++)
        QxLogo_effect.update(0.2f);
    const QxLogoState s = qxlogo();
    return s.num_logo_points == 0 && liveParticles(s.title_particle) == 0 ? 3 : 6;
}

static render3d_test::Bytes blackTga(int w, int h)
{
    render3d_test::Bytes b = {0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0, (uint8_t)w, (uint8_t)(w >> 8), (uint8_t)h,
                              (uint8_t)(h >> 8), 8, 0};
    b.resize(b.size() + 768 + (size_t)w * h, 0);
    for (size_t i = 18 + 768; i < b.size(); i++)
        b[i] = (uint8_t)(i * 7);  // any index: every colour of the map is black
    return b;
}

static int creditsInitFails()
{
    return Credits_effect.init() ? 4 : 3;
}

TEST(CreditsLogoDeathTest, GuardsAgainstAssetsTheScenesCannotUse)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto code3 = ::testing::ExitedWithCode(3);
    EXPECT_EXIT(std::exit(withFiles({{"srcdata/logopart.tga", blackTga(40, 20)}}, blackLogoSpawnsNothing)), code3, "");
    // A light table without all 129 levels the cloud lights with (0..128), a glitch pattern shorter
    // than its 256 KiB: init fails.
    for (size_t size : {255, 256 * 3, 256 * 129 - 1})
        EXPECT_EXIT(std::exit(withFiles({{"srcdata/credlght.raw", render3d_test::Bytes(size, 0)}}, creditsInitFails)),
                    code3, "")
            << size;
    EXPECT_EXIT(std::exit(withFiles({{"srcdata/glitch.raw", render3d_test::Bytes(262143, 128)}}, creditsInitFails)),
                code3, "");
}

// The seek keys can bring a name's flash and the whiteout into one frame: 4:34 first (the logo
// toggles on, with a flash), back to 4:0 (it toggles off: done), then 4:48 (the zoom). The
// whiteout is applied after the flash and is what the frame shows.
static int flashUnderTheWhiteout()
{
    Effect& e = Credits_effect;
    if (!e.init())
        return 4;
    e.start();
    for (int row : {34, 0, 48}) {
        modplay_setCurrentPosition(4, (uint16_t)row);
        frame(e, Dt);
    }
    const CreditsState s = credits();
    if (!(s.flash_pal > 0.0f && s.logo_done && s.logo_scale_speed == 1.0f))
        return 5;  // both fades did not run
    uint32_t live[256];
    std::memcpy(live, video_getLivePalette(), sizeof live);
    video_fadePaletteToWhite(s.palette, 0, 256, (s.logo_scale_value - 1.0f) * 0.5f);
    return std::memcmp(live, video_getLivePalette(), sizeof live) == 0 ? 3 : 6;
}

TEST(CreditsLogoDeathTest, WhiteoutIsAppliedAfterTheFlash)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(flashUnderTheWhiteout()), ::testing::ExitedWithCode(3), "");
}

TEST(QxLogo, Walk)
{
    Effect& e = QxLogo_effect;
    ASSERT_EQ(e.init(), 1);
    QxLogoState s = qxlogo();
    // Points: every non-black pixel of the source image, centred on (160, 100), kind by colour.
    Image* src = image_loadFromFile("srcdata/logopart.tga", 0);
    int points = 0, kinds[3] = {0, 0, 0};
    for (uint32_t x = 0; x < src->width; x++)
        for (uint32_t y = 0; y < src->height; y++) {
            const uint8_t* c = src->palette + 3 * src->pixels[y * src->width + x];
            if (!c[0] && !c[1] && !c[2])
                continue;
            const int kind = (c[0] && c[1] && c[2]) ? 0 : c[0] ? 1 : 2;
            ASSERT_EQ(s.logo_velocity[points], kind);
            ASSERT_EQ(s.logo_points[2 * points], (float)x + 160.0f - 0.5f * (float)src->width);
            ASSERT_EQ(s.logo_points[2 * points + 1], (float)y + 100.0f - 0.5f * (float)src->height);
            kinds[kind]++;
            points++;
        }
    image_destroy(src);
    EXPECT_EQ(s.num_logo_points, points);
    EXPECT_GT(kinds[0], 1000);
    EXPECT_GT(kinds[1], 20);
    EXPECT_GT(kinds[2], 20);

    // start clears buffer 0, the only clear.
    memset(video_getBuffer(0), 7, 64000);
    video_setPaletteBlack();
    e.start();
    for (int i = 0; i < 64000; i++)
        ASSERT_EQ(video_getBuffer(0)[i], 0);

    // A frame longer than 0.1 s gives one burst and keeps the surplus.
    ASSERT_NO_FATAL_FAILURE(at(25, 0));
    e.update(0.2f);
    s = qxlogo();
    EXPECT_EQ(liveParticles(s.title_particle), 32);
    EXPECT_FLOAT_EQ(s.spawn_timer, 0.15f);
    const uint8_t* before = video_getBuffer(0);
    e.render();
    EXPECT_EQ(video_getBuffer(1), before) << "the blurred frame became buffer 0";
    // The palette goes up on the first post-retrace step, after the first frame was shown.
    EXPECT_EQ(s.palette_set, 0);
    EXPECT_EQ(video_getLivePalette()[200], 0u);
    e.postRetraceUpdate(0.2f);
    expectLiveEquals([&] { video_setPalette(s.palette); }, "gradient palette");
    EXPECT_EQ(qxlogo().palette_set, 1);
    video_setPaletteBlack();
    e.postRetraceUpdate(Dt);
    EXPECT_EQ(video_getLivePalette()[200], 0u) << "only the first call uploads it";

    // Each particle sits on a point with the drift of its kind; kind 0 stays put.
    const Particle2d* p = s.title_particle->particles;
    auto kindOf = [&](float x, float y) {
        for (int i = 0; i < s.num_logo_points; i++)
            if (s.logo_points[2 * i] == x && s.logo_points[2 * i + 1] == y)
                return s.logo_velocity[i];
        return -1;
    };
    std::vector<int> still;
    for (int i = 0; i < 32; i++) {
        EXPECT_GE(p[i].maxLife, 0.8f);
        EXPECT_LE(p[i].maxLife, 2.5f);
        // One update of 0.2 s moved them from their point.
        const float x = p[i].x - p[i].vx * 0.2f, y = p[i].y - p[i].vy * 0.2f;
        const int kind = kindOf(std::round(x * 2.0f) / 2.0f, std::round(y * 2.0f) / 2.0f);
        ASSERT_GE(kind, 0) << i;
        if (kind == 0) {
            EXPECT_TRUE(p[i].vx == 0.0f && p[i].vy == 0.0f);
            still.push_back(i);
        } else if (kind == 1) {
            EXPECT_TRUE(p[i].vy == 0.0f && std::fabs(p[i].vx) <= 2.0f);
        } else {
            EXPECT_TRUE(p[i].vx == 0.0f && std::fabs(p[i].vy) <= 2.0f);
        }
    }
    ASSERT_FALSE(still.empty());
    const float sx = p[still[0]].x, sy = p[still[0]].y, life = p[still[0]].life;
    e.update(0.01f);
    EXPECT_EQ(p[still[0]].x, sx);
    EXPECT_EQ(p[still[0]].y, sy);
    EXPECT_LT(p[still[0]].life, life) << "still, but ageing (and so pulsing)";

    // Bursts fill the pool to its 700 and no further; the picture is blurred frame after frame.
    ASSERT_NO_FATAL_FAILURE(at(25, 1));
    for (int i = 0; i < 180; i++)
        frame(e, Dt);
    EXPECT_GT(liveParticles(qxlogo().title_particle), 600);
    EXPECT_LE(liveParticles(qxlogo().title_particle), 700);
    int lit = 0;
    for (int i = 0; i < 64000; i++)
        lit += video_getBuffer(0)[i] > 8;
    EXPECT_GT(lit, 3000);

    // 26:50 stops the bursts; the cloud dies out within 2.5 s.
    ASSERT_NO_FATAL_FAILURE(at(26, 50));
    frame(e, Dt);
    EXPECT_EQ(qxlogo().qxlogo_spawn_particles, 0);
    ASSERT_NO_FATAL_FAILURE(at(26, 51));
    int last = liveParticles(qxlogo().title_particle);
    for (int i = 0; i < 160; i++) {
        frame(e, Dt);
        const int now = liveParticles(qxlogo().title_particle);
        ASSERT_LE(now, last);
        last = now;
    }
    EXPECT_EQ(last, 0);
    e.deinit();
}
