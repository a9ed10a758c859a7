// kb_: keyboard queries by one-byte key code (the virtual-key values of the window's key table).
// Only the codes of the 13-row mapping are known; every other code reads as not pressed.
#pragma once

#include <cstdint>

void kb_init(void);
void kb_deinit(void);
void kb_update(void);
bool kb_keyDown(uint8_t code);  // went down in the last presented frame
bool kb_key(uint8_t code);      // held
