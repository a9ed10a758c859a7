// cmake-needs: qxdat
#include "file.h"
#include "mem.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
};

Result qxdat(const std::string& args) {
    std::string cmd = std::string(TIDEWATER_QXDAT) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    Result r{-1, ""};
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void put(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

int lines(const std::string& s) { return int(std::count(s.begin(), s.end(), '\n')); }

class Qxdat : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tidewater_qxdat_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        file_unmountData();
        fs::remove_all(root_);
    }
    std::string q(const fs::path& p) { return std::string("'").append(p.string()).append("'"); }
    fs::path root_;
};

TEST_F(Qxdat, PackListMountExtractRoundTrip) {
    fs::path in = root_ / "in";
    std::string mod(70000, '\0');
    for (size_t i = 0; i < mod.size(); ++i) mod[i] = char(i * 7);
    put(in / "srcdata/s32.mod", mod);
    put(in / "srcdata/b.tga", "tga bytes");
    put(in / "srcdata/deep/x.bin", "xx");
    put(in / "top.txt", "top\n");
    put(in / "srcdata/empty.raw", "");

    Result r = qxdat("pack " + q(in) + " " + q(root_ / "a.dat"));
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_EQ(qxdat("pack " + q(in) + " " + q(root_ / "b.dat")).status, 0);
    const std::string a = slurp(root_ / "a.dat");
    EXPECT_EQ(a, slurp(root_ / "b.dat"));  // byte-identical run to run
    EXPECT_EQ(a.substr(0, 4), "QXDT");
    EXPECT_FALSE(fs::exists(root_ / "a.dat.tmp"));

    // Relative names with '/', sorted by name, data right after the directory.
    r = qxdat("list " + q(root_ / "a.dat"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(lines(r.out), 5);
    const char* order[] = {"srcdata/b.tga", "srcdata/deep/x.bin", "srcdata/empty.raw", "srcdata/s32.mod", "top.txt"};
    size_t at = 0;
    for (const char* name : order) {
        size_t pos = r.out.find(name, at);
        ASSERT_NE(pos, std::string::npos) << name << " in\n" << r.out;
        at = pos;
    }
    {
        std::istringstream first(r.out);
        std::string name;
        long size = -1, offset = -1;
        first >> name >> size >> offset;
        EXPECT_EQ(name, "srcdata/b.tga");
        EXPECT_EQ(size, 9);
        EXPECT_EQ(offset, 8 + 5 * 80);
    }

    char error[512];
    ASSERT_EQ(file_tryMountData((root_ / "a.dat").c_str(), error, sizeof(error)), 1) << error;
    EXPECT_EQ(file_getNumFiles(), 5);
    int size = 0;
    char* data = static_cast<char*>(file_readAll("S32.MOD", &size));
    ASSERT_EQ(size, int(mod.size()));
    EXPECT_EQ(std::memcmp(data, mod.data(), mod.size()), 0);
    mem_free(data);
    data = static_cast<char*>(file_readAll("srcdata\\deep\\X.BIN", &size));
    EXPECT_EQ(std::string(data, size), "xx");
    mem_free(data);
    EXPECT_EQ(file_getFileSize("srcdata/empty.raw"), 0);
    file_unmountData();

    r = qxdat("verify " + q(root_ / "a.dat"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(lines(r.out), 1);

    r = qxdat("extract " + q(root_ / "a.dat") + " " + q(root_ / "out"));
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* name : order) EXPECT_EQ(slurp(root_ / "out" / name), slurp(in / name)) << name;
}

TEST_F(Qxdat, RefusesNamesTheProgramCouldNotOpen) {
    fs::path ok = root_ / "ok";
    put(ok / std::string(63, 'n'), "63 is fine");
    EXPECT_EQ(qxdat("pack " + q(ok) + " " + q(root_ / "ok.dat")).status, 0);

    fs::path longName = root_ / "long";
    put(longName / "srcdata" / (std::string(54, 'n') + ".x"), "64 characters with the folder");
    Result r = qxdat("pack " + q(longName) + " " + q(root_ / "long.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("is 64 characters long (at most 63)"), std::string::npos) << r.out;
    EXPECT_EQ(lines(r.out), 1);
    EXPECT_FALSE(fs::exists(root_ / "long.dat"));

    fs::path caseDup = root_ / "case";
    put(caseDup / "Torus.qx3", "a");
    put(caseDup / "torus.QX3", "b");
    r = qxdat("pack " + q(caseDup) + " " + q(root_ / "case.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("'Torus.qx3' and 'torus.QX3'"), std::string::npos) << r.out;

    // Same last component in two folders: lookups would always find the first.
    fs::path folderDup = root_ / "folders";
    put(folderDup / "a/pal.raw", "a");
    put(folderDup / "b/PAL.raw", "b");
    r = qxdat("pack " + q(folderDup) + " " + q(root_ / "folders.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("'a/pal.raw' and 'b/PAL.raw'"), std::string::npos) << r.out;

    r = qxdat("pack " + q(root_ / "nonexistent") + " " + q(root_ / "x.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("is not a directory"), std::string::npos) << r.out;
}

TEST_F(Qxdat, BadDatafilesFailWithOneLine) {
    put(root_ / "short.dat", "QXD");
    Result r = qxdat("verify " + q(root_ / "short.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.out), 1);
    EXPECT_NE(r.out.find("header truncated"), std::string::npos) << r.out;
    EXPECT_EQ(qxdat("list " + q(root_ / "short.dat")).status, 1);
    EXPECT_EQ(qxdat("extract " + q(root_ / "short.dat") + " " + q(root_ / "o")).status, 1);

    // A file with another identification word is refused by every verb that reads one.
    put(root_ / "foreign.dat", std::string("PK\3\4", 4) + std::string(200, '\0'));
    for (const std::string verb : {"verify ", "list "}) {
        r = qxdat(verb + q(root_ / "foreign.dat"));
        EXPECT_EQ(r.status, 1) << verb;
        EXPECT_EQ(lines(r.out), 1) << verb;
        EXPECT_NE(r.out.find("foreign.dat' is not a tidewater datafile"), std::string::npos) << r.out;
    }
    r = qxdat("extract " + q(root_ / "foreign.dat") + " " + q(root_ / "fo"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("is not a tidewater datafile"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(root_ / "fo"));

    r = qxdat("list " + q(root_ / "missing.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("failed to mount datafile"), std::string::npos) << r.out;

    // A name that climbs out of the target folder is never written.
    std::string img = "QXDT";
    auto u32 = [&img](uint32_t v) { for (int i = 0; i < 4; ++i) img += char(v >> (8 * i)); };
    u32(1);
    u32(88);
    u32(1);
    u32(0);
    u32(0);
    std::string name = "../evil.txt";
    name.resize(64, '\0');
    img += name + "E";
    put(root_ / "evil.dat", img);
    EXPECT_EQ(qxdat("verify " + q(root_ / "evil.dat")).status, 0);
    r = qxdat("extract " + q(root_ / "evil.dat") + " " + q(root_ / "x/y"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("would leave"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(root_ / "x/evil.txt"));
}

TEST_F(Qxdat, HelpAndUsageErrors) {
    for (const char* c : {"--help", "pack --help", "list -h", "extract --help", "verify --help"}) {
        Result r = qxdat(c);
        EXPECT_EQ(r.status, 0) << c;
        EXPECT_NE(r.out.find("usage: qxdat"), std::string::npos) << c;
    }
    EXPECT_EQ(qxdat("").status, 2);
    Result r = qxdat("squash a b");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("unknown command 'squash'"), std::string::npos);
    EXPECT_EQ(qxdat("pack onlyone").status, 2);
}

}  // namespace
