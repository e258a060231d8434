#include "platform/display_text.h"

#include <string>

namespace platform
{
namespace
{

bool inRange(unsigned char c, unsigned char lo, unsigned char hi)
{
    return c >= lo && c <= hi;
}

// Length of the well-formed UTF-8 sequence at text[i]; 0 when there is none, with *skip set
// to the bytes of its longest valid beginning (at least 1), which one replacement stands for.
size_t sequenceAt(std::string_view text, size_t i, size_t* skip)
{
    const auto c = static_cast<unsigned char>(text[i]);
    *skip = 1;
    if (c < 0x80)
        return 1;
    size_t length = 0;
    unsigned char lo = 0x80, hi = 0xBF; // the range of the second byte
    if (inRange(c, 0xC2, 0xDF)) {
        length = 2;
    } else if (inRange(c, 0xE0, 0xEF)) {
        length = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (inRange(c, 0xF0, 0xF4)) {
        length = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if (i + k >= text.size())
            return 0;
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (!(k == 1 ? inRange(b, lo, hi) : inRange(b, 0x80, 0xBF)))
            return 0;
        *skip = k + 1;
    }
    return length;
}

} // namespace

wxString displayText(std::string_view bytes)
{
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string utf8;
    utf8.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        size_t skip = 1;
        const size_t n = sequenceAt(bytes, i, &skip);
        if (n > 0) {
            utf8.append(bytes.substr(i, n));
            i += n;
        } else {
            utf8 += kReplacement;
            i += skip;
        }
    }
    return wxString::FromUTF8(utf8.data(), utf8.size());
}

} // namespace platform
