// A 320 x 200 frame laid out like the video module's buffers (a zeroed spare row above and below)
// with guard bytes beyond the spare rows, for checking that drawing stays inside the frame.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

struct GuardedFrame {
    static constexpr int W = 320, H = 200;
    static constexpr int Guard = 4096;
    static constexpr uint8_t GuardValue = 0xA5;
    std::vector<uint8_t> block = std::vector<uint8_t>(Guard + W * 202 + Guard, GuardValue);
    uint8_t* p;

    explicit GuardedFrame(uint8_t fill = 0)
    {
        memset(&block[Guard], 0, W * 202);
        p = &block[Guard + W];
        memset(p, fill, W * H);
    }
    uint8_t& at(int x, int y) { return p[y * W + x]; }
    int count(uint8_t v) const
    {
        int n = 0;
        for (int i = 0; i < W * H; i++)
            n += p[i] == v;
        return n;
    }
    // The spare rows still hold 0 and the guards are untouched.
    bool outsideClean() const
    {
        for (int i = 0; i < Guard; i++)
            if (block[i] != GuardValue || block[block.size() - 1 - i] != GuardValue)
                return false;
        for (int i = 0; i < W; i++)
            if (block[Guard + i] != 0 || block[Guard + W * 201 + i] != 0)
                return false;
        return true;
    }
};
