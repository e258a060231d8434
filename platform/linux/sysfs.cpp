#include "platform/linux/sysfs.h"

#include "platform/bounded_file.h"

#include <charconv>

namespace platform
{

namespace fs = std::filesystem;

std::optional<std::string> readAttribute(const fs::path& file)
{
    // Attributes are one short line; a tree that is not sysfs may hold anything.
    std::string text;
    if (!files::readBoundedFile(file.string(), 4096, text))
        return std::nullopt;
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.pop_back();
    return line;
}

namespace
{
std::optional<uint32_t> parse(const std::string& s, int base, size_t maxDigits)
{
    size_t start = 0;
    while (start < s.size() && s[start] == ' ')
        ++start; // sysfs right-aligns some numbers ("bNumInterfaces" is " 1")
    std::string t = s.substr(start);
    if (t.empty() || t.size() > maxDigits)
        return std::nullopt;
    uint32_t v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return std::nullopt;
    return v;
}
} // namespace

std::optional<uint32_t> readHexAttribute(const fs::path& file, int maxDigits)
{
    auto s = readAttribute(file);
    return s ? parse(*s, 16, static_cast<size_t>(maxDigits)) : std::nullopt;
}

std::optional<uint32_t> readDecimalAttribute(const fs::path& file)
{
    auto s = readAttribute(file);
    return s ? parse(*s, 10, 9) : std::nullopt;
}

fs::path usbDeviceAbove(const fs::path& start, const fs::path& limit)
{
    std::error_code ec;
    fs::path p = fs::canonical(start, ec);
    if (ec)
        return {};
    fs::path top = fs::weakly_canonical(limit, ec);
    // A USB interface sits one level below its device; allow a few levels for nested
    // functions, never above the tree we were given.
    for (int depth = 0; depth < 6 && !p.empty(); ++depth) {
        auto rel = p.lexically_relative(top);
        if (rel.empty() || *rel.begin() == "..")
            return {};
        if (fs::exists(p / "idVendor", ec) && fs::exists(p / "idProduct", ec))
            return p;
        if (p == p.parent_path())
            break;
        p = p.parent_path();
    }
    return {};
}

} // namespace platform
