#include "bravik/core/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <syslog.h>

namespace bravik
{
namespace
{

std::mutex g_sinkMutex;
DiagnosticSink g_sink;
// syslog wants whole lines; prints arrive in pieces. A plain buffer, which static
// destruction leaves alone: a request a host left behind when it quit (a unit that does not
// answer) may still print while the host exits.
char g_pending[512];
size_t g_pendingLength = 0;

void flushPending()
{
    syslog(LOG_DEBUG, "%.*s", static_cast<int>(g_pendingLength), g_pending);
    g_pendingLength = 0;
}

bool wantsStderr()
{
    const char* v = std::getenv("BRAVIK_DEBUG");
    return v && *v && std::strcmp(v, "0") != 0;
}

void defaultSink(std::string_view text)
{
    if (wantsStderr()) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        return;
    }
    for (const char c : text) {
        if (c == '\n') {
            flushPending();
            continue;
        }
        if (g_pendingLength == sizeof g_pending)
            flushPending();
        g_pending[g_pendingLength++] = c;
    }
}

} // namespace

void diagPrint(const char* format, ...)
{
    char text[128];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        return;
    std::string_view out(text, std::strlen(text));
    std::lock_guard lock(g_sinkMutex);
    if (g_sink)
        g_sink(out);
    else
        defaultSink(out);
}

DiagnosticSink setDiagnosticSink(DiagnosticSink sink)
{
    std::lock_guard lock(g_sinkMutex);
    std::swap(g_sink, sink);
    return sink;
}

} // namespace bravik
