#include "mkassets.h"
#include "registry.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace mkassets {

static std::vector<Generator>& generators() {
    static std::vector<Generator> s_generators;
    return s_generators;
}
static std::vector<Command>& commands() {
    static std::vector<Command> s_commands;
    return s_commands;
}

Registrar::Registrar(const char* name, GenFn fn) { generators().push_back({name, fn}); }
Registrar::Registrar(const char* flag, CmdFn fn, const char* help) { commands().push_back({flag, fn, help}); }

std::vector<Generator> allGenerators() {
    std::vector<Generator> g = generators();
    std::sort(g.begin(), g.end(), [](const Generator& a, const Generator& b) { return std::strcmp(a.name, b.name) < 0; });
    return g;
}
std::vector<Command> allCommands() {
    std::vector<Command> c = commands();
    std::sort(c.begin(), c.end(), [](const Command& a, const Command& b) { return std::strcmp(a.flag, b.flag) < 0; });
    return c;
}

bool writeFile(const std::string& outdir, const std::string& name, const Bytes& data) {
    namespace fs = std::filesystem;
    fs::path p = fs::path(outdir) / name;
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) {
        std::printf("mkassets: cannot write '%s'\n", p.c_str());
        return false;
    }
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) std::printf("mkassets: failed writing '%s'\n", p.c_str());
    return ok;
}

bool writeText(const std::string& outdir, const std::string& name, const std::string& text) {
    return writeFile(outdir, name, Bytes(text.begin(), text.end()));
}

void putU8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }
void putU16(Bytes& b, uint32_t v) { putU8(b, v); putU8(b, v >> 8); }
void putU32(Bytes& b, uint32_t v) { putU16(b, v); putU16(b, v >> 16); }
void putF32(Bytes& b, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    putU32(b, u);
}
void putBytes(Bytes& b, const void* p, size_t n) {
    const uint8_t* s = static_cast<const uint8_t*>(p);
    b.insert(b.end(), s, s + n);
}

}  // namespace mkassets
