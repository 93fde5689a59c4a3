#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <QString>

/// The TOC server the main window signs on to.
struct ServerAddress {
    std::string host = "127.0.0.1";
    std::int32_t port = 5190;
};

/// Reads "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT"; the port defaults to 5190 and must be
/// 1..65535. Anything else (empty host, stray colons, junk in the port) gives nullopt.
std::optional<ServerAddress> ParseServerAddress(const QString& text);
