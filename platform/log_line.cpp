#include "platform/log_line.h"

#include <cstdarg>

FILE* g_LogFile = nullptr;
char g_LogLine[256];

std::string withoutControls(std::string_view text)
{
    // A line feed inside a file name would otherwise forge a log line of its own.
    const bool endsLine = !text.empty() && text.back() == '\n';
    if (endsLine)
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size() + 1);
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    if (endsLine)
        out += '\n';
    return out;
}

void logLine(const char* format, ...)
{
    if (!g_LogFile)
        return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(g_LogLine, sizeof g_LogLine, format, args);
    va_end(args);
    if (n < 0)
        return;
    // A cut line still ends its line, so the next one starts on its own.
    if (static_cast<size_t>(n) >= sizeof g_LogLine)
        g_LogLine[sizeof g_LogLine - 2] = '\n';
    std::fputs(withoutControls(g_LogLine).c_str(), g_LogFile);
}
