// Keyboard queries by one-byte code through the 13-row mapping to facade keys.
#include "kb.h"

#include "glint_interface.h"

struct KeyMapping {
    uint8_t key;   // GlintKey
    uint8_t code;  // virtual-key code
};

static const KeyMapping s_mapping[] = {
    {GlintKey_Escape, 0x1B},
    {GlintKey_Space, 0x20},
    {GlintKey_F1, 0x70},
    {GlintKey_F2, 0x71},
    {GlintKey_F3, 0x72},
    {GlintKey_Up, 0x26},
    {GlintKey_Down, 0x28},
    {GlintKey_Left, 0x25},
    {GlintKey_Right, 0x27},
    {GlintKey_Plus, 0xBB},
    {GlintKey_Minus, 0xBD},
    {GlintKey_LeftShift, 0xA0},
    {GlintKey_A, 0x41},
};

static_assert(sizeof(s_mapping) / sizeof(s_mapping[0]) == 13, "13 mapping rows");

// The first row whose code matches, or null.
static const KeyMapping* lookup(uint8_t code)
{
    for (const KeyMapping& m : s_mapping)
        if (m.code == code)
            return &m;
    return nullptr;
}

void kb_init(void)
{
}

void kb_deinit(void)
{
}

void kb_update(void)
{
}

bool kb_keyDown(uint8_t code)
{
    const KeyMapping* m = lookup(code);
    return m && glint_keyDown((GlintKey)m->key);
}

bool kb_key(uint8_t code)
{
    const KeyMapping* m = lookup(code);
    return m && glint_key((GlintKey)m->key);
}
