#include "file.h"

#include "glint_os.h"
#include "log.h"
#include "mem.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

struct DataFile {
    uint32_t ident;
    uint32_t numFiles;
    FileEntry* entries;
};

static DataFile s_datafile = {0, 0, nullptr};
static FILE* s_fp = nullptr;
static unsigned char* s_mem = nullptr;  // a copy of a datafile mounted from memory
static uint64_t s_memSize = 0;

static uint32_t file_u32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static void file_error(char* error, size_t errorSize, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
static void file_error(char* error, size_t errorSize, const char* format, ...) {
    if (!error || !errorSize) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(error, errorSize, format, args);
    va_end(args);
}

// The mounted image is either a stream (s_fp) or bytes in memory (s_mem); file_readAt reads
// either. Returns the bytes delivered.
static size_t file_readAt(uint64_t at, void* dst, size_t count) {
    if (s_mem) {
        if (at >= s_memSize) return 0;
        const size_t n = count < s_memSize - at ? count : size_t(s_memSize - at);
        std::memcpy(dst, s_mem + at, n);
        return n;
    }
    if (!s_fp || fseeko(s_fp, off_t(at), SEEK_SET) != 0) return 0;
    return std::fread(dst, 1, count, s_fp);
}

// Reads and checks the header and directory of the image just placed in s_fp or s_mem (fileSize
// bytes long); on failure it is unmounted again. Every check is done against the real length of
// the image, so nothing later can read outside it: the directory must fit, every entry must lie
// inside, every name must end with its NUL.
static int file_mountImage(uint64_t fileSize, const char* label, char* error, size_t errorSize) {
    unsigned char header[FileHeaderSize];
    if (fileSize < FileHeaderSize || file_readAt(0, header, FileHeaderSize) != FileHeaderSize) {
        file_error(error, errorSize, "datafile '%s' is corrupt: header truncated (%llu of %u bytes)", label,
                   (unsigned long long)fileSize, FileHeaderSize);
        file_unmountData();
        return 0;
    }
    const uint32_t ident = file_u32(header);
    if (ident != FileIdent) {
        // Anything else (another format, a text file, a file that only got the right name) is
        // refused before its count is trusted. The word is shown escaped: it may be any bytes.
        char shown[4 * 4 + 1];
        char* o = shown;
        for (int i = 0; i < 4; ++i) {
            const unsigned char c = header[i];
            if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"')
                *o++ = char(c);
            else
                o += std::snprintf(o, 5, "\\x%02X", c);
        }
        *o = 0;
        file_error(error, errorSize, "datafile '%s' is not a tidewater datafile (it starts with \"%s\", not \"QXDT\")",
                   label, shown);
        file_unmountData();
        return 0;
    }
    const uint32_t numFiles = file_u32(header + 4);
    const uint64_t dirEnd = uint64_t(FileHeaderSize) + uint64_t(numFiles) * FileEntrySize;
    if (dirEnd > fileSize) {
        file_error(error, errorSize,
                   "datafile '%s' is corrupt: directory of %u entries ends at byte %llu, past the end of the file (%llu bytes)",
                   label, numFiles, (unsigned long long)dirEnd, (unsigned long long)fileSize);
        file_unmountData();
        return 0;
    }

    const size_t dirBytes = size_t(numFiles) * FileEntrySize;
    unsigned char* raw = static_cast<unsigned char*>(mem_malloc(dirBytes));
    if (dirBytes && file_readAt(FileHeaderSize, raw, dirBytes) != dirBytes) {
        file_error(error, errorSize, "datafile '%s' cannot be read (directory)", label);
        mem_free(raw);
        file_unmountData();
        return 0;
    }
    FileEntry* entries = static_cast<FileEntry*>(mem_malloc(numFiles ? numFiles * sizeof(FileEntry) : 1));
    for (uint32_t i = 0; i < numFiles; ++i) {
        const unsigned char* r = raw + size_t(i) * FileEntrySize;
        FileEntry& e = entries[i];
        e.offset = file_u32(r);
        e.size = file_u32(r + 4);
        e.position = file_u32(r + 8);
        e.flags = file_u32(r + 12);
        std::memcpy(e.name, r + 16, sizeof(e.name));
        if (!std::memchr(e.name, 0, sizeof(e.name))) {
            file_error(error, errorSize, "datafile '%s' is corrupt: entry %u has a name without its terminating NUL",
                       label, i);
            mem_free(entries);
            mem_free(raw);
            file_unmountData();
            return 0;
        }
        if (uint64_t(e.offset) + e.size > fileSize) {
            file_error(error, errorSize,
                       "datafile '%s' is corrupt: entry %u ('%s', %u bytes at %u) runs past the end of the file (%llu bytes)",
                       label, i, e.name, e.size, e.offset, (unsigned long long)fileSize);
            mem_free(entries);
            mem_free(raw);
            file_unmountData();
            return 0;
        }
    }
    mem_free(raw);
    s_datafile.ident = ident;
    s_datafile.numFiles = numFiles;
    s_datafile.entries = entries;
    return 1;
}

// Mounts the open stream fp (the mount owns it from here on).
static int file_mountStream(FILE* fp, const char* label, char* error, size_t errorSize) {
    file_unmountData();
    s_fp = fp;
    if (fseeko(fp, 0, SEEK_END) != 0) {
        file_error(error, errorSize, "datafile '%s' cannot be read", label);
        file_unmountData();
        return 0;
    }
    return file_mountImage(uint64_t(ftello(fp)), label, error, errorSize);
}

static FILE* file_openDatafile(const char* name) {
    FILE* fp = std::fopen(name, "rb");
    if (fp || std::strchr(name, '/')) return fp;
    std::string dir = glint_exeDir();
    if (dir.empty()) return nullptr;
    return std::fopen((dir + name).c_str(), "rb");
}

int file_tryMountData(const char* name, char* error, size_t errorSize) {
    FILE* fp = file_openDatafile(name);
    if (!fp) {
        file_unmountData();
        file_error(error, errorSize, "failed to mount datafile '%s'!", name);
        return 0;
    }
    return file_mountStream(fp, name, error, errorSize);
}

int file_tryMountMemory(const void* data, size_t size, char* error, size_t errorSize) {
    file_unmountData();
    unsigned char* copy = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (!copy) {
        file_error(error, errorSize, "datafile '<memory>' is too large (%zu bytes)", size);
        return 0;
    }
    if (size) std::memcpy(copy, data, size);
    s_mem = copy;
    s_memSize = size;
    return file_mountImage(size, "<memory>", error, errorSize);
}

int file_mountData(const char* name) {
    char error[512];
    FILE* fp = file_openDatafile(name);
    if (!fp) {
        log_print("failed to mount datafile '%s'!\n", name);
        std::fflush(stdout);
        std::exit(1);
    }
    if (!file_mountStream(fp, name, error, sizeof(error))) {
        log_print("file: %s\n", error);
        std::fflush(stdout);
        std::exit(1);
    }
    return 1;
}

void file_unmountData(void) {
    if (s_fp) std::fclose(s_fp);
    s_fp = nullptr;
    mem_free(s_datafile.entries);
    s_datafile = {0, 0, nullptr};
    std::free(s_mem);
    s_mem = nullptr;
    s_memSize = 0;
}

// The last path component: scanning back from the last character to index 1, the text after the
// first '\' or '/' found; a separator in the first character is never stripped.
static const char* getFilename(const char* path) {
    for (size_t i = std::strlen(path); i-- > 1;)
        if (path[i] == '\\' || path[i] == '/') return path + i + 1;
    return path;
}

// Stored names may carry a directory ("srcdata/s32.mod"); both sides compare by last component.
static FileEntry* file_find(const char* name) {
    if (!name) return nullptr;
    const char* base = getFilename(name);
    for (uint32_t i = 0; i < s_datafile.numFiles; ++i) {
        FileEntry* e = &s_datafile.entries[i];
        if (strcasecmp(base, getFilename(e->name)) == 0) return e;
    }
    return nullptr;
}

FileHandle file_open(const char* name) {
    FileEntry* e = file_find(name);
    if (!e) return nullptr;
    e->position = 0;
    e->flags |= FileFlagOpen;
    return e;
}

// Reads [from, from + count) of the entry into dst; bytes outside the entry, or that the stream
// does not deliver, are 0. Returns the bytes delivered from inside the entry.
static int file_readRange(const FileEntry* e, unsigned char* dst, int64_t from, int count) {
    std::memset(dst, 0, size_t(count));
    const int64_t begin = from < 0 ? 0 : from;
    const int64_t end = from + count < int64_t(e->size) ? from + count : int64_t(e->size);
    if (begin >= end) return 0;
    return int(file_readAt(uint64_t(e->offset) + uint64_t(begin), dst + (begin - from), size_t(end - begin)));
}

int file_read(FileHandle handle, void* buffer, int count) {
    if (!handle || count <= 0) return 0;
    const int64_t pos = int32_t(handle->position);
    int got = file_readRange(handle, static_cast<unsigned char*>(buffer), pos, count);
    handle->position += uint32_t(count);
    return got;
}

int file_seek(FileHandle handle, int offset, int whence) {
    if (!handle) return 0;
    if (whence == 1)
        handle->position += uint32_t(offset);
    else if (whence == 2)
        handle->position = handle->size - uint32_t(offset);
    else
        handle->position = uint32_t(offset);
    return int32_t(handle->position);
}

int file_getFileSize(const char* name) {
    const FileEntry* e = file_find(name);
    return e ? int(e->size) : -1;
}

void* file_readAll(const char* name, int* sizeOut) {
    FileEntry* e = file_open(name);
    if (!e) {
        log_print("file: '%s' is not in the datafile\n", name ? name : "(null)");
        std::fflush(stdout);
        std::exit(1);
    }
    unsigned char* buffer = static_cast<unsigned char*>(mem_malloc(e->size));
    if (e->size) {
        // Entries are checked to lie inside the file at mount; read in int-sized pieces.
        uint64_t done = 0;
        while (done < e->size) {
            uint64_t n = e->size - done;
            if (n > 0x40000000u) n = 0x40000000u;
            file_readRange(e, buffer + done, int64_t(done), int(n));
            done += n;
        }
    }
    if (sizeOut) *sizeOut = int(e->size);
    e->flags &= ~FileFlagOpen;
    return buffer;
}

void file_close(FileHandle handle) {
    if (handle) handle->flags &= ~FileFlagOpen;
}

int file_getNumFiles(void) { return int(s_datafile.numFiles); }

const FileEntry* file_getEntry(int index) {
    if (index < 0 || uint32_t(index) >= s_datafile.numFiles) return nullptr;
    return &s_datafile.entries[index];
}
