// mkassets: deterministic generators for every asset the show loads.
//
// Each asset family lives in its own source file and registers its generator with
// MKASSETS_GENERATOR(name, fn). `mkassets OUTDIR` runs every generator in name order; each writes
// its files below OUTDIR/srcdata/. Generators use fixed seeds, no clock and no outside files, so
// two runs give byte-identical output.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace mkassets {

using Bytes = std::vector<uint8_t>;

// Writes `data` to OUTDIR/<name> (name like "srcdata/s32.mod"), creating folders. Returns false
// and prints one line naming the file on failure.
bool writeFile(const std::string& outdir, const std::string& name, const Bytes& data);
bool writeText(const std::string& outdir, const std::string& name, const std::string& text);

// Little-endian appenders for building binary formats field by field.
void putU8(Bytes& b, uint32_t v);
void putU16(Bytes& b, uint32_t v);
void putU32(Bytes& b, uint32_t v);
void putF32(Bytes& b, float v);
void putBytes(Bytes& b, const void* p, size_t n);

// A generator writes its files below outdir and returns false on failure.
using GenFn = bool (*)(const std::string& outdir);
// An extra command line mode, e.g. "--music-report"; gets the arguments after the flag.
using CmdFn = int (*)(int argc, char** argv);

struct Registrar {
    Registrar(const char* name, GenFn fn);
    Registrar(const char* flag, CmdFn fn, const char* help);
};

}  // namespace mkassets

#define MKASSETS_CAT2(a, b) a##b
#define MKASSETS_CAT(a, b) MKASSETS_CAT2(a, b)
#define MKASSETS_GENERATOR(name, fn) \
    static ::mkassets::Registrar MKASSETS_CAT(s_generator_, __LINE__)(name, fn)
#define MKASSETS_COMMAND(flag, fn, help) \
    static ::mkassets::Registrar MKASSETS_CAT(s_command_, __LINE__)(flag, fn, help)
