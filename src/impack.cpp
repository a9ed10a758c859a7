// Image packs and height-map displacement tables.
//
// A pack is loaded with one allocation and one read. The block holds the file's bytes from a
// 64 KiB boundary (so texture and envmap each start on one and 16-bit offsets address them
// directly), followed by the pack record, whose pointers all lead back into the same block.
// The record needs pointer-sized fields, so it sits after the file's bytes rather than in the
// file's 48-byte trailer.
#include "impack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file.h"
#include "log.h"
#include "mem.h"
#include "util.h"

enum { PackAlignment = 65536, BumpSize = 65536 };


ImagePack* impack_tryLoad(const char* name, char* error, size_t errorSize)
{
    const int fileSize = file_getFileSize(name);
    if (fileSize < 0) {
        util_setError(error, errorSize, "%s: not found in the datafile", name);
        return nullptr;
    }
    const size_t size = (size_t)fileSize;
    if (size < ImpackMinSize) {
        util_setError(error, errorSize, "%s: pack truncated (%zu bytes, the fixed part needs %d)", name, size,
                  (int)ImpackMinSize);
        return nullptr;
    }
    const size_t recordAt = (size + 15) & ~(size_t)15;
    uint8_t* block = (uint8_t*)mem_alignedMalloc(recordAt + sizeof(ImagePack), PackAlignment);
    FileHandle fh = file_open(name);
    const int got = file_read(fh, block, fileSize);
    file_close(fh);
    if (got != fileSize) {
        mem_alignedFree(block);
        util_setError(error, errorSize, "%s: read %d of %d bytes", name, got, fileSize);
        return nullptr;
    }

    // Directory: 4 slots of {width u16, height u16, offset u32} in the last 32 bytes.
    const uint8_t* dir = block + size - 32;
    ImagePack* pack = (ImagePack*)(block + recordAt);
    for (int i = 0; i < 4; i++) {
        const uint8_t* slot = dir + i * 8;
        const uint32_t w = util_get16(slot), h = util_get16(slot + 2), offset = util_get32(slot + 4);
        if (offset != 0 && (uint64_t)offset + (uint64_t)w * h > size) {
            mem_alignedFree(block);
            util_setError(error, errorSize, "%s: image slot %d (%ux%u at offset %u) lies outside the %zu-byte file",
                      name, i, w, h, offset, size);
            return nullptr;
        }
        pack->images[i].width = (uint16_t)w;
        pack->images[i].height = (uint16_t)h;
        pack->images[i].pixels = offset ? block + offset : nullptr;
    }
    pack->texture = block + ImpackTextureOffset;
    pack->envmap = block + ImpackEnvmapOffset;
    pack->palette = block + ImpackPaletteOffset;
    pack->lut = block + ImpackLutOffset;
    for (int i = 0; i < 768; i++)  // 8-bit to 6-bit components
        pack->palette[i] >>= 2;
    return pack;
}

ImagePack* impack_load(const char* name)
{
    char error[256];
    ImagePack* pack = impack_tryLoad(name, error, sizeof(error));
    if (!pack) {
        log_print("impack: %s\n", error);
        exit(1);
    }
    return pack;
}

void impack_destroy(ImagePack* pack)
{
    if (pack)
        mem_alignedFree(pack->texture);
}

uint16_t* util_tryLoadBump(const char* name, int shift, char* error, size_t errorSize)
{
    const int size = file_getFileSize(name);
    if (size < 0) {
        util_setError(error, errorSize, "%s: not found in the datafile", name);
        return nullptr;
    }
    if (size < BumpSize) {
        util_setError(error, errorSize, "%s: height map truncated (%d of %d bytes)", name, size, (int)BumpSize);
        return nullptr;
    }
    uint8_t* heights = (uint8_t*)file_readAll(name, nullptr);
    uint16_t* table = (uint16_t*)mem_malloc(BumpSize * sizeof(uint16_t));
    // Only the column is displaced, wrapping within its row; the high byte keeps the row.
    // A shift of 8 or more leaves no displacement (and never shifts by the type's width).
    uint8_t displace[256];
    for (int h = 0; h < 256; h++)
        displace[h] = (uint8_t)(shift < 0 ? h : (shift >= 8 ? 0 : h >> shift));
    for (int y = 0; y < 256; y++) {
        for (int x = 0; x < 256; x++) {
            const int i = y * 256 + x;
            table[i] = (uint16_t)(y * 256 + ((x + displace[heights[i]]) & 255));
        }
    }
    mem_free(heights);
    return table;
}

uint16_t* util_loadBump(const char* name, int shift)
{
    char error[256];
    uint16_t* table = util_tryLoadBump(name, shift, error, sizeof(error));
    if (!table) {
        log_print("util: %s\n", error);
        exit(1);
    }
    return table;
}
