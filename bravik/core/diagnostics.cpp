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
std::string g_pendingLine; // syslog wants whole lines; prints arrive in pieces

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
    g_pendingLine.append(text);
    size_t end;
    while ((end = g_pendingLine.find('\n')) != std::string::npos) {
        syslog(LOG_DEBUG, "%s", g_pendingLine.substr(0, end).c_str());
        g_pendingLine.erase(0, end + 1);
    }
    if (g_pendingLine.size() > 512) {
        syslog(LOG_DEBUG, "%s", g_pendingLine.c_str());
        g_pendingLine.clear();
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
