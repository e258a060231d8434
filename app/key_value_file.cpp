#include "app/key_value_file.h"

#include "platform/bounded_file.h"

#include <algorithm>
#include <climits>

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

std::string exeNameProblem(const std::string& name)
{
    if (name.empty())
        return "empty";
    if (name.size() > kMaxAppNameLength)
        return "longer than " + std::to_string(kMaxAppNameLength) + " bytes";
    if (name.find('/') != std::string::npos)
        return "holds a '/'";
    if (name == "." || name.find("..") != std::string::npos)
        return "holds '..' or is '.'";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return "holds a control character";
    return {};
}

bool parseTimeStampValue(const std::string& value, int& out)
{
    // "%d" without its overflow: leading blanks, a sign, digits; the rest is ignored.
    size_t i = value.find_first_not_of(" \t\r\n\v\f");
    if (i == std::string::npos)
        return false;
    bool negative = false;
    if (value[i] == '+' || value[i] == '-')
        negative = value[i++] == '-';
    if (i >= value.size() || value[i] < '0' || value[i] > '9')
        return false;
    long long n = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        n = std::min(limit, n * 10 + (value[i] - '0'));
    // Out of range saturates: still a non-zero value, which the stamp treats like any other.
    out = static_cast<int>(negative ? -n : n);
    return true;
}
