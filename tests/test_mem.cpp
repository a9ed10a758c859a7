#include "mem.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define TIDEWATER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TIDEWATER_ASAN 1
#endif
#endif

namespace {

TEST(Mem, AlignedBlocksForEveryPowerOfTwo) {
    for (size_t align = 4; align <= 65536; align <<= 1) {
        for (size_t size : {size_t(0), size_t(1), size_t(100), size_t(65536 + 3)}) {
            unsigned char* p = static_cast<unsigned char*>(mem_alignedMalloc(size, align));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % align, 0u) << "alignment " << align;
            // The whole block is usable (the sanitizer build checks the bounds).
            if (size) {
                std::memset(p, 0xA5, size);
                EXPECT_EQ(p[size - 1], 0xA5);
            }
            mem_alignedFree(p);
        }
    }
}

TEST(Mem, TextureSizedBlockAndOddAlignments) {
    void* p = mem_alignedMalloc(100, 65536);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 65536, 0u);
    mem_alignedFree(p);
    // A request that is not a power of two gets the next power of two; tiny ones pointer alignment.
    void* q = mem_alignedMalloc(10, 48);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(q) % 64, 0u);
    mem_alignedFree(q);
    void* r = mem_alignedMalloc(10, 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(r) % sizeof(void*), 0u);
    mem_alignedFree(r);
    mem_alignedFree(nullptr);
}

TEST(Mem, ZeroSizedMallocGivesAUsablePointer) {
    void* p = mem_malloc(0);
    EXPECT_NE(p, nullptr);
    mem_free(p);
}

#ifndef TIDEWATER_ASAN
TEST(MemDeathTest, ExhaustionEndsWithOneLine) {
    EXPECT_EXIT(
        {
            dup2(2, 1);
            mem_malloc(SIZE_MAX / 2);
        },
        testing::ExitedWithCode(1), "mem: out of memory");
    EXPECT_EXIT(
        {
            dup2(2, 1);
            mem_alignedMalloc(SIZE_MAX - 8, 65536);
        },
        testing::ExitedWithCode(1), "mem: out of memory");
}
#endif

}  // namespace
