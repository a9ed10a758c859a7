// qxdat: builds and inspects the packed datafile.
//
//   qxdat pack DIR OUT.dat      every regular file below DIR, stored under its path relative to DIR
//                               with '/' separators ("srcdata/s32.mod"), sorted by name
//   qxdat list FILE.dat         name, size and offset of every entry
//   qxdat extract FILE.dat DIR  writes every entry below DIR
//   qxdat verify FILE.dat       the checks the program makes when it mounts the datafile
//
// Format written: identification word "QXDT", u32 entry count, 80-byte entries (offset, size,
// position 0, flags 0, 64-byte NUL-padded name), then the entries' bytes back to back in directory
// order. Nothing depends on time stamps or directory order on disk, so the same files always give
// the same bytes.
#include "file.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

static const char* const s_usage =
    "usage: qxdat pack DIR OUT.dat       pack every regular file below DIR\n"
    "       qxdat list FILE.dat          list name, size and offset of each entry\n"
    "       qxdat extract FILE.dat DIR   write every entry below DIR\n"
    "       qxdat verify FILE.dat        check the datafile the way the program mounts it\n"
    "       qxdat COMMAND --help         help for one command\n";

static const char* const s_helpPack =
    "usage: qxdat pack DIR OUT.dat\n"
    "Packs every regular file below DIR into OUT.dat. Each is stored under its path relative to\n"
    "DIR with '/' separators (e.g. \"srcdata/s32.mod\"), in byte order of the names, so the output\n"
    "is byte-identical run to run. The program looks entries up by the last path component,\n"
    "without regard to case: names longer than 63 characters and files whose last components\n"
    "differ only in letter case (or not at all) are refused. Identification word: \"QXDT\".\n";
static const char* const s_helpList =
    "usage: qxdat list FILE.dat\n"
    "Prints one line per entry: name, size in bytes, offset in the datafile.\n";
static const char* const s_helpExtract =
    "usage: qxdat extract FILE.dat DIR\n"
    "Writes every entry to DIR/NAME, creating folders. Names that would leave DIR are refused.\n";
static const char* const s_helpVerify =
    "usage: qxdat verify FILE.dat\n"
    "Checks the identification word \"QXDT\", that the directory fits in the file, that every\n"
    "entry lies inside the file and that every name is NUL-terminated. Exit status 0 if sound,\n"
    "1 if not. list and extract refuse the same files.\n";

static bool isHelp(const char* a) { return !std::strcmp(a, "-h") || !std::strcmp(a, "--help"); }

static void putU32(std::vector<unsigned char>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

static const char* lastComponent(const std::string& s) {
    size_t p = s.find_last_of("/\\");
    return s.c_str() + (p == std::string::npos ? 0 : p + 1);
}

static bool readWhole(const fs::path& p, std::vector<unsigned char>& out) {
    FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) return false;
    out.clear();
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out.insert(out.end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

static int cmdPack(const char* dir, const char* out) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::printf("qxdat: '%s' is not a directory\n", dir);
        return 1;
    }
    std::vector<std::string> names;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        names.push_back(fs::relative(it->path(), dir, ec).generic_string());
    }
    if (ec) {
        std::printf("qxdat: cannot read directory '%s': %s\n", dir, ec.message().c_str());
        return 1;
    }
    std::sort(names.begin(), names.end());

    std::map<std::string, std::string> seen;  // lower-cased last component -> name
    for (const std::string& n : names) {
        if (n.size() > 63) {
            std::printf("qxdat: name '%s' is %zu characters long (at most 63)\n", n.c_str(), n.size());
            return 1;
        }
        std::string key = lastComponent(n);
        for (char& c : key) c = char(std::tolower((unsigned char)c));
        auto [it, fresh] = seen.emplace(key, n);
        if (!fresh) {
            std::printf("qxdat: '%s' and '%s' have the same name apart from case or folder; "
                        "only the first could be opened\n",
                        it->second.c_str(), n.c_str());
            return 1;
        }
    }

    std::vector<unsigned char> blob;
    const uint64_t dataStart = uint64_t(FileHeaderSize) + uint64_t(names.size()) * FileEntrySize;
    putU32(blob, FileIdent);
    putU32(blob, uint32_t(names.size()));
    std::vector<unsigned char> data;
    std::vector<unsigned char> content;
    for (const std::string& n : names) {
        if (!readWhole(fs::path(dir) / n, content)) {
            std::printf("qxdat: cannot read '%s'\n", (fs::path(dir) / n).c_str());
            return 1;
        }
        uint64_t offset = dataStart + data.size();
        if (offset + content.size() > 0xFFFFFFFFull) {
            std::printf("qxdat: '%s' does not fit: a datafile holds at most 4 GiB\n", n.c_str());
            return 1;
        }
        putU32(blob, uint32_t(offset));
        putU32(blob, uint32_t(content.size()));
        putU32(blob, 0);  // position
        putU32(blob, 0);  // flags
        char name[64] = {};
        std::memcpy(name, n.data(), n.size());
        blob.insert(blob.end(), name, name + 64);
        data.insert(data.end(), content.begin(), content.end());
    }
    blob.insert(blob.end(), data.begin(), data.end());

    // Write beside the target and rename, so a failed run never leaves a half-written datafile.
    std::string tmp = std::string(out) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::printf("qxdat: cannot create '%s'\n", tmp.c_str());
        return 1;
    }
    bool ok = std::fwrite(blob.data(), 1, blob.size(), f) == blob.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), out) != 0) {
        std::remove(tmp.c_str());
        std::printf("qxdat: cannot write '%s'\n", out);
        return 1;
    }
    std::printf("qxdat: packed %zu files (%zu bytes) into '%s'\n", names.size(), blob.size(), out);
    return 0;
}

static bool mount(const char* file) {
    char error[512];
    if (file_tryMountData(file, error, sizeof(error))) return true;
    std::printf("qxdat: %s\n", error);
    return false;
}

static int cmdList(const char* file) {
    if (!mount(file)) return 1;
    for (int i = 0; i < file_getNumFiles(); ++i) {
        const FileEntry* e = file_getEntry(i);
        std::printf("%-48s %10u %10u\n", e->name, e->size, e->offset);
    }
    file_unmountData();
    return 0;
}

// A name from the datafile is written below DIR only if it stays there.
static bool safeName(const char* n) {
    if (!*n || n[0] == '/' || std::strchr(n, '\\')) return false;
    for (const auto& part : fs::path(n)) {
        if (part == ".." || part == "." || part.empty()) return false;
    }
    return true;
}

static int cmdExtract(const char* file, const char* dir) {
    if (!mount(file)) return 1;
    int n = file_getNumFiles();
    std::vector<FileEntry> entries;
    for (int i = 0; i < n; ++i) entries.push_back(*file_getEntry(i));
    file_unmountData();
    // The mount checked that every entry lies inside the file, so plain reads suffice.
    FILE* in = std::fopen(file, "rb");
    if (!in) {
        std::printf("qxdat: cannot open '%s'\n", file);
        return 1;
    }
    std::vector<unsigned char> buf;
    for (const FileEntry& e : entries) {
        if (!safeName(e.name)) {
            std::printf("qxdat: entry name '%s' would leave '%s'\n", e.name, dir);
            std::fclose(in);
            return 1;
        }
        buf.resize(e.size);
        if (fseeko(in, off_t(e.offset), SEEK_SET) != 0 || std::fread(buf.data(), 1, e.size, in) != e.size) {
            std::printf("qxdat: cannot read entry '%s' of '%s'\n", e.name, file);
            std::fclose(in);
            return 1;
        }
        fs::path p = fs::path(dir) / e.name;
        std::error_code ec;
        fs::create_directories(p.parent_path(), ec);
        FILE* f = std::fopen(p.c_str(), "wb");
        bool ok = f && std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
        if (f) ok = (std::fclose(f) == 0) && ok;
        if (!ok) {
            std::printf("qxdat: cannot write '%s'\n", p.c_str());
            std::fclose(in);
            return 1;
        }
    }
    std::fclose(in);
    std::printf("qxdat: extracted %zu files into '%s'\n", entries.size(), dir);
    return 0;
}

static int cmdVerify(const char* file) {
    if (!mount(file)) return 1;
    std::printf("qxdat: '%s' is sound (%d entries)\n", file, file_getNumFiles());
    file_unmountData();
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(s_usage, stdout);
        return 2;
    }
    const char* cmd = argv[1];
    if (isHelp(cmd)) {
        std::fputs(s_usage, stdout);
        return 0;
    }
    struct Command {
        const char* name;
        int args;
        const char* help;
    };
    static const Command s_commands[] = {
        {"pack", 2, s_helpPack}, {"list", 1, s_helpList}, {"extract", 2, s_helpExtract}, {"verify", 1, s_helpVerify}};
    for (const Command& c : s_commands) {
        if (std::strcmp(cmd, c.name)) continue;
        if (argc >= 3 && isHelp(argv[2])) {
            std::fputs(c.help, stdout);
            return 0;
        }
        if (argc != 2 + c.args) {
            std::printf("qxdat: '%s' takes %d argument%s (try qxdat %s --help)\n", c.name, c.args,
                        c.args == 1 ? "" : "s", c.name);
            return 2;
        }
        if (!std::strcmp(cmd, "pack")) return cmdPack(argv[2], argv[3]);
        if (!std::strcmp(cmd, "list")) return cmdList(argv[2]);
        if (!std::strcmp(cmd, "extract")) return cmdExtract(argv[2], argv[3]);
        return cmdVerify(argv[2]);
    }
    std::printf("qxdat: unknown command '%s' (try qxdat --help)\n", cmd);
    return 2;
}
