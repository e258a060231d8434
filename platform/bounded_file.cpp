#include "platform/bounded_file.h"

#include "platform/file_ops.h"

#include <algorithm>
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

namespace
{

// A regular file opened for reading, its size in *size; -1 with *why set otherwise.
int openRegular(const std::string& path, off_t* size, std::string* why)
{
    if (path.empty()) {
        fail(why, "no file name");
        return -1;
    }
    // Non-blocking, so that a FIFO or a device node is refused below instead of waiting.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        fail(why, std::strerror(errno));
        return -1;
    }
    struct stat st {
    };
    const char* problem = ::fstat(fd, &st) != 0  ? std::strerror(errno)
                          : S_ISDIR(st.st_mode)  ? "is a folder, not a file"
                          : !S_ISREG(st.st_mode) ? "is not a regular file"
                                                 : nullptr;
    if (problem) {
        fail(why, problem);
        ::close(fd);
        return -1;
    }
    *size = st.st_size;
    return fd;
}

// Appends up to limit + 1 bytes to out: one more than the limit tells that the file goes on.
bool readUpTo(int fd, size_t limit, std::string& out, std::string* why)
{
    char buf[8192];
    while (out.size() <= limit) {
        const size_t want = std::min(sizeof buf, limit + 1 - out.size());
        const ssize_t n = ::read(fd, buf, want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            out.clear();
            return fail(why, std::strerror(e));
        }
        if (n == 0)
            break;
        out.append(buf, size_t(n));
    }
    return true;
}

} // namespace

bool readBoundedFile(const std::string& path, size_t maxBytes, std::string& out, std::string* why)
{
    out.clear();
    off_t size = 0;
    Fd fd(openRegular(path, &size, why));
    if (fd.get() < 0)
        return false;
    if (size > 0 && static_cast<unsigned long long>(size) > maxBytes)
        return fail(why, "is larger than " + sizeText(maxBytes));
    // The size is checked again while reading: the file may grow, and sysfs reports a
    // nominal size.
    if (!readUpTo(fd.get(), maxBytes, out, why))
        return false;
    if (out.size() > maxBytes) {
        out.clear();
        return fail(why, "is larger than " + sizeText(maxBytes));
    }
    return true;
}

bool readFileHead(const std::string& path, size_t maxBytes, std::string& out, std::string* why)
{
    out.clear();
    off_t size = 0;
    Fd fd(openRegular(path, &size, why));
    if (fd.get() < 0 || !readUpTo(fd.get(), maxBytes, out, why))
        return false;
    out.resize(std::min(out.size(), maxBytes));
    return true;
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
