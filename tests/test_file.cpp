#include "file.h"
#include "mem.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

struct Entry {
    std::string name;
    Bytes data;
};

void putU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A datafile image written field by field, entries' data back to back after the directory.
Bytes buildDatafile(const std::vector<Entry>& entries) {
    Bytes b;
    putU32(b, FileIdent);
    putU32(b, uint32_t(entries.size()));
    uint32_t offset = 8 + 80 * uint32_t(entries.size());
    for (const Entry& e : entries) {
        putU32(b, offset);
        putU32(b, uint32_t(e.data.size()));
        putU32(b, 0xFFFF);      // stale cursor: must not matter
        putU32(b, 0x100);       // other flag bits ride along
        char name[64] = {};
        std::strncpy(name, e.name.c_str(), 63);
        b.insert(b.end(), name, name + 64);
        offset += uint32_t(e.data.size());
    }
    for (const Entry& e : entries) b.insert(b.end(), e.data.begin(), e.data.end());
    return b;
}

Bytes counting(size_t n, int start = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(start + i);
    return b;
}

// A death-test pattern that matches the text literally.
std::string literal(const std::string& text) {
    std::string r;
    for (char c : text) {
        if (std::strchr(".^$*+?()[]{}|\\", c)) r += '\\';
        r += c;
    }
    return r;
}

std::string tempPath(const char* tag) {
    return (fs::temp_directory_path() / ("tidewater_file_" + std::to_string(getpid()) + "_" + tag)).string();
}

void writeBytes(const std::string& path, const Bytes& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

class MountedFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = tempPath("good.dat");
        writeBytes(path_, buildDatafile({{"srcdata/torus.qx3", counting(100)},
                                         {"srcdata/Dup.bin", Bytes{1}},
                                         {"other/dup.BIN", Bytes{2}},
                                         {"pal.raw", counting(768, 7)},
                                         {"empty", {}}}));
        char error[256];
        ASSERT_EQ(file_tryMountData(path_.c_str(), error, sizeof(error)), 1) << error;
    }
    void TearDown() override {
        file_unmountData();
        fs::remove(path_);
    }
    std::string path_;
};

TEST_F(MountedFile, LookupByLastComponentIgnoringCaseAndSeparator) {
    FileHandle a = file_open("srcdata/torus.qx3");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(file_open("torus.qx3"), a);
    EXPECT_EQ(file_open("SRCDATA\\TORUS.QX3"), a);
    EXPECT_EQ(file_open("elsewhere/Torus.Qx3"), a);
    EXPECT_EQ(a->size, 100u);
    EXPECT_EQ(a->flags & FileFlagOpen, FileFlagOpen);
    EXPECT_EQ(a->flags & 0x100u, 0x100u);
    file_close(a);
    EXPECT_EQ(a->flags & FileFlagOpen, 0u);
    EXPECT_EQ(a->flags & 0x100u, 0x100u);

    // Names differing only in case: the first in directory order always wins.
    int size = 0;
    unsigned char* d = static_cast<unsigned char*>(file_readAll("DUP.bin", &size));
    EXPECT_EQ(size, 1);
    EXPECT_EQ(d[0], 1);
    mem_free(d);

    EXPECT_EQ(file_open("missing.qx3"), nullptr);
    EXPECT_EQ(file_getFileSize("missing.qx3"), -1);
    EXPECT_EQ(file_getFileSize("srcdata/pal.raw"), 768);
    EXPECT_EQ(file_getFileSize("EMPTY"), 0);
    EXPECT_EQ(file_getNumFiles(), 5);
    EXPECT_STREQ(file_getEntry(3)->name, "pal.raw");
    EXPECT_EQ(file_getEntry(5), nullptr);
}

TEST_F(MountedFile, SeekWhence) {
    FileHandle h = file_open("torus.qx3");
    EXPECT_EQ(file_seek(h, 4, 2), 96);  // from the end
    EXPECT_EQ(file_seek(h, -4, 1), 92);
    EXPECT_EQ(file_seek(h, 10, 0), 10);
    EXPECT_EQ(file_seek(h, 33, 7), 33);  // any other whence sets
    unsigned char b[2];
    file_read(h, b, 2);
    EXPECT_EQ(b[0], 33);
    EXPECT_EQ(b[1], 34);
    EXPECT_EQ(file_seek(h, 0, 2), 100);
    file_close(h);
}

TEST_F(MountedFile, ReopenRestartsTheSingleCursor) {
    unsigned char first[10], second[10];
    FileHandle h = file_open("torus.qx3");
    EXPECT_EQ(file_read(h, first, 10), 10);
    h = file_open("torus.qx3");
    EXPECT_EQ(h->position, 0u);
    file_read(h, second, 10);
    EXPECT_EQ(std::memcmp(first, second, 10), 0);
    EXPECT_EQ(first[9], 9);
}

TEST_F(MountedFile, InterleavedHandlesShareTheStream) {
    FileHandle a = file_open("torus.qx3");
    FileHandle p = file_open("pal.raw");
    unsigned char x, y;
    for (int i = 0; i < 50; ++i) {
        file_read(a, &x, 1);
        file_read(p, &y, 1);
        ASSERT_EQ(x, uint8_t(i));
        ASSERT_EQ(y, uint8_t(7 + i));
    }
}

// Reads never leave their entry: bytes outside read as 0 and the cursor moves by the count.
TEST_F(MountedFile, ReadsStayInsideTheEntry) {
    FileHandle h = file_open("torus.qx3");
    file_seek(h, 4, 2);
    unsigned char b[10];
    std::memset(b, 0xCC, sizeof(b));
    EXPECT_EQ(file_read(h, b, 10), 4);
    EXPECT_EQ(b[0], 96);
    EXPECT_EQ(b[3], 99);
    for (int i = 4; i < 10; ++i) EXPECT_EQ(b[i], 0) << i;  // not the next entry's bytes
    EXPECT_EQ(h->position, 106u);
    EXPECT_EQ(file_read(h, b, 10), 0);
    EXPECT_EQ(h->position, 116u);

    // A cursor moved before the start reads zeros up to the entry's first byte.
    file_seek(h, -3, 0);
    std::memset(b, 0xCC, sizeof(b));
    EXPECT_EQ(file_read(h, b, 5), 2);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[2], 0);
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(b[4], 1);
    EXPECT_EQ(file_read(h, b, 0), 0);
    EXPECT_EQ(file_read(h, b, -5), 0);
    EXPECT_EQ(file_read(nullptr, b, 5), 0);

    FileHandle e = file_open("empty");
    b[0] = 0xCC;
    EXPECT_EQ(file_read(e, b, 1), 0);
    EXPECT_EQ(b[0], 0);
}

TEST_F(MountedFile, ReadAllReturnsTheWholeEntry) {
    int size = -5;
    unsigned char* d = static_cast<unsigned char*>(file_readAll("srcdata/pal.raw", &size));
    ASSERT_EQ(size, 768);
    EXPECT_EQ(std::memcmp(d, counting(768, 7).data(), 768), 0);
    mem_free(d);
    // A null size pointer: the buffer only.
    d = static_cast<unsigned char*>(file_readAll("torus.qx3", nullptr));
    EXPECT_EQ(d[99], 99);
    mem_free(d);
    EXPECT_EQ(file_open("torus.qx3")->flags & FileFlagOpen, FileFlagOpen);
    mem_free(file_readAll("torus.qx3", nullptr));
    EXPECT_EQ(file_getEntry(0)->flags & FileFlagOpen, 0u);  // readAll clears the open bit
    mem_free(file_readAll("empty", &size));
    EXPECT_EQ(size, 0);
}

TEST_F(MountedFile, UnmountForgetsEverything) {
    file_unmountData();
    EXPECT_EQ(file_open("torus.qx3"), nullptr);
    EXPECT_EQ(file_getFileSize("torus.qx3"), -1);
    EXPECT_EQ(file_getNumFiles(), 0);
    file_unmountData();  // twice is harmless
}

TEST(File, MountFromMemoryAndRemount) {
    Bytes img = buildDatafile({{"a.bin", counting(3)}});
    char error[256];
    ASSERT_EQ(file_tryMountMemory(img.data(), img.size(), error, sizeof(error)), 1) << error;
    EXPECT_EQ(file_getFileSize("a.bin"), 3);
    Bytes img2 = buildDatafile({{"b.bin", counting(4)}});
    ASSERT_EQ(file_tryMountMemory(img2.data(), img2.size(), error, sizeof(error)), 1) << error;
    EXPECT_EQ(file_getFileSize("a.bin"), -1);
    EXPECT_EQ(file_getFileSize("b.bin"), 4);
    file_unmountData();
    EXPECT_EQ(file_tryMountMemory(nullptr, 0, error, sizeof(error)), 0);
    EXPECT_NE(std::strstr(error, "header truncated"), nullptr) << error;
}

// Every damaged shape is refused with a line that names the file and the problem.
struct Corruption {
    const char* tag;
    Bytes image;
    const char* message;
};

std::vector<Corruption> corruptions() {
    std::vector<Corruption> c;
    Bytes good = buildDatafile({{"srcdata/a.bin", counting(40)}, {"b.bin", counting(10)}});
    c.push_back({"header", Bytes(good.begin(), good.begin() + 5), "header truncated"});
    c.push_back({"nothing", Bytes{}, "header truncated"});
    Bytes dir = good;
    dir[4] = 3;  // three entries claimed, the third runs into the data and past the end
    dir.resize(8 + 80 * 2 + 20);
    c.push_back({"directory", dir, "directory of 3 entries"});
    Bytes huge = good;
    huge[7] = 0x40;  // ~1 billion entries
    c.push_back({"hugecount", huge, "past the end of the file"});
    Bytes entry = good;
    entry[8 + 80 + 4] = 11;  // b.bin: 11 bytes, one past the end
    c.push_back({"entry", entry, "entry 1 ('b.bin', 11 bytes"});
    Bytes offset = good;
    offset[8 + 3] = 0xFF;  // offset near 4 GiB
    c.push_back({"offset", offset, "entry 0 ('srcdata/a.bin'"});
    Bytes name = good;
    std::memset(&name[8 + 80 + 16], 'x', 64);
    c.push_back({"name", name, "entry 1 has a name without its terminating NUL"});
    return c;
}

TEST(File, CorruptDatafilesAreRefused) {
    for (const Corruption& c : corruptions()) {
        char error[512];
        EXPECT_EQ(file_tryMountMemory(c.image.data(), c.image.size(), error, sizeof(error)), 0) << c.tag;
        EXPECT_NE(std::strstr(error, c.message), nullptr) << c.tag << ": " << error;
        EXPECT_EQ(file_getNumFiles(), 0) << c.tag;
    }
}

// Only the identification word "QXDT" is a datafile: another word, even with a sound directory
// after it, is refused before anything is read from the directory.
TEST(FileDeathTest, ForeignIdentificationWordIsRefused) {
    const Bytes good = buildDatafile({{"a.bin", counting(3)}});
    struct {
        const char* word;
        const char* shown;
    } cases[] = {{"QXDt", "QXDt"}, {"TDXQ", "TDXQ"}, {"\x7F" "ELF", "\\x7FELF"}, {"\0\0\0\0", "\\x00\\x00\\x00\\x00"}};
    for (const auto& c : cases) {
        Bytes img = good;
        std::memcpy(img.data(), c.word, 4);
        char error[256];
        EXPECT_EQ(file_tryMountMemory(img.data(), img.size(), error, sizeof(error)), 0) << c.shown;
        EXPECT_STREQ(error, (std::string("datafile '<memory>' is not a tidewater datafile (it starts with \"") +
                             c.shown + "\", not \"QXDT\")")
                                .c_str());
        EXPECT_EQ(file_getNumFiles(), 0);
    }
    std::string path = tempPath("foreign.dat");
    Bytes img = good;
    img[0] = 'X';
    writeBytes(path, img);
    EXPECT_EXIT(
        {
            dup2(2, 1);
            file_mountData(path.c_str());
        },
        testing::ExitedWithCode(1), literal("file: datafile '" + path + "' is not a tidewater datafile"));
    fs::remove(path);
}

TEST(FileDeathTest, CorruptOrMissingDatafileEndsTheProcess) {
    for (const Corruption& c : corruptions()) {
        std::string path = tempPath(c.tag);
        writeBytes(path, c.image);
        // The message goes to standard output; point it at stderr where the death test looks.
        EXPECT_EXIT(
            {
                dup2(2, 1);
                file_mountData(path.c_str());
            },
            testing::ExitedWithCode(1), literal("file: datafile '" + path + "' is corrupt: "))
            << c.tag;
        EXPECT_EXIT(
            {
                dup2(2, 1);
                file_mountData(path.c_str());
            },
            testing::ExitedWithCode(1), literal(c.message))
            << c.tag;
        fs::remove(path);
    }
    EXPECT_EXIT(
        {
            dup2(2, 1);
            file_mountData("/nonexistent/qx-tdwt.dat");
        },
        testing::ExitedWithCode(1), "failed to mount datafile '/nonexistent/qx-tdwt.dat'!");
}

TEST(FileDeathTest, ReadAllOfAMissingNameEndsStartup) {
    Bytes img = buildDatafile({{"a.bin", counting(3)}});
    std::string path = tempPath("missing.dat");
    writeBytes(path, img);
    EXPECT_EXIT(
        {
            dup2(2, 1);
            file_mountData(path.c_str());
            file_readAll("srcdata/s32.mod", nullptr);
        },
        testing::ExitedWithCode(1), "file: 'srcdata/s32.mod' is not in the datafile");
    fs::remove(path);
}

}  // namespace
