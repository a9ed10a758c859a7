// cmake-needs: mkassets datafile
#include "file.h"
#include "mem.h"
#include "registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace mkassets {
std::string bannerText();
}

namespace {

std::map<std::string, std::string> readTree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::ifstream f(e.path(), std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        files[fs::relative(e.path(), root).generic_string()] = ss.str();
    }
    return files;
}

int run(const std::string& cmd) {
    int st = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Every generator, twice, into separate folders: the outputs must match byte for byte.
TEST(Mkassets, TwoRunsAreByteIdentical) {
    fs::path root = fs::temp_directory_path() / ("tidewater_mkassets_" + std::to_string(getpid()));
    fs::remove_all(root);
    ASSERT_EQ(run(std::string(TIDEWATER_MKASSETS) + " '" + (root / "one").string() + "'"), 0);
    ASSERT_EQ(run(std::string(TIDEWATER_MKASSETS) + " '" + (root / "two").string() + "'"), 0);
    auto one = readTree(root / "one");
    auto two = readTree(root / "two");
    EXPECT_GE(one.size(), 1u);
    ASSERT_EQ(one.size(), two.size());
    for (const auto& [name, bytes] : one) {
        ASSERT_TRUE(two.count(name)) << name;
        EXPECT_TRUE(bytes == two[name]) << name << " differs between runs";
        EXPECT_EQ(name.rfind("srcdata/", 0), 0u) << name << " is outside srcdata/";
    }
    fs::remove_all(root);
}

TEST(Mkassets, BannerIsPlainAsciiThatFitsATerminal) {
    const std::string text = mkassets::bannerText();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream in(text);
    std::string line;
    int ink = 0;
    while (std::getline(in, line)) {
        EXPECT_LE(line.size(), 79u) << line;
        for (char c : line) ASSERT_TRUE(c >= 32 && c < 127) << int(c);
        EXPECT_TRUE(line.empty() || line.back() != ' ') << "trailing blank: " << line;
        ink += line.find('#') != std::string::npos;
    }
    EXPECT_EQ(ink, 5);  // the title's five rows
    auto gens = mkassets::allGenerators();
    EXPECT_TRUE(std::any_of(gens.begin(), gens.end(), [](const mkassets::Generator& g) {
        return std::string(g.name) == "banner";
    }));
}

// The built datafile mounts cleanly and carries the banner the program prints at exit.
TEST(Mkassets, BuiltDatafileHoldsTheBanner) {
    char error[512];
    ASSERT_EQ(file_tryMountData(TIDEWATER_DATAFILE, error, sizeof(error)), 1) << error;
    int size = 0;
    char* text = static_cast<char*>(file_readAll("srcdata/tidwtr.asc", &size));
    EXPECT_EQ(std::string(text, size), mkassets::bannerText());
    mem_free(text);
    for (int i = 0; i < file_getNumFiles(); ++i)
        EXPECT_EQ(std::string(file_getEntry(i)->name).rfind("srcdata/", 0), 0u) << file_getEntry(i)->name;
    file_unmountData();
}

// The program opens "qx-tdwt.dat" from the current directory first, then beside its executable
// (the suites live beside the built datafile).
TEST(Mkassets, DatafileFoundInCurrentDirectoryThenBesideTheExecutable) {
    const fs::path old = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("tidewater_cwd_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    char error[512];
    const bool besideExe = fs::equivalent(fs::path(TIDEWATER_DATAFILE).parent_path(), fs::read_symlink("/proc/self/exe").parent_path());
    if (besideExe) {
        EXPECT_EQ(file_tryMountData("qx-tdwt.dat", error, sizeof(error)), 1) << error;
        EXPECT_GT(file_getFileSize("tidwtr.asc"), 0);
    }
    // A datafile in the current directory takes precedence.
    {
        std::ofstream f("qx-tdwt.dat", std::ios::binary);
        f.write("QXDT\0\0\0\0", 8);
    }
    EXPECT_EQ(file_tryMountData("qx-tdwt.dat", error, sizeof(error)), 1) << error;
    EXPECT_EQ(file_getNumFiles(), 0);
    file_unmountData();
    fs::current_path(old);
    fs::remove_all(dir);
}

}  // namespace
