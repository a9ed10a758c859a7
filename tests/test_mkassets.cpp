// cmake-needs: mkassets datafile
#include "file.h"
#include "icons.h"
#include "mem.h"
#include "registry.h"

#include <gtest/gtest.h>
#include <png.h>
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
// The icons: byte-identical across runs, each the size its name says, transparent in the rounded
// corners, opaque inside, and with a mark far brighter than the tile around it (legible at 16).
TEST(Mkassets, IconsAtEverySizeAreDeterministicAndShowTheMark) {
    fs::path root = fs::temp_directory_path() / ("tidewater_icons_" + std::to_string(getpid()));
    fs::remove_all(root);
    ASSERT_EQ(run(std::string(TIDEWATER_MKASSETS) + " --icons '" + (root / "one").string() + "'"), 0);
    ASSERT_EQ(run(std::string(TIDEWATER_MKASSETS) + " --icons '" + (root / "two").string() + "'"), 0);
    EXPECT_TRUE(readTree(root / "one") == readTree(root / "two"));
    EXPECT_EQ(readTree(root / "one").size(), std::size(icons::Sizes));
    for (int size : icons::Sizes) {
        const fs::path path = root / "one" / ("tidewater-" + std::to_string(size) + ".png");
        png_image img{};
        img.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&img, path.c_str())) << path;
        img.format = PNG_FORMAT_RGBA;
        std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
        ASSERT_TRUE(png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) << path;
        ASSERT_EQ(int(img.width), size);
        ASSERT_EQ(int(img.height), size);
        auto at = [&](int x, int y) { return &px[(size_t(y) * size + x) * 4]; };
        EXPECT_LT(at(0, 0)[3], 8) << size;
        EXPECT_LT(at(size - 1, size - 1)[3], 8) << size;
        int brightest = 0, tileEdge = at(size / 2, size - 1)[0] + at(size / 2, size - 1)[1] + at(size / 2, size - 1)[2];
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (x > 0 && x < size - 1 && y > size / 4 && y < size * 3 / 4) {
                    EXPECT_EQ(at(x, y)[3], 255) << size;
                }
                brightest = std::max(brightest, at(x, y)[0] + at(x, y)[1] + at(x, y)[2]);
            }
        EXPECT_GT(brightest, 600) << size;
        EXPECT_GT(brightest - tileEdge, 450) << size;
    }
    fs::remove_all(root);
}

TEST(Mkassets, DatafileFoundInCurrentDirectoryThenBesideTheExecutableThenInstalled) {
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
    // None anywhere: the one line names every place looked in, in order.
    const std::string exeDir = fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
    const std::string dataDir = (fs::path(exeDir) / "../share/tidewater/").lexically_normal().string();
    EXPECT_EQ(file_tryMountData("no-such.dat", error, sizeof(error)), 0);
    EXPECT_EQ(std::string(error), "failed to mount datafile 'no-such.dat'! (looked in " + fs::current_path().string() +
                                      "/, " + exeDir + " and " + dataDir + ")");
    fs::current_path(old);
    fs::remove_all(dir);
}

}  // namespace
