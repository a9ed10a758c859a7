#include "log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Runs each test in a fresh directory, because the log file is always "log.txt" in the cwd.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("tidewater_log_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        log_deinit();
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    static std::string slurp(const char* name) {
        std::ifstream f(name, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    fs::path old_, dir_;
};

TEST_F(LogTest, ClosedLogWritesOnlyToStandardOutput) {
    log_init(0);
    testing::internal::CaptureStdout();
    log_print("main: %s %d\n", "initialising", 7);
    log_stdio("x=%05.1f", 2.5);
    log_debug("never %d\n", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "main: initialising 7\nx=002.5");
    log_deinit();
    EXPECT_FALSE(fs::exists("log.txt"));
}

TEST_F(LogTest, OpenLogWritesTheSameTextToFileAndStandardOutput) {
    testing::internal::CaptureStdout();
    log_init(1);
    log_print("effect: starting '%s'\n", "Wire");
    log_stdio("modplay: loading %s\n", "srcdata/s32.mod");
    log_deinit();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string expected =
        "log: log opened\n"
        "effect: starting 'Wire'\n"
        "modplay: loading srcdata/s32.mod\n"
        "log: log closed\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(slurp("log.txt"), expected);

    // A second session truncates the file, and once closed nothing more reaches it.
    log_init(1);
    log_deinit();
    testing::internal::CaptureStdout();
    log_print("after\n");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(slurp("log.txt"), "log: log opened\nlog: log closed\n");
}

TEST_F(LogTest, UncreatableLogFileFallsBackToStandardOutput) {
    fs::create_directory("log.txt");  // a directory where the file should go
    testing::internal::CaptureStdout();
    log_init(1);
    log_print("still here\n");
    log_deinit();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "log: log opened\nstill here\n");
}

}  // namespace
