// Loading bar geometry and closing animation; profiler slots and report format.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <cfenv>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "glint_interface.h"
#include "kb.h"
#include "profiler.h"
#include "progress.h"
#include "util.h"
#include "video.h"

namespace {

class Progress : public ::testing::Test {
protected:
    void SetUp() override
    {
        glint_setHeadless(1);
        glint_setFixedStep(60);  // no 50 ms holds
        ASSERT_EQ(video_init(1, 0, 2), 1);
        util_fpuSetFloorMode();  // loading runs with truncation
    }
    void TearDown() override
    {
        util_fpuSetFullMode();
        glint_setFrameHook(nullptr, nullptr);
        video_deinit();
    }
};

// Rows (and the column span) of the non-black surface pixels of every presented frame.
struct Frames {
    struct Frame {
        int top = -1, bottom = -1, left = 1000, right = -1;
        uint32_t colour = 0;
    };
    std::vector<Frame> frames;
};

void record(const uint32_t* s, float, void* user)
{
    Frames::Frame f;
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            if (s[y * 320 + x]) {
                if (f.top < 0)
                    f.top = y;
                f.bottom = y;
                f.left = std::min(f.left, x);
                f.right = std::max(f.right, x);
                f.colour = s[y * 320 + x];
            }
    ((Frames*)user)->frames.push_back(f);
}

}  // namespace

TEST_F(Progress, BarGeometryAtEightOfSeventeen)
{
    progress_setTotal(17);
    EXPECT_EQ(video_getLivePalette()[0], 0u);
    EXPECT_EQ(video_getLivePalette()[1], 0x00FFFFFFu);
    for (int i = 0; i < 8; i++)
        progress_inc();
    EXPECT_EQ(progress_getCurrent(), 8);
    const uint8_t* b = video_getBuffer(0);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            bool inBar = x >= 60 && x <= 259 && y >= 80 && y <= 119;
            bool outline = inBar && (x == 60 || x == 259 || y == 80 || y == 119);
            bool filled = inBar && x - 60 <= 94;  // x / 200 < 8 / 17 for x = 0..94
            ASSERT_EQ(b[y * 320 + x], (outline || filled) ? 1 : 0) << x << "," << y;
        }
    // The surface shows the same picture through the palette.
    const uint32_t* s = glint_getBuffer();
    EXPECT_EQ(s[100 * 320 + 154], 0x00FFFFFFu);
    EXPECT_EQ(s[100 * 320 + 155], 0u);
}

TEST_F(Progress, EmptyBarIsAnOutline)
{
    progress_setTotal(17);
    const uint8_t* b = video_getBuffer(0);
    int count = 0;
    for (int i = 0; i < 64000; i++)
        count += b[i];
    EXPECT_EQ(count, 2 * 200 + 2 * 38);
}

TEST_F(Progress, LastStepCollapsesShrinksAndFades)
{
    Frames log;
    glint_setFrameHook(record, &log);
    progress_setTotal(3);
    progress_inc();
    progress_inc();
    log.frames.clear();
    float before = glint_getTime();
    progress_inc();
    EXPECT_EQ(progress_getCurrent(), 3);
    // Two phases of 0.15 s of frame-clock time.
    EXPECT_GT(glint_getTime() - before, 0.3f);
    EXPECT_LT(glint_getTime() - before, 0.3f + 8.0f / 60.0f);  // shrink frames present twice

    ASSERT_GT(log.frames.size(), 10u);
    // First frame: the full bar; then the height shrinks, staying centred, down to one row.
    EXPECT_EQ(log.frames[0].top, 80);
    EXPECT_EQ(log.frames[0].bottom, 119);
    int lastHeight = 40;
    bool sawLine = false, sawPoint = false;
    for (const auto& f : log.frames) {
        if (f.top < 0)
            continue;  // faded to black
        int h = f.bottom - f.top + 1;
        EXPECT_LE(h, lastHeight);
        lastHeight = h;
        if (h == 1) {
            EXPECT_EQ(f.top, 99) << "a one-row bar sits at row 99";
            int w = f.right - f.left + 1;
            EXPECT_EQ(f.left, (320 - w) >> 1);
            sawLine = true;
            if (w == 1)
                sawPoint = true;
        }
    }
    EXPECT_TRUE(sawLine);
    EXPECT_TRUE(sawPoint);
    // The fade ends at grey 0 and the buffer is left black for the first scene.
    EXPECT_EQ(video_getLivePalette()[1], 0u);
    const uint8_t* b = video_getBuffer(0);
    for (int i = 0; i < 64000; i++)
        ASSERT_EQ(b[i], 0) << i;

    // Further steps keep the count at the total and play the animation again.
    progress_inc();
    EXPECT_EQ(progress_getCurrent(), 3);
}

// The window closed by the window manager at some step of the loading (before the first, in the
// middle, before the last with its closing animation, after all of them): the remaining steps
// present one frame each, with no closing animation, and the close is still known when the frame
// loop first looks, frames after Escape stopped being 'just pressed'.
TEST_F(Progress, ACloseWhileLoadingOutlastsIt)
{
    for (int closeAt : {0, 8, 16, 17}) {
        SCOPED_TRACE(closeAt);
        Frames log;
        glint_setFrameHook(record, &log);
        progress_setTotal(17);
        for (int step = 0; step <= 17; step++) {
            if (step == closeAt) {
                SDL_Event e = {};
                e.type = SDL_WINDOWEVENT;
                e.window.event = SDL_WINDOWEVENT_CLOSE;
                Glint::HandleSdlEvent(glint_getWindow(), &e);
                log.frames.clear();
            }
            if (step < 17)
                progress_inc();
        }
        EXPECT_EQ(log.frames.size(), (size_t)(17 - closeAt));
        EXPECT_TRUE(glint_wasClosed());
        if (closeAt < 17) {
            EXPECT_FALSE(kb_keyDown(0x1B)) << "Escape alone is no longer news";
        }
        // Closed and reopened, as the next round does: a new window starts open.
        video_deinit();
        ASSERT_EQ(video_init(1, 0, 2), 1);
        EXPECT_FALSE(glint_wasClosed());
    }
}

TEST_F(Progress, StepWithoutTotalPlaysTheAnimation)
{
    progress_setTotal(0);
    float before = glint_getTime();
    progress_inc();
    EXPECT_EQ(progress_getCurrent(), 0);
    EXPECT_GT(glint_getTime() - before, 0.3f);
}

TEST(ProgressNoWindow, CountsWithoutDrawing)
{
    progress_setTotal(2);
    progress_inc();
    progress_inc();  // no window: nothing to animate, and no hang
    EXPECT_EQ(progress_getCurrent(), 2);
}

// ---- profiler -----------------------------------------------------------------------------------

TEST(Profiler, CollidingTagsProbeForwardWithoutWrapping)
{
    alignas(256) static char names[1024];
    strcpy(names, "alpha");
    strcpy(names + 256, "alpha");  // equal text, different pointer: a different section
    strcpy(names + 512 + 255, "z");
    strcpy(names + 512 + 254, "y");
    profiler_init();
    const char* a = names;
    const char* b = names + 256;
    profiler_startSample(a);
    profiler_endSample(a);
    profiler_startSample(b);
    profiler_endSample(b);
    int sa = profiler_slotOf(a), sb = profiler_slotOf(b);
    EXPECT_EQ(sa, (int)((uintptr_t)a & 255));
    EXPECT_EQ(sb, sa + 1);

    // "y" (home 254) and "z" (home 255) fill the last two slots; a third tag homed at 254 finds
    // no free slot before the end and takes over the last one.
    const char* y = names + 512 + 254;
    const char* z = names + 512 + 255;
    profiler_startSample(y);
    profiler_startSample(z);
    EXPECT_EQ(profiler_slotOf(y), 254);
    EXPECT_EQ(profiler_slotOf(z), 255);
    static char other[600];
    char* homed254 = other + ((254 - ((uintptr_t)other & 255)) & 255);
    strcpy(homed254, "w");
    profiler_startSample(homed254);
    EXPECT_EQ(profiler_slotOf(homed254), 255) << "the last slot is taken over";
    EXPECT_EQ(profiler_slotOf(z), -1);
    profiler_deinit();
}

TEST(Profiler, ReportFormat)
{
    profiler_init();
    static const char* tagA = "render";
    static const char* tagB = "never ended";
    profiler_startSample(tagA);
    profiler_endSample(tagA);
    profiler_startSample(tagA);
    profiler_endSample(tagA);
    profiler_startSample(tagB);

    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    struct tm when = {};
    when.tm_hour = 14;
    when.tm_min = 7;
    when.tm_sec = 9;
    when.tm_mday = 5;
    when.tm_mon = 2;
    when.tm_year = 2026 - 1900;
    profiler_writeReport(f, &when);
    fclose(f);
    std::istringstream in(std::string(text, size));
    free(text);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "Profiler");
    EXPECT_EQ(lines[2], "========");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "Captured 14:07:09 05/03/2026");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "Tag                      Avg Time (s)  Total (s)  Samples");
    EXPECT_EQ(lines[7], std::string(57, '-'));
    std::set<std::string> rows = {lines[8].substr(0, 25), lines[9].substr(0, 25)};
    EXPECT_TRUE(rows.count("render                   "));
    EXPECT_TRUE(rows.count("never ended              "));
    for (int i = 8; i <= 9; i++) {
        if (lines[i].rfind("never", 0) == 0)
            EXPECT_EQ(lines[i], "never ended              0.000000      0.000000   0     ");
        else
            EXPECT_EQ(lines[i].substr(25 + 10 + 4 + 10 + 1), "2     ");
    }
    EXPECT_EQ(lines[10], std::string(57, '-'));
    EXPECT_EQ(lines.size(), 12u) << "rule, then two newlines";
    EXPECT_EQ(lines[11], "");
    profiler_deinit();
}

TEST(Profiler, DeinitWritesTheFileEvenWhenEmpty)
{
    char dir[] = "/tmp/profilerXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    profiler_init();
    profiler_deinit();
    std::ifstream empty("profiler.txt", std::ios::binary | std::ios::ate);
    EXPECT_TRUE(empty.good());
    EXPECT_EQ((long)empty.tellg(), 0L);
    static const char* tag = "x";
    profiler_init();
    profiler_startSample(tag);
    profiler_endSample(tag);
    profiler_deinit();
    std::ifstream full("profiler.txt");
    std::string first, second;
    std::getline(full, first);
    std::getline(full, second);
    EXPECT_EQ(second, "Profiler");
    profiler_startSample(tag);  // after deinit: ignored, no crash
    remove("profiler.txt");
    ASSERT_EQ(chdir(cwd), 0);
    rmdir(dir);
}
