#include "platform/user_dirs.h"

#include <sstream>

namespace platform
{

std::string documentsEntry(const std::string& text, const std::string& home)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        size_t k = line.find_first_not_of(" \t");
        if (k == std::string::npos || line.compare(k, key.size(), key) != 0)
            continue;
        std::string v = line.substr(k + key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
            v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0)
            v = home + v.substr(5);
        if (!v.empty() && v[0] == '/')
            return v;
    }
    return {};
}

} // namespace platform
