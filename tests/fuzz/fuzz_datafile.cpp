// Mounts a datafile image from the fuzz input and reads every entry every way the engine can:
// cursor reads across both ends, seeks with each whence, and whole-entry reads.
#include "file.h"
#include "mem.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char error[512];
    if (!file_tryMountMemory(data, size, error, sizeof(error))) return 0;
    unsigned char buf[97];
    const int n = file_getNumFiles();
    for (int i = 0; i < n; ++i) {
        char name[64];
        std::memcpy(name, file_getEntry(i)->name, sizeof(name));
        const int entrySize = file_getFileSize(name);
        FileHandle h = file_open(name);
        if (!h || entrySize < 0) __builtin_trap();  // every stored name must be found again
        file_seek(h, -5, 0);
        file_read(h, buf, 11);
        file_seek(h, 0, 0);
        // Whole entry in chunks, and a little past its end.
        for (int64_t done = 0; done < int64_t(h->size) + 16 && done < (int64_t(1) << 20); done += sizeof(buf))
            file_read(h, buf, sizeof(buf));
        file_seek(h, 3, 2);
        file_read(h, buf, 9);
        file_seek(h, -7, 1);
        file_read(h, buf, 7);
        file_close(h);
        int got = -1;
        void* all = file_readAll(name, &got);
        if (got != entrySize) __builtin_trap();
        mem_free(all);
    }
    file_unmountData();
    return 0;
}
