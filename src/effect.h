// effect: the show's timeline. Each scene is a static Effect record; exactly one is current,
// and the next one takes over only when the polled music position equals its start exactly.
#pragma once

struct Effect {
    const char* name;
    int (*init)(void);                     // may be null (counts as success)
    void (*deinit)(void);                  // may be null
    void (*update)(float dt);              // required
    void (*postRetraceUpdate)(float dt);   // may be null
    void (*render)(void);                  // required
    void (*start)(void);                   // required
    bool started;
    int startOrder;
    int startRow;
};

enum { MaxEffects = 32 };

// Scene records (defined by the scene modules). Only the ones listed in effect.cpp's
// registration table are referenced.
extern Effect FinalTorus_effect;
extern Effect Skull_effect;
extern Effect Tendril_effect;
extern Effect Knot_effect;
extern Effect Spike_effect;
extern Effect Wire_effect;
extern Effect Credits_effect;
extern Effect QxLogo_effect;
extern Effect Tunnel_effect;
extern Effect Plane_effect;
extern Effect Rings_effect;

void effect_register(void);
int effect_getCount(void);
int effect_init(void);
void effect_start(void);
int effect_update(float dt);
void effect_postRetraceUpdate(float dt);
void effect_deinit(void);

// Registers `count` records in the given order (tests and tools), then the end marker.
// `first` becomes FirstEffect; null picks the earliest start among the records.
void effect_registerList(Effect* const* records, int count, Effect* first);
// Like effect_start, but makes current the registered effect that covers (order, row): the one
// with the latest start at or before it.
void effect_startAt(int order, int row);
// The running effect and the one that takes over next (null when nothing follows).
const Effect* effect_getCurrent(void);
const Effect* effect_getNext(void);
// 1 when the end marker is current.
int effect_isEnded(void);
// The registered entry at index (registration order), the end marker included.
const Effect* effect_get(int index);
// The show's own timeline without registering it (listings such as the web page's chapters):
// entry `index` in registration order, the end marker last, null past it.
const Effect* effect_timelineEntry(int index);
// Moves the timeline forward to the effect that covers (order, row), for a picture that must
// rejoin music which played on without it (a hidden browser tab). Only forward along the list:
// the effects passed over are never started, and nothing is started twice.
void effect_catchUp(int order, int row);
