#include "base/notice.h"

#include <cstdio>

namespace {
notice_sink g_sink = nullptr;
}

void set_notice_sink(notice_sink sink) { g_sink = sink; }

void notice(const char* text)
{
    if (g_sink)
        g_sink(text);
    else
        std::fprintf(stderr, "%s\n", text);
}
