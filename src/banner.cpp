#include "banner.h"

#include "file.h"
#include "mem.h"

#include <cstdio>

static const char* const BannerFile = "srcdata/tidwtr.asc";

void banner_show(void)
{
    // The credits are printed whatever happens to the art: a datafile without it must not end
    // the program before them.
    int size = 0;
    char* text = file_getFileSize(BannerFile) >= 0 ? static_cast<char*>(file_readAll(BannerFile, &size)) : nullptr;
    if (text && size > 0) {
        std::fwrite(text, 1, static_cast<size_t>(size), stdout);
        if (text[size - 1] != '\n')
            std::fputc('\n', stdout);
    }
    mem_free(text);
    std::fputs("Code crunched by grimwheel & v0lta\n", stdout);
    std::fputs("Graphics pixelled by emberly & v0lta\n", stdout);
    std::fputs("Music tuned by pLume\n", stdout);
    std::fputs("-- http://www.cobaltmill.example\n", stdout);
    std::fflush(stdout);
}
