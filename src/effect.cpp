#include "effect.h"

#include "log.h"
#include "mem.h"
#include "modplay.h"
#include "progress.h"
#include "timer.h"

#include <cstring>

// The timeline in registration order. This order fixes the order of init, deinit and the
// loading bar's steps; the playing order comes from the start positions, and Credits opens it.
static Effect* const s_timeline[] = {
    &FinalTorus_effect,
    &Skull_effect,
    &Tendril_effect,
    &Knot_effect,
    &Spike_effect,
    &Wire_effect,
    &Credits_effect,
    &QxLogo_effect,
    &Tunnel_effect,
    &Plane_effect,
    &Rings_effect,
};

// Terminal record: no callbacks, no name. Its start is the end of the show.
static Effect s_endEffect = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, false, 27, 8};

static Effect** s_effects;
static int s_numEffects;
static Effect* FirstEffect;
static Effect* s_currentEffect;
static Effect* s_nextEffect;

static void effect_append(Effect* e)
{
    s_effects[s_numEffects++] = e;
}

// Earliest start (order, then row; ties: first registered) among the scene records: FirstEffect
// of a list registered without one.
static Effect* effect_earliest(void)
{
    Effect* best = &s_endEffect;
    for (int i = 0; i < s_numEffects; i++) {
        Effect* e = s_effects[i];
        if (e == &s_endEffect)
            continue;
        if (best == &s_endEffect || e->startOrder < best->startOrder ||
            (e->startOrder == best->startOrder && e->startRow < best->startRow))
            best = e;
    }
    return best;
}

void effect_registerList(Effect* const* records, int count, Effect* first)
{
    if (s_effects)
        mem_free(s_effects);
    s_effects = static_cast<Effect**>(mem_malloc(MaxEffects * sizeof(Effect*)));
    std::memset(s_effects, 0, MaxEffects * sizeof(Effect*));
    s_numEffects = 0;
    // One slot stays for the end marker.
    for (int i = 0; i < count && s_numEffects < MaxEffects - 1; i++)
        effect_append(records[i]);
    FirstEffect = first ? first : effect_earliest();
    effect_append(&s_endEffect);
    s_currentEffect = nullptr;
    s_nextEffect = nullptr;
}

void effect_register(void)
{
    effect_registerList(s_timeline, static_cast<int>(sizeof(s_timeline) / sizeof(s_timeline[0])), &Credits_effect);
}

int effect_getCount(void) { return s_numEffects; }

int effect_init(void)
{
    int result = 1;
    for (int i = 0; i < s_numEffects; i++) {
        Effect* e = s_effects[i];
        int ok = e->init ? e->init() : 1;
        e->started = false;
        progress_inc();
        result = result && ok;
    }
    return result;
}

// Next effect after current: smallest start order at or after current's (first registered on a
// tie), then among the entries of that order the smallest row (first registered on a tie). Rows
// of the current effect are not compared, so an entry of the same order with an earlier row is
// a candidate too.
static Effect* findNextEffect(Effect* current)
{
    Effect* next = nullptr;
    for (int i = 0; i < s_numEffects; i++) {
        Effect* e = s_effects[i];
        if (e == current || e->startOrder < current->startOrder)
            continue;
        if (!next || e->startOrder < next->startOrder)
            next = e;
    }
    if (!next)
        return nullptr;
    int order = next->startOrder;
    for (int i = 0; i < s_numEffects; i++) {
        Effect* e = s_effects[i];
        if (e == current || e->startOrder != order)
            continue;
        if (e->startRow < next->startRow)
            next = e;
    }
    return next;
}

void effect_start(void)
{
    s_currentEffect = FirstEffect;
    s_nextEffect = s_currentEffect ? findNextEffect(s_currentEffect) : nullptr;
}

void effect_startAt(int order, int row)
{
    Effect* best = nullptr;
    for (int i = 0; i < s_numEffects; i++) {
        Effect* e = s_effects[i];
        bool covers = e->startOrder < order || (e->startOrder == order && e->startRow <= row);
        if (!covers)
            continue;
        if (!best || e->startOrder > best->startOrder ||
            (e->startOrder == best->startOrder && e->startRow > best->startRow))
            best = e;
    }
    s_currentEffect = best ? best : FirstEffect;
    s_nextEffect = s_currentEffect ? findNextEffect(s_currentEffect) : nullptr;
}

const Effect* effect_timelineEntry(int index)
{
    const int count = static_cast<int>(sizeof(s_timeline) / sizeof(s_timeline[0]));
    if (index < 0 || index > count)
        return nullptr;
    return index < count ? s_timeline[index] : &s_endEffect;
}

void effect_catchUp(int order, int row)
{
    // Each step must start later than the one before: findNextEffect may offer an entry of the
    // same order with an earlier row, which would go round in circles here.
    auto before = [](const Effect* a, int o, int r) { return a->startOrder < o || (a->startOrder == o && a->startRow <= r); };
    while (s_nextEffect && s_currentEffect && before(s_nextEffect, order, row) &&
           !before(s_nextEffect, s_currentEffect->startOrder, s_currentEffect->startRow)) {
        s_currentEffect = s_nextEffect;
        s_nextEffect = findNextEffect(s_currentEffect);
    }
}

int effect_update(float dt)
{
    Effect* e = s_currentEffect;
    if (!e || e == &s_endEffect)
        return 0;
    if (!e->started) {
        e->started = true;
        e->start();
        log_debug("effect: starting '%s'\n", e->name);
    }
    e->update(dt);
    e->render();
    return 1;
}

void effect_postRetraceUpdate(float dt)
{
    if (s_currentEffect && s_currentEffect->postRetraceUpdate)
        s_currentEffect->postRetraceUpdate(dt);
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    if (s_nextEffect && order == s_nextEffect->startOrder && row == s_nextEffect->startRow) {
        log_debug("effect: switching to '%s' at %.4f (order=%i, row=%i)\n", s_nextEffect->name,
                  timer_getElapsedTime(), order, row);
        s_currentEffect = s_nextEffect;
        s_nextEffect = findNextEffect(s_currentEffect);
    }
}

void effect_deinit(void)
{
    for (int i = 0; i < s_numEffects; i++)
        if (s_effects[i]->deinit)
            s_effects[i]->deinit();
    mem_free(s_effects);
    s_effects = nullptr;
    s_numEffects = 0;
    s_currentEffect = nullptr;
    s_nextEffect = nullptr;
}

const Effect* effect_getCurrent(void) { return s_currentEffect; }
const Effect* effect_getNext(void) { return s_nextEffect; }
int effect_isEnded(void) { return s_currentEffect == &s_endEffect; }
const Effect* effect_get(int index) { return index >= 0 && index < s_numEffects ? s_effects[index] : nullptr; }
