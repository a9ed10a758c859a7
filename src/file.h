// file: the mounted datafile and a small file interface over it.
//
// Datafile layout (little-endian, no alignment):
//   0   u32  identification word, the bytes "QXDT"; any other word is refused on mount
//   4   u32  numFiles
//   8   numFiles x 80-byte FileEntry records
//   ... each entry's bytes, raw, at the entry's offset
// Names are matched by their last path component without regard to letter case, so
// "srcdata/torus.qx3", "torus.qx3" and "SRCDATA\\TORUS.QX3" all open the entry "srcdata/torus.qx3".
// The first matching entry in directory order wins.
//
// A handle is a pointer to the entry's record in the in-memory directory: each entry has exactly
// one cursor, and opening an open entry again restarts it.
#pragma once
#include <cstddef>
#include <cstdint>

struct FileEntry {
    uint32_t offset;    // absolute position of the entry's first byte in the datafile
    uint32_t size;      // bytes
    uint32_t position;  // read cursor while open (signed: a cursor moved before the start is < 0)
    uint32_t flags;     // bit 0 = open; other bits carried unchanged
    char name[64];      // NUL-terminated, at most 63 characters
};
static_assert(sizeof(FileEntry) == 80, "FileEntry is an 80-byte record in the datafile");

using FileHandle = FileEntry*;

constexpr uint32_t FileEntrySize = 80;
constexpr uint32_t FileHeaderSize = 8;
constexpr uint32_t FileFlagOpen = 1;
constexpr uint32_t FileIdent = 0x54445851u;  // "QXDT" read as a little-endian word

// Mounts the datafile. Looks for `name` as given, then (for a bare name) beside the executable,
// then in the installed data directory next to the executable's (../share/tidewater/ from bin/).
// If it cannot be opened: "failed to mount datafile '<name>'!", for a bare name followed by
// "(looked in ...)" naming each place, and exit code 1. If it
// does not start with "QXDT" ("... is not a tidewater datafile") or is corrupt (truncated header,
// directory or an entry past the end of the file, a name without its NUL): one line naming the
// file and the problem, exit code 1. Returns 1.
int file_mountData(const char* name);
// As file_mountData but never ends the process: returns 0 and puts the one-line reason (without
// a newline) into error. Used by qxdat verify, tests and the fuzzer.
int file_tryMountData(const char* name, char* error, size_t errorSize);
// Mounts a datafile image held in memory (the bytes are copied). Same checks, same result.
int file_tryMountMemory(const void* data, size_t size, char* error, size_t errorSize);
// Closes the stream and frees the directory. Safe to call when nothing is mounted.
void file_unmountData(void);

// Returns the entry (cursor 0, open bit set) or null if the name is not present.
FileHandle file_open(const char* name);
// Reads count bytes at the cursor and advances the cursor by count. Bytes outside the entry read
// as 0. Returns the number of bytes that came from inside the entry.
int file_read(FileHandle handle, void* buffer, int count);
// whence 1: cursor += offset; whence 2: cursor = size - offset; otherwise cursor = offset.
// Returns the new cursor.
int file_seek(FileHandle handle, int offset, int whence);
// The entry's size, or -1 if the name is not present.
int file_getFileSize(const char* name);
// The whole entry in a new mem_malloc block (free it with mem_free); stores the size in *sizeOut
// when sizeOut is not null. A name that is not present ends the process with one line naming it
// and exit code 1.
void* file_readAll(const char* name, int* sizeOut);
// Clears the open bit.
void file_close(FileHandle handle);

// The mounted directory, for tools and tests: entry count (0 when unmounted) and entry i.
int file_getNumFiles(void);
const FileEntry* file_getEntry(int index);
