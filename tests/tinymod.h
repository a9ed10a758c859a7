// A tiny 4-channel "M.K." module built in memory for tests that drive the real player.
// Every pattern sets speed 1 on its first row (one tick per row at 125 BPM: 20 ms a row,
// 64 rows = 1.28 s an order) and plays a looped square wave, so every order is audible.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

inline std::vector<uint8_t> tinymod_build(int numOrders, int speed = 1)
{
    std::vector<uint8_t> m;
    auto put = [&](const void* p, size_t n) { m.insert(m.end(), (const uint8_t*)p, (const uint8_t*)p + n); };
    auto be16 = [&](unsigned v) { m.push_back(uint8_t(v >> 8)); m.push_back(uint8_t(v)); };
    char title[20] = "tinymod";
    put(title, 20);
    const int sampleBytes = 64;
    for (int s = 0; s < 31; s++) {
        char name[22] = {0};
        put(name, 22);
        if (s == 0) {
            be16(sampleBytes / 2);  // length in words
            m.push_back(0);         // finetune
            m.push_back(48);        // volume
            be16(0);                // loop start
            be16(sampleBytes / 2);  // loop length
        } else {
            be16(0);
            m.push_back(0);
            m.push_back(0);
            be16(0);
            be16(1);
        }
    }
    m.push_back(uint8_t(numOrders));
    m.push_back(127);
    // Each order plays its own pattern (order i -> pattern i).
    for (int i = 0; i < 128; i++)
        m.push_back(uint8_t(i < numOrders ? i : 0));
    put("M.K.", 4);
    static const unsigned periods[] = {428, 381, 339, 320, 285, 254, 226, 214};
    for (int p = 0; p < numOrders; p++) {
        for (int row = 0; row < 64; row++) {
            for (int ch = 0; ch < 4; ch++) {
                unsigned sample = 0, period = 0, effect = 0, param = 0;
                if (ch == 0 && row % 8 == 0) {
                    sample = 1;
                    period = periods[(p + row / 8) % 8];
                }
                if (ch == 3 && row == 0) {
                    effect = 0xF;
                    param = unsigned(speed);
                }
                m.push_back(uint8_t((sample & 0xF0) | (period >> 8)));
                m.push_back(uint8_t(period & 0xFF));
                m.push_back(uint8_t(((sample & 0x0F) << 4) | effect));
                m.push_back(uint8_t(param));
            }
        }
    }
    for (int i = 0; i < sampleBytes; i++)
        m.push_back(uint8_t(i < sampleBytes / 2 ? 0x50 : 0xB0));
    return m;
}
