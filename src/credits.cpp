// Credits scene. Most of it runs off its own command table (credit_triggers): names, dissolves,
// the glitch logo, its bursts and the zoom. Random numbers come from the shared generator, in the
// order update draws them: a spark burst, then a dissolve's scatter (from the command table), then
// the letters' flicker.
#include "credits.h"

#include <cmath>
#include <cstring>

#include "effect.h"
#include "file.h"
#include "font.h"
#include "fround.h"
#include "image.h"
#include "impack.h"
#include "log.h"
#include "mat.h"
#include "math.h"
#include "mem.h"
#include "modplay.h"
#include "particle3d.h"
#include "particle.h"
#include "random.h"
#include "util.h"
#include "video.h"

enum {
    GlitchSize = 262144,  // the glitch pattern is addressed modulo this
    GlitchMask = GlitchSize - 1,
    TextX = 40,
    TextY = 150,
    CursorChar = 34,    // the font sheet draws this code as the typing cursor
    MessageMax = 64,
    LogoKey = 2,        // transparent logo pixel
    LightLevels = 129,  // light table rows the sparks reach from the cloud: levels 0..128
};

static ImagePack* credits_pack;
static ImagePackImage* credits_logo;
static uint8_t* glitch_image;
static uint8_t* light_lut;
static int s_lightRows;
static Font* font;
static ParticleSystem2d* text_particles;
static Particle3dSystem* misc_particles;
static uint8_t white;
static uint8_t black;
static uint32_t black32;

static const char* const Credits[] = {"V0LTA", "GRIMWHEEL", "PLUME", "EMBERLY"};
static const int NumCredits = 4;
static const char* currentCredit = "";
static int currentCreditIndex;
static int currentCreditLength;
static char messageBuffer[MessageMax];
static int textLength;
static float timer;
static float shuffleTimers[MessageMax];
static float shuffleSwitchCharTimers[MessageMax];
static int currentCreditActive;
static int isHidingCredit;

static float reveal;
static float indexx, indexy;
static float spark_spawn_timer = 1.0f;
static float spark_phase;
static int spark_count = 10;
static float dot_colour_timer;
static const uint8_t dot_colours[4] = {45, 238, 244, 76};
static int dot_colour;
static vec3 spark_rotation;
static uint8_t logo_visible, logo_done;
static float logo_scale;
static float logo_scale_speed = 0.0625f;
static float logo_scale_value = 1.0f;
static float glitch_xscale, glitch_yscale;
static float glitch_ofs;
static float glitch_timer;
static float flash_pal;

// Command codes: class in the high byte, argument in the low byte.
enum { CmdCredit = 0x100, CmdHide = 0x200, CmdLogo = 0x300, CmdGlitch = 0x400, CmdZoom = 0x500 };

static Trigger credit_triggers[18] = {
    {0, 0, 0, {.code = 0x100}},  {0, 32, 0, {.code = 0x200}}, {1, 0, 0, {.code = 0x101}},
    {1, 32, 0, {.code = 0x201}}, {2, 0, 0, {.code = 0x102}},  {2, 32, 0, {.code = 0x202}},
    {3, 0, 0, {.code = 0x103}},  {3, 32, 0, {.code = 0x203}}, {4, 0, 0, {.code = 0x300}},
    {4, 0, 0, {.code = 0x400}},  {4, 12, 0, {.code = 0x400}}, {4, 16, 0, {.code = 0x400}},
    {4, 24, 0, {.code = 0x400}}, {4, 27, 0, {.code = 0x400}}, {4, 30, 0, {.code = 0x400}},
    {4, 32, 0, {.code = 0x400}}, {4, 34, 0, {.code = 0x300}}, {4, 48, 0, {.code = 0x500}},
};

// The ribbons run in the ceiling mode, known here: their operations round upward through U (the
// plain operators where the hardware has the mode, software rounding where it has none).
static constexpr FroundUpOps U;

// Four angles' sines: 8192 steps per turn; the index is rounded up (the ribbons' mode).
static inline FroundF4 sinDegrees4(FroundF4 degrees)
{
    const FroundF4 steps = U.mul(degrees, fround_splat4(22.7555f));
    FroundF4 s;
    for (int i = 0; i < 4; i++)
        s[i] = g_sincosf[2 * (math_roundPositionUp(steps[i]) & SinCosMask)];
    return s;
}

// ---- particle looks -----------------------------------------------------------------------------

// A name's dots: one white pixel each (particle2d_render has culled the pixel to the frame).
static void particleRenderFunc(const Particle2d* p, uint8_t* buffer)
{
    buffer[p->sy * VideoWidth + p->sx] = white;
}

// A spark: its colour lit by its level of life and depth, blended over the frame.
static void sparkParticleRenderFunc(const Particle3d* p, uint8_t* buffer)
{
    const int x = math_roundPosition(p->sx), y = math_roundPosition(p->sy);
    if (x < 0 || x >= VideoWidth || y < 0 || y >= VideoHeight)
        return;  // 319.6 passes the pool's screen test but rounds past the edge
    const int level = credits_sparkLevel(p->life, p->initialLife, p->depth, s_lightRows);
    const uint8_t lit = light_lut[level * 256 + (p->colour & 255)];
    uint8_t* pixel = buffer + y * VideoWidth + x;
    *pixel = credits_pack->lut[lit * 256 + *pixel];
}

// ---- set-up -------------------------------------------------------------------------------------

static int fail(const char* problem)
{
    log_print("credits: %s\n", problem);
    return 0;
}

static int init()
{
    credits_pack = impack_load("srcdata/credits.qxp");
    credits_logo = &credits_pack->images[0];
    if (!credits_logo->pixels)
        return fail("srcdata/credits.qxp: no logo image");
    int size = 0;
    glitch_image = (uint8_t*)file_readAll("srcdata/glitch.raw", &size);
    if (size < GlitchSize)
        return fail("srcdata/glitch.raw: shorter than 262144 bytes");
    text_particles = particle2d_create(2048);
    misc_particles = particle3d_create(1024);
    text_particles->render = particleRenderFunc;
    misc_particles->renderFunc = sparkParticleRenderFunc;
    font = font_loadFromFile("srcdata/312.tga", 16, 12, 0, 4, 20, 32);
    font->transparent = 254;

    const uint8_t* palette = credits_pack->palette;
    white = (uint8_t)video_findPaletteIndex(palette, 63, 63, 63);
    black = (uint8_t)video_findPaletteIndex(palette, 0, 0, 0);
    black32 = black * 0x01010101u;
    uint8_t* sheet = font->image->pixels;
    for (size_t i = 0, n = (size_t)font->image->width * font->image->height; i < n; i++)
        if (sheet[i] == 255)
            sheet[i] = white;

    light_lut = (uint8_t*)file_readAll("srcdata/credlght.raw", &size);
    s_lightRows = size / 256;
    if (s_lightRows < LightLevels)
        return fail("srcdata/credlght.raw: shorter than 129 rows of 256 entries (33024 bytes)");
    return 1;
}

static void deinit()
{
    mem_free(glitch_image);
    mem_free(light_lut);
    glitch_image = light_lut = nullptr;
    impack_destroy(credits_pack);
    credits_pack = nullptr;
    font_destroy(font);
    font = nullptr;
    particle2d_destroy(text_particles);
    particle3d_destroy(misc_particles);
    text_particles = nullptr;
    misc_particles = nullptr;
}

static void setCredit(int index)
{
    currentCreditIndex = index;
    currentCredit = Credits[index];
    currentCreditLength = (int)strlen(currentCredit);
    if (currentCreditLength > MessageMax - 1)
        currentCreditLength = MessageMax - 1;
    messageBuffer[0] = 0;
    textLength = 0;
}

static void start()
{
    setCredit(0);
    video_setPalette(credits_pack->palette);
    glitch_xscale = 0.2f;
    glitch_yscale = 0.1f;
}

int credits_sparkLevel(float life, float initialLife, float depth, int rows)
{
    const float t = life / initialLife;
    const float a = fabsf(t - 0.5f);
    const float level = 128.0f * (1.0f - 2.0f * a) * (1.0f - (depth - 9.0f) * 0.5f);
    // The cloud sits at depth 9 to 11 and gives levels 0..128; beyond it the level is limited to
    // the table (nearer: its brightest row, farther: dark) instead of wrapping as a byte.
    const float top = (float)(rows - 1);
    if (!(level > 0.0f))
        return 0;
    return level >= top ? rows - 1 : (int)lrintf(level);
}

// ---- typing and dissolving ----------------------------------------------------------------------

static void updateCurrentMessage(float dt)
{
    timer -= dt;
    if (timer >= 0.0f || textLength >= currentCreditLength)
        return;
    font_addCharParticles(font, text_particles, (uint8_t)currentCredit[textLength], TextX + 16 * textLength, TextY);
    timer = 0.2f;
    const int i = textLength;
    textLength++;
    shuffleTimers[i] = 0.7f;
    shuffleSwitchCharTimers[i] = 0.0f;
}

static void shuffleCurrentMessage(float dt)
{
    for (int i = 0; i < textLength; i++) {
        shuffleTimers[i] -= dt;
        if (shuffleTimers[i] < 0.0f) {
            messageBuffer[i] = currentCredit[i];
            continue;
        }
        shuffleSwitchCharTimers[i] -= dt;
        if (shuffleSwitchCharTimers[i] < 0.0f) {
            messageBuffer[i] = (char)(65 + random_next() % 25);
            shuffleSwitchCharTimers[i] = 0.08f;
        }
    }
    messageBuffer[textLength] = 0;
}

static void hideCurrentCredit()
{
    font_addCharParticles(font, text_particles, CursorChar, TextX + 16 * textLength, TextY);
    Particle2d* p = text_particles->particles;
    const int n = text_particles->count;
    int smallest = 320, largest = 0;
    for (int i = 0; i < n; i++) {
        if (!(p[i].life >= 0.0f))
            continue;
        p[i].sx = math_roundPosition(p[i].x);
        p[i].sy = math_roundPosition(p[i].y);
        smallest = p[i].sx < smallest ? p[i].sx : smallest;
        largest = p[i].sx > largest ? p[i].sx : largest;
    }
    // All dots in one column (or none) would divide by zero: they all start at the left edge.
    const float span = largest > smallest ? (float)(largest - smallest) : 1.0f;
    for (int i = 0; i < n; i++) {
        if (!(p[i].life >= 0.0f))
            continue;
        const float u = (float)(p[i].sx - smallest) / span;
        const float f = random_float();
        p[i].life = 2.0f + u + (-0.8f * (1.0f - f) + 0.8f * f);
    }
    isHidingCredit = 1;
}

static void updateCreditParticles(float dt)
{
    Particle2d* p = text_particles->particles;
    for (int i = 0; i < text_particles->count; i++) {
        if (!(p[i].life >= 0.0f))
            continue;
        p[i].sx = math_roundPosition(p[i].x);
        p[i].sy = math_roundPosition(p[i].y);
        p[i].life -= dt;
    }
}

// ---- update -------------------------------------------------------------------------------------

static void spawnSparks()
{
    spark_phase += 5.0f;
    spark_count = spark_count + 5 > 128 ? 128 : spark_count + 5;
    // Sine through double (float sinf differs between C libraries); the first frame runs in loading's
    // truncation.
    const float radius =
        fround_add(0.5f, fround_mul(0.5f, fround_narrowDouble(std::sin((double)fround_mul(spark_phase, 0.0125f)))));
    for (int n = 0; n < spark_count; n++) {
        Particle3d* p = particle3d_spawn(misc_particles);
        if (!p)
            continue;
        p->colour = dot_colours[dot_colour];
        vec3 pos;
        pos.x = fround_sub(2.0f * random_float(), 1.0f);
        pos.y = fround_sub(2.0f * random_float(), 1.0f);
        pos.z = fround_sub(2.0f * random_float(), 1.0f);
        pos.w = 0.0f;
        vec3_normalise(&pos);
        p->pos.x = fround_mul(pos.x, radius);
        p->pos.y = fround_mul(pos.y, radius);
        p->pos.z = fround_mul(pos.z, radius);
        p->life = p->initialLife = fround_add(1.0f, 4.0f * random_float());
    }
}

static void runCommand(const Trigger& t)
{
    const unsigned code = (unsigned)t.code, argument = code & 0xFF;
    switch (code & 0xFF00) {
    case CmdCredit:
        if ((int)argument >= NumCredits)
            break;  // names the table does not hold
        setCredit((int)argument);
        currentCreditActive = 1;
        isHidingCredit = 0;
        if (t.order != 0)
            flash_pal = 1.0f;
        break;
    case CmdHide:
        hideCurrentCredit();
        break;
    case CmdLogo:
        logo_visible = !logo_visible;
        if (logo_visible)
            flash_pal = 1.0f;
        else
            logo_done = 1;
        break;
    case CmdGlitch:
        glitch_yscale = 0.1f;
        glitch_xscale = 0.2f;
        break;
    case CmdZoom:
        logo_scale_speed = 1.0f;
        break;
    default:
        break;
    }
}

static void update(float dt)
{
    if (!logo_done) {
        dot_colour_timer += dt;
        spark_spawn_timer += dt;
        if (dot_colour_timer > 8.0f) {
            dot_colour_timer = 0.0f;
            dot_colour = (dot_colour + 1) & 3;
        }
        if (spark_spawn_timer > 0.1f) {
            spark_spawn_timer = 0.0f;
            spawnSparks();
        }
    }

    if (logo_visible) {
        glitch_timer += dt;
        if (glitch_timer > 0.125f) {
            glitch_ofs += 1000.0f;
            glitch_timer -= 0.125f;
            if (glitch_xscale > 0.0f)
                glitch_xscale = glitch_xscale - 0.1f > 0.0f ? glitch_xscale - 0.1f : 0.0f;
            if (glitch_yscale > 0.0f)
                glitch_yscale = glitch_yscale - 0.1f > 0.0f ? glitch_yscale - 0.1f : 0.0f;
        }
    } else if (logo_done) {
        logo_scale = logo_scale + dt * logo_scale_speed < 1.0f ? logo_scale + dt * logo_scale_speed : 1.0f;
    }

    for (Trigger& t : credit_triggers)
        if (modplay_updateTrigger(&t))
            runCommand(t);

    indexx += 90.0f * dt;
    indexy += 45.0f * dt;
    reveal += 0.05f * dt;
    reveal = reveal < 0.0f ? 0.0f : reveal > 1.0f ? 1.0f : reveal;

    if (currentCreditActive) {
        if (!isHidingCredit) {
            updateCurrentMessage(dt);
            shuffleCurrentMessage(dt);
        } else {
            updateCreditParticles(dt);
        }
    }

    spark_rotation.x = math_wrapDegrees(spark_rotation.x + 50.0f * dt);
    spark_rotation.y = math_wrapDegrees(spark_rotation.y + 50.0f * dt);
    spark_rotation.z = math_wrapDegrees(spark_rotation.z + 50.0f * dt);
    mat_set(&misc_particles->matrix, spark_rotation, vec3{4.0f, -2.0f, 10.0f, 0.0f});
    particle3d_update(misc_particles, dt);

    logo_scale_value = (1.0f - logo_scale) * 1.0f + logo_scale * 3.0f;
}

// ---- render -------------------------------------------------------------------------------------

// One ribbon's slices in four neighbouring columns: rows y0 up to y1, and the texture coordinate v
// at y0 with its step a row.
struct RibbonSlices {
    FroundF4 v, dv;
    int32_t y0[4], y1[4];
};

static RibbonSlices ribbonSlices(FroundF4 top, FroundF4 bottom)
{
    RibbonSlices r;
    r.dv = U.div(fround_splat4(1.0f), U.sub(bottom, top));
    FroundF4 y0;
    for (int i = 0; i < 4; i++) {
        r.y0[i] = math_roundPositionUp(top[i]);
        r.y1[i] = math_roundPositionUp(bottom[i]);
        y0[i] = (float)r.y0[i];
    }
    r.v = U.mul(U.sub(y0, top), r.dv);
    return r;
}

// One column of a ribbon, blended through the translucency table over what is there. Runs in the
// ceiling mode: every conversion rounds up except the texture column, which is floored, and so
// does every operation (through U; the products by powers of two are exact).
static void drawSlice(int x, int column, int y0, int y1, float v, float dv, uint8_t* buffer,
                      const uint8_t* texture)
{
    const uint8_t* lut = credits_pack->lut;
    // Rows above the frame still advance the texture coordinate; rows past it are not drawn.
    if (FROUND_SOFTWARE) {
        // The same sums (drawRibbons rounds up), stepped in integers, and inside each binade of v
        // the texture row stepped in integers too.
        FroundUpSeries series(v, dv);
        for (; y0 < 0 && y0 < y1; y0++)
            series.next();
        const int yEnd = y1 < VideoHeight ? y1 : VideoHeight;
        if (y0 >= yEnd)
            return;
        const uint8_t* texels = texture + column;
        uint8_t* pixel = buffer + y0 * VideoWidth + x;
        uint8_t* const end = buffer + yEnd * VideoWidth + x;
        while (pixel < end) {
            FroundUpSeries::CeilRun run;
            if (!series.ceilRun(6, &run)) {
                const int row = math_roundPositionUp(series.value() * 64.0f) & 63;
                *pixel = lut[texels[row * 128] * 256 + *pixel];
                pixel += VideoWidth;
                series.next();
                continue;
            }
            uint32_t n = 0;
            do {
                *pixel = lut[texels[((run.r >> run.shift) & 63) * 128] * 256 + *pixel];
                pixel += VideoWidth;
                run.r += run.step;
                n++;
            } while (run.r < run.limit && pixel < end);
            series.skip(n - 1);
            series.next();
        }
        return;
    }
    for (; y0 < 0 && y0 < y1; y0++)
        v = U.add(v, dv);
    for (int y = y0; y < y1 && y < VideoHeight; y++) {
        const int row = math_roundPositionUp(v * 64.0f) & 63;
        uint8_t* pixel = buffer + y * VideoWidth + x;
        *pixel = lut[texture[row * 128 + column] * 256 + *pixel];
        v = U.add(v, dv);
    }
}

// Two ribbons, each column a slice of a texture between two waves. Four columns at a time: their
// edges and slices' steps are four lanes of the same operations (software rounding costs per
// operation, not per lane). The angles a and b and the texture column u step by fixed amounts,
// every sum rounded up.
static void drawRibbons(uint8_t* buffer)
{
    util_fpuSetCeilMode();
    const int x0 = math_roundPositionUp(U.sub(319.0f, U.mul(319.0f, ease_inOutQuad(reveal))));
    FroundUpSeries a(indexx, 2.0f), b(indexy, 1.0f), u(0.0f, 0.003125f);
    const FroundF4 lanes = {0.0f, 1.0f, 2.0f, 3.0f};
    for (int x = x0 < 0 ? 0 : x0; x < VideoWidth; x += 4) {
        FroundF4 a4, b4, u4;
        for (int i = 0; i < 4; i++) {
            a4[i] = a.value();
            b4[i] = b.value();
            u4[i] = u.value();
            a.next();
            b.next();
            u.next();
        }
        const FroundF4 columns = fround_splat4((float)x) + lanes;  // exact
        const FroundF4 s = sinDegrees4(columns);
        const FroundF4 top1 = U.add(U.add(fround_splat4(50.0f), U.mul(fround_splat4(10.0f), sinDegrees4(a4))),
                                    U.mul(fround_splat4(25.0f), s));
        const FroundF4 bottom1 = U.add(U.add(top1, fround_splat4(40.0f)), U.mul(fround_splat4(20.0f), s));
        const FroundF4 top2 = U.sub(U.add(fround_splat4(50.0f), U.mul(fround_splat4(25.0f), sinDegrees4(b4))),
                                    columns * fround_splat4(1.0f / 16.0f));  // exact
        const RibbonSlices r1 = ribbonSlices(top1, bottom1);
        const RibbonSlices r2 = ribbonSlices(top2, U.add(top2, fround_splat4(25.0f)));
        for (int i = 0; i < 4 && x + i < VideoWidth; i++) {
            const int column = math_roundPositionUp(floorf(u4[i] * 128.0f)) & 127;
            drawSlice(x + i, column, r1.y0[i], r1.y1[i], r1.v[i], r1.dv[i], buffer, credits_pack->texture);
            drawSlice(x + i, column, r2.y0[i], r2.y1[i], r2.v[i], r2.dv[i], buffer, credits_pack->envmap);
        }
    }
    util_fpuSetFullMode();
}

static void drawGlitchLogo(uint8_t* buffer)
{
    const int w = credits_logo->width, h = credits_logo->height;
    const int left = (320 - w) >> 1, upper = (200 - h) >> 1;
    const int xs = math_roundPosition(glitch_xscale * 65536.0f), ys = math_roundPosition(glitch_yscale * 65536.0f);
    const int g0 = math_roundPosition(glitch_ofs);
    const uint8_t* src = credits_logo->pixels;
    for (int row = 0; row < h; row++)
        for (int col = 0; col < w; col++) {
            const uint8_t p = src[row * w + col];
            if (p == LogoKey)
                continue;
            const int v = (int8_t)(uint8_t)(glitch_image[(unsigned)(row * 512 + col + g0) & GlitchMask] - 128);
            const int dx = (int8_t)(uint8_t)((v * xs) >> 16);
            const int dy = (int8_t)(uint8_t)((v * ys) >> 16);
            const int x = left + col + dx, y = upper + row + dy;
            if (x >= 0 && x < VideoWidth && y >= 0 && y < VideoHeight)
                buffer[y * VideoWidth + x] = p;
        }
}

static void render()
{
    uint8_t* buffer = video_getBuffer(0);
    util_clear(buffer, black32, 16000);
    particle3d_render(misc_particles, buffer);
    if (!isHidingCredit) {
        font_drawPartialString(font, buffer, messageBuffer, textLength, TextX, TextY);
        font_drawChar(font, buffer, CursorChar, TextX + 16 * textLength, TextY);
    } else {
        particle2d_render(text_particles, buffer);
    }
    drawRibbons(buffer);
    if (logo_visible)
        drawGlitchLogo(buffer);
    else if (logo_done)
        image_rawDrawScale(credits_logo->pixels, 160.0f, 100.0f, credits_logo->width, credits_logo->height,
                           logo_scale_value, buffer, LogoKey);
}

static void postRetraceUpdate(float dt)
{
    const uint8_t* palette = credits_pack->palette;
    if (flash_pal > 0.0f) {
        flash_pal = flash_pal - 2.0f * dt > 0.0f ? flash_pal - 2.0f * dt : 0.0f;
        video_fadePaletteFromWhite(palette, 0, 256, 1.0f - flash_pal);
    }
    if (logo_done && logo_scale_speed == 1.0f)
        video_fadePaletteToWhite(palette, 0, 256, (logo_scale_value - 1.0f) * 0.5f);
}

Effect Credits_effect = {"Credits", init, deinit, update, postRetraceUpdate, render, start, false, 0, 0};

void credits_getState(CreditsState* out)
{
    out->currentCredit = currentCredit;
    out->currentCreditIndex = currentCreditIndex;
    out->currentCreditLength = currentCreditLength;
    out->messageBuffer = messageBuffer;
    out->textLength = textLength;
    out->timer = timer;
    out->shuffleTimers = shuffleTimers;
    out->currentCreditActive = currentCreditActive;
    out->isHidingCredit = isHidingCredit;
    out->reveal = reveal;
    out->indexx = indexx;
    out->indexy = indexy;
    out->spark_spawn_timer = spark_spawn_timer;
    out->spark_phase = spark_phase;
    out->spark_count = spark_count;
    out->dot_colour_timer = dot_colour_timer;
    out->dot_colour = dot_colour;
    out->spark_rotation[0] = spark_rotation.x;
    out->spark_rotation[1] = spark_rotation.y;
    out->spark_rotation[2] = spark_rotation.z;
    out->logo_visible = logo_visible;
    out->logo_done = logo_done;
    out->logo_scale = logo_scale;
    out->logo_scale_speed = logo_scale_speed;
    out->logo_scale_value = logo_scale_value;
    out->glitch_xscale = glitch_xscale;
    out->glitch_yscale = glitch_yscale;
    out->glitch_ofs = glitch_ofs;
    out->glitch_timer = glitch_timer;
    out->flash_pal = flash_pal;
    out->white = white;
    out->black = black;
    out->lightRows = s_lightRows;
    out->palette = credits_pack ? credits_pack->palette : nullptr;
    out->lut = credits_pack ? credits_pack->lut : nullptr;
    out->light_lut = light_lut;
    out->font = font;
    out->text_particles = text_particles;
    out->misc_particles = misc_particles;
}
