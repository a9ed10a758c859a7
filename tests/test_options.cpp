// Command line, authoring-key arithmetic and the benchmark line.
#include "options.h"
#include "runmode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    int ok;
    Options o;
    std::string out;
};

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "tidewater");
    std::vector<char*> argv;
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    Parsed p;
    testing::internal::CaptureStdout();
    p.ok = options_parse(int(argv.size()), argv.data(), &p.o);
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

}  // namespace

TEST(Options, ShowArguments)
{
    Parsed p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(0, p.o.fullscreen);
    EXPECT_EQ(2, p.o.scale);
    EXPECT_EQ(60, p.o.fps);
    EXPECT_STREQ("shots", p.o.outDir);
    EXPECT_FALSE(options_isFixedStep(&p.o));
    EXPECT_FALSE(options_isHeadless(&p.o));

    p = parse({"-scale", "3"});
    EXPECT_EQ(3, p.o.scale);
    p = parse({"-scale"});  // last argument: nothing changes
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(2, p.o.scale);
    p = parse({"-fullscreen", "-scale", "4"});  // the window code forces 1 in full screen
    EXPECT_EQ(1, p.o.fullscreen);
    EXPECT_EQ(4, p.o.scale);
    // Exact, case-sensitive matches; plain words and unknown single-dash arguments are ignored,
    // each with one line, and the program name is not an argument.
    p = parse({"-FULLSCREEN", "-scale3", "whatever"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(0, p.o.fullscreen);
    EXPECT_EQ(2, p.o.scale);
    EXPECT_EQ("main: ignoring unknown argument '-FULLSCREEN'\n"
              "main: ignoring unknown argument '-scale3'\n"
              "main: ignoring unknown argument 'whatever'\n",
              p.out);
    p = parse({"-fullscreen", "-scale"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(2, p.o.scale);
    EXPECT_EQ("main: -scale without a value changes nothing; the scale stays 2\n", p.out);
}

// The program's own option space: a "--" argument it does not know ends the run with the nearest
// known option, so a typo never silently does something else.
TEST(Options, UnknownDoubleDashOptionsAreRefused)
{
    struct Case {
        std::vector<const char*> args;
        const char* message;
    } cases[] = {
        {{"--captrue", "out.mp4"}, "main: unknown option '--captrue' (did you mean --capture? see tidewater --help)\n"},
        {{"--fullscreen"}, "main: unknown option '--fullscreen' (did you mean -fullscreen? see tidewater --help)\n"},
        {{"--scale", "3"}, "main: unknown option '--scale' (did you mean -scale? see tidewater --help)\n"},
        {{"--fps=30"}, "main: unknown option '--fps=30' (did you mean --fps? see tidewater --help)\n"},
        {{"--headles"}, "main: unknown option '--headles' (did you mean --headless? see tidewater --help)\n"},
        {{"--Mute"}, "main: unknown option '--Mute' (did you mean --mute? see tidewater --help)\n"},
        {{"--bogus"}, "main: unknown option '--bogus' (see tidewater --help)\n"},
        {{"--"}, "main: unknown option '--' (see tidewater --help)\n"},
        {{"--help", "--verison"}, "main: unknown option '--verison' (did you mean --version? see tidewater --help)\n"},
        // Earlier ignored words still warn before the refusal; the refusal is the last line.
        {{"extra", "--no-such-option"}, "main: ignoring unknown argument 'extra'\n"
                                        "main: unknown option '--no-such-option' (see tidewater --help)\n"},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.message;
        EXPECT_EQ(c.message, p.out);
    }
    // Value-taking options consume their value, so a value that looks like an option is fine.
    Parsed p = parse({"--out", "--weird-dir", "--shots", "5:0"});
    EXPECT_TRUE(p.ok) << p.out;
    EXPECT_STREQ("--weird-dir", p.o.outDir);
}

TEST(Options, NearestKnownOption)
{
    EXPECT_STREQ("--benchmark", options_nearest("--benchmrak"));
    EXPECT_STREQ("--start", options_nearest("--strat"));
    EXPECT_STREQ("--end", options_nearest("--edn"));
    EXPECT_STREQ("-h", options_nearest("--h"));
    EXPECT_STREQ("--vsync", options_nearest("--vsnc"));
    EXPECT_STREQ("--fps", options_nearest("--fsp"));
    EXPECT_EQ(nullptr, options_nearest("--x"));
    EXPECT_EQ(nullptr, options_nearest("--=3"));
    EXPECT_EQ(nullptr, options_nearest("--completely-different"));
    std::string huge = "--" + std::string(5000, 'c');
    EXPECT_EQ(nullptr, options_nearest(huge.c_str()));
}

// Long values are cut in messages, and a long screenshot list is described, not echoed.
TEST(Options, MessagesStayOneReadableLine)
{
    std::string list;
    for (int i = 0; i < 257; i++) list += (i ? "," : "") + std::to_string(i / 64) + ":" + std::to_string(i % 64);
    Parsed p = parse({"--shots", list.c_str()});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ("main: --shots takes at most 256 positions, not 257\n", p.out);
    std::string tenThousand;
    for (int i = 0; i < 10000; i++) tenThousand += i ? ",1:1" : "1:1";
    p = parse({"--shots", tenThousand.c_str()});
    EXPECT_EQ("main: --shots takes at most 256 positions, not 10000\n", p.out);
    list.resize(list.rfind(','));  // 256 positions: accepted
    p = parse({"--shots", list.c_str()});
    EXPECT_TRUE(p.ok) << p.out;
    EXPECT_EQ(256, p.o.numShots);

    std::string word(300, 'w');
    p = parse({"--fps", word.c_str()});
    EXPECT_EQ("main: bad value '" + std::string(48, 'w') + "...' for --fps (frames per second, 1 to 1000)\n", p.out);
    std::string opt = "--" + word;
    p = parse({opt.c_str()});
    EXPECT_EQ("main: unknown option '--" + std::string(46, 'w') + "...' (see tidewater --help)\n", p.out);
    p = parse({word.c_str()});
    EXPECT_EQ("main: ignoring unknown argument '" + std::string(48, 'w') + "...'\n", p.out);
    p = parse({"--fps", "6\n0\x1b[2J"});
    EXPECT_EQ("main: bad value '6?0?[2J' for --fps (frames per second, 1 to 1000)\n", p.out);
    char small[8];
    EXPECT_STREQ("abcd...", options_echo("abcdefgh", small, sizeof small));
    EXPECT_STREQ("abcd", options_echo("abcd", small, sizeof small));
}

TEST(Options, UnusableScalesAreRefused)
{
    for (const char* bad : {"0", "-2", "abc", "3x", "", "17", "99999999999999999999"}) {
        Parsed p = parse({"-scale", bad});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_EQ(std::string("main: bad value '") + bad + "' for -scale (a whole number from 1 to 16)\n", p.out);
    }
    Parsed p = parse({"-scale", "16"});
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(16, p.o.scale);
}

TEST(Options, Modes)
{
    Parsed p = parse({"--capture", "out/show.mp4", "--fps", "30", "-scale", "1"});
    ASSERT_TRUE(p.ok);
    EXPECT_STREQ("out/show.mp4", p.o.capture);
    EXPECT_EQ(30, p.o.fps);
    EXPECT_TRUE(options_isFixedStep(&p.o));
    EXPECT_FALSE(options_isHeadless(&p.o));  // a capture may show its window

    p = parse({"--shots", "5:16,0:0,27:7", "--out", "dir"});
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(3, p.o.numShots);
    EXPECT_EQ(5, p.o.shots[0].order);
    EXPECT_EQ(16, p.o.shots[0].row);
    EXPECT_EQ(27, p.o.shots[2].order);
    EXPECT_EQ(7, p.o.shots[2].row);
    EXPECT_STREQ("dir", p.o.outDir);
    EXPECT_TRUE(options_isHeadless(&p.o));
    EXPECT_TRUE(options_isFixedStep(&p.o));

    p = parse({"--benchmark", "--start", "5", "--end", "9:32", "--mute", "--vsync", "--headless"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.o.benchmark && p.o.mute && p.o.vsync && p.o.headless);
    EXPECT_TRUE(p.o.hasStart && p.o.hasEnd);
    EXPECT_EQ(5, p.o.start.order);
    EXPECT_EQ(0, p.o.start.row);
    EXPECT_EQ(9, p.o.end.order);
    EXPECT_EQ(32, p.o.end.row);

    p = parse({"-h"});
    EXPECT_TRUE(p.ok && p.o.help);
    p = parse({"--version"});
    EXPECT_TRUE(p.ok && p.o.version);
}

TEST(Options, BadValuesNameTheOption)
{
    struct Case {
        std::vector<const char*> args;
        const char* message;
    } cases[] = {
        {{"--fps", "0"}, "main: bad value '0' for --fps (frames per second, 1 to 1000)\n"},
        {{"--fps"}, "main: --fps needs a value (frames per second, 1 to 1000)\n"},
        {{"--capture"}, "main: --capture needs a value (a .mp4 or .mkv file, or a directory)\n"},
        {{"--shots", "5"}, "main: bad value '5' for --shots (positions order:row separated by commas)\n"},
        {{"--shots", "5:1,"}, "main: bad value '5:1,' for --shots (positions order:row separated by commas)\n"},
        {{"--shots", "5:-1"}, "main: bad value '5:-1' for --shots (positions order:row separated by commas)\n"},
        {{"--start", "x"}, "main: bad value 'x' for --start (a music position ORDER or ORDER:ROW)\n"},
        {{"--end", "3:"}, "main: bad value '3:' for --end (a music position ORDER or ORDER:ROW)\n"},
        {{"--end", "65535"}, "main: bad value '65535' for --end (a music position ORDER or ORDER:ROW)\n"},
        {{"--start", "9", "--end", "5:3"}, "main: --end 5:3 is not after --start 9:0\n"},
        {{"--capture", "a", "--benchmark"}, "main: --capture, --shots and --benchmark cannot be combined\n"},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.message;
        EXPECT_EQ(c.message, p.out);
    }
}

TEST(Options, HelpListsEveryOption)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    options_printHelp(f);
    std::fclose(f);
    std::string help(text, size);
    free(text);
    for (const char* opt : {"-fullscreen", "-scale N", "--headless", "--mute", "--vsync", "--capture OUT", "--fps N",
                            "--shots LIST", "--out DIR", "--benchmark", "--start ORDER[:ROW]", "--end ORDER[:ROW]",
                            "-h, --help", "--version"})
        EXPECT_NE(std::string::npos, help.find(opt)) << opt;
}

TEST(SeekKeys, Arithmetic)
{
    struct Case {
        int plus, minus, shift;
        uint16_t order, row, wantOrder, wantRow;
    } cases[] = {
        {1, 0, 0, 10, 63, 11, 0},   // plus at the last row: next order, row 0
        {1, 0, 0, 10, 5, 10, 6},
        {1, 0, 1, 10, 20, 11, 20},  // shift: one order, row kept
        {0, 1, 0, 10, 0, 9, 0},     // minus at row 0: previous order, row 0
        {0, 1, 0, 10, 7, 10, 6},
        {0, 1, 1, 0, 5, 0, 5},      // shift at order 0 stays
        {0, 1, 1, 4, 5, 3, 5},
        {0, 1, 0, 0, 0, 0, 0},      // minus at 0:0 stays
        {1, 1, 0, 3, 3, 3, 4},      // plus wins, minus is not examined
    };
    for (const Case& c : cases) {
        uint16_t o = c.order, r = c.row;
        EXPECT_EQ(1, runmode_seekTarget(c.plus, c.minus, c.shift, &o, &r));
        EXPECT_EQ(c.wantOrder, o) << c.order << ":" << c.row;
        EXPECT_EQ(c.wantRow, r) << c.order << ":" << c.row;
    }
    uint16_t o = 4, r = 4;
    EXPECT_EQ(0, runmode_seekTarget(0, 0, 1, &o, &r));
}

TEST(Benchmark, SceneLine)
{
    float ms[] = {0.20f, 0.21f, 0.21f, 0.35f};
    char line[256];
    runmode_formatSceneLine(line, sizeof line, "Wire", 4, ms);
    EXPECT_STREQ("Wire  frames 4  median 0.21 ms  p99 0.35 ms  4762 fps", line);
}
