// The library's own diagnostic output: never the host's log.
#pragma once

#include <functional>
#include <string_view>

namespace bravik
{

// Formats like printf into 128 characters (cut at 127) and hands the text to the sink.
void diagPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

using DiagnosticSink = std::function<void(std::string_view text)>;

// Replaces the sink (an empty one restores the default) and returns the previous one.
// The default goes to syslog at debug level, or to stderr when BRAVIK_DEBUG is set.
DiagnosticSink setDiagnosticSink(DiagnosticSink sink);

} // namespace bravik
