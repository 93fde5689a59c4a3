#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tocli {

struct ServerAddress {
    std::string host;
    std::int32_t port = 0;
};

/// "HOST:PORT", "[IPv6]:PORT": the host non-empty, the port decimal 1..65535. nullopt otherwise.
std::optional<ServerAddress> ParseServerAddress(std::string_view text);

} // namespace tocli
