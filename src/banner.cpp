#include "banner.h"

#include "file.h"
#include "mem.h"

#include <cstdio>

static const char* const BannerFile = "srcdata/tidwtr.asc";

void banner_show(void)
{
    int size = 0;
    char* text = static_cast<char*>(file_readAll(BannerFile, &size));
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
