// Read-only access to configuration a device driver left on the machine.
#pragma once

#include <optional>
#include <string>

namespace platform
{

class Registry
{
public:
    virtual ~Registry() = default;
    // A string value under a key (e.g. "Software\USB2800\TwainDS", "RealDSName").
    virtual std::optional<std::string> readString(const std::string& key,
                                                  const std::string& value) = 0;
};

} // namespace platform
