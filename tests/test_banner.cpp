// The exit banner: the art from the datafile, then the four credit lines.
#include "banner.h"

#include "file.h"
#include "mem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A datafile image with one entry.
std::vector<uint8_t> datafile(const char* name, const std::string& body)
{
    std::vector<uint8_t> d(8 + 80, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) d[at + i] = uint8_t(v >> (8 * i));
    };
    put32(0, FileIdent);
    put32(4, 1);
    put32(8, 88);
    put32(12, uint32_t(body.size()));
    std::memcpy(&d[8 + 16], name, std::strlen(name));
    d.insert(d.end(), body.begin(), body.end());
    return d;
}

const char* const Credits =
    "Code crunched by grimwheel & v0lta\n"
    "Graphics pixelled by emberly & v0lta\n"
    "Music tuned by pLume\n"
    "-- http://www.cobaltmill.example\n";

std::string show()
{
    testing::internal::CaptureStdout();
    banner_show();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Banner, ArtThenTheFourLines)
{
    mem_init();
    char err[256];
    std::vector<uint8_t> d = datafile("srcdata/tidwtr.asc", "~ waves ~");
    ASSERT_EQ(1, file_tryMountMemory(d.data(), d.size(), err, sizeof err)) << err;
    EXPECT_EQ(std::string("~ waves ~\n") + Credits, show());
    file_unmountData();

    // Without the art the credits still come.
    d = datafile("srcdata/other.bin", "x");
    ASSERT_EQ(1, file_tryMountMemory(d.data(), d.size(), err, sizeof err)) << err;
    EXPECT_EQ(Credits, show());
    file_unmountData();
    mem_deinit();
}
