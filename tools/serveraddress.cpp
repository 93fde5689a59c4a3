#include "tools/serveraddress.h"

#include <charconv>

namespace tocli {

std::optional<ServerAddress> ParseServerAddress(std::string_view text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos)
        return std::nullopt; // a bare IPv6 address is ambiguous; it needs brackets
    if (host.empty() || port.empty() || port.size() > 5)
        return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (error != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
        return std::nullopt;
    return ServerAddress { std::string(host), value };
}

} // namespace tocli
