// The program's log: one open file and the printf-style line every room writes to it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

extern FILE* g_LogFile;     // log.txt while it is open, else null (nothing is logged)
extern char g_LogLine[256]; // the last line formatted, cut to fit

// The text with control characters written as \xHH (a final line feed kept), so a file name
// or a title cannot break a log line or a window title.
std::string withoutControls(std::string_view text);

// One log line, printf-style; control characters in it are escaped (see above); nothing happens
// without a log. Overlong lines are cut.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
