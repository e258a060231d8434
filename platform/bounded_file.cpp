#include "platform/bounded_file.h"

#include "platform/file_ops.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files
{
namespace
{

std::string sizeText(size_t bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

bool fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

bool readBoundedFile(const std::string& path, size_t maxBytes, std::string& out, std::string* why)
{
    out.clear();
    if (path.empty())
        return fail(why, "no file name");
    // Non-blocking, so that a FIFO or a device node is refused below instead of waiting.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0)
        return fail(why, std::strerror(errno));
    struct stat st {
    };
    if (::fstat(fd.get(), &st) != 0)
        return fail(why, std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return fail(why, "is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return fail(why, "is not a regular file");
    if (st.st_size > 0 && static_cast<unsigned long long>(st.st_size) > maxBytes)
        return fail(why, "is larger than " + sizeText(maxBytes));
    // The size is checked again while reading: the file may grow, and sysfs reports a
    // nominal size.
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            out.clear();
            return fail(why, std::strerror(e));
        }
        if (n == 0)
            return true;
        if (out.size() + size_t(n) > maxBytes) {
            out.clear();
            return fail(why, "is larger than " + sizeText(maxBytes));
        }
        out.append(buf, size_t(n));
    }
}

std::string refusal(const std::string& path, const std::string& why)
{
    return printable(path) + ": " + printable(why);
}

namespace
{

// The length of the well-formed UTF-8 sequence at text[i] that is not a C1 control, or 0.
size_t utf8Length(std::string_view text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c >= 0xC2 && c <= 0xDF   ? 2
               : c >= 0xE0 && c <= 0xEF ? 3
               : c >= 0xF0 && c <= 0xF4 ? 4
                                        : 0;
    if (n == 0 || i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    const unsigned char c1 = static_cast<unsigned char>(text[i + 1]);
    if ((c == 0xC2 && c1 < 0xA0) || (c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) ||
        (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))
        return 0; // C1 controls, overlong forms, surrogates, beyond U+10FFFF
    return n;
}

} // namespace

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
            ++i;
            continue;
        }
        if (c == '\\') {
            out += "\\\\";
            ++i;
            continue;
        }
        if (const size_t n = c >= 0x80 ? utf8Length(text, i) : 0) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
        ++i;
    }
    return out;
}

} // namespace files
