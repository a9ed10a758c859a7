// mkassets OUTDIR [--only NAME]: writes every generated asset below OUTDIR/srcdata/.
#include "registry.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace mkassets;

static void usage() {
    std::printf("usage: mkassets OUTDIR [--only NAME]\n"
                "       mkassets --list\n");
    for (const Command& c : allCommands()) std::printf("       mkassets %s\n", c.help);
    std::printf("\nWrites every asset the show loads below OUTDIR/srcdata/, deterministically:\n"
                "the same sources always give byte-identical files.\n");
}

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")) {
        usage();
        return argc < 2 ? 2 : 0;
    }
    for (const Command& c : allCommands())
        if (!std::strcmp(argv[1], c.flag)) return c.fn(argc - 2, argv + 2);
    if (!std::strcmp(argv[1], "--list")) {
        for (const Generator& g : allGenerators()) std::printf("%s\n", g.name);
        return 0;
    }
    if (argv[1][0] == '-') {
        std::printf("mkassets: unknown option '%s' (try --help)\n", argv[1]);
        return 2;
    }
    std::string outdir = argv[1];
    const char* only = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
        else { std::printf("mkassets: unknown argument '%s' (try --help)\n", argv[i]); return 2; }
    }
    auto gens = allGenerators();
    int n = 0, total = 0;
    for (const Generator& g : gens) total += !only || !std::strcmp(only, g.name);
    if (only && total == 0) { std::printf("mkassets: no generator named '%s'\n", only); return 2; }
    for (const Generator& g : gens) {
        if (only && std::strcmp(only, g.name)) continue;
        auto t0 = std::chrono::steady_clock::now();
        std::printf("mkassets: [%d/%d] %s", ++n, total, g.name);
        std::fflush(stdout);
        if (!g.fn(outdir)) { std::printf("\nmkassets: generator '%s' failed\n", g.name); return 1; }
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        std::printf(" (%.0f ms)\n", ms);
    }
    return 0;
}
