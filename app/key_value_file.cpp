#include "app/key_value_file.h"

#include "platform/bounded_file.h"

#include <iterator>
#include <sstream>

namespace
{

void takeLine(std::string line, KeyValueList& out)
{
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return;
    std::string key = line.substr(0, blank);
    std::string value = line.substr(blank + 1);
    if (key.size() > kMaxKeyLength)
        key.resize(kMaxKeyLength);
    if (value.size() > kMaxValueLength)
        value.resize(kMaxValueLength);
    out.emplace_back(std::move(key), std::move(value));
}

} // namespace

KeyValueList parseKeyValueStream(std::istream& in)
{
    KeyValueList out;
    std::string line;
    line.reserve(kMaxLineLength);
    std::istreambuf_iterator<char> it(in), end;
    while (it != end && out.size() < kMaxEntries) {
        // A physical line, or the next piece of one that does not fit the line buffer.
        line.clear();
        while (it != end && line.size() < kMaxLineLength) {
            char c = *it++;
            line.push_back(c);
            if (c == '\n')
                break;
        }
        takeLine(line, out);
    }
    return out;
}

KeyValueList parseKeyValueText(const std::string& text)
{
    std::istringstream in(text);
    return parseKeyValueStream(in);
}

KeyValueList readKeyValueFile(const std::string& path, std::string* why)
{
    std::string text;
    if (!files::readBoundedFile(path, kMaxKeyValueFileSize, text, why))
        return {};
    return parseKeyValueText(text);
}
