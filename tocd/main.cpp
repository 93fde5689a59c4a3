#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "tocd/server.h"
#include "tocd/service.h"

namespace {

constexpr std::string_view usage
    = "usage: tocd [--listen HOST:PORT] [--keepalive SECONDS] [--bot NAME] [--no-rate-limits]"
      " [--signon-limit BURST,PER_MINUTE]\n"
      "  --no-rate-limits  accept commands at any speed (load tests, benchmarks); by default\n"
      "                    they are metered as today's servers do: ERROR:903, then disconnect\n"
      "  --signon-limit BURST,PER_MINUTE\n"
      "                    refuse a screen name's sign-ons beyond BURST in a row and then\n"
      "                    PER_MINUTE a minute with ERROR:983, and close (default: no limit)\n";

std::optional<unsigned> parseNumber(std::string_view s, unsigned max)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value > max)
        return std::nullopt;
    return value;
}

// Whole seconds, or with up to three decimals ("0.001"): a short period lets a soak test see tens
// of thousands of keep-alives in a minute.
std::optional<std::chrono::milliseconds> parseKeepAlive(std::string_view s)
{
    const std::size_t dot = s.find('.');
    const std::optional<unsigned> whole = parseNumber(s.substr(0, dot), 86400 * 365);
    if (!whole)
        return std::nullopt;
    unsigned millis = 0;
    if (dot != std::string_view::npos) {
        const std::string_view fraction = s.substr(dot + 1);
        const std::optional<unsigned> digits = parseNumber(fraction, 999);
        if (!digits || fraction.size() > 3)
            return std::nullopt;
        millis = *digits;
        for (std::size_t i = fraction.size(); i < 3; ++i)
            millis *= 10;
    }
    return std::chrono::seconds(*whole) + std::chrono::milliseconds(millis);
}

std::optional<asio::ip::tcp::endpoint> parseListen(std::string_view text, asio::io_context& io)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::optional<unsigned> port = parseNumber(text.substr(colon + 1), 65535);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!port || host.empty())
        return std::nullopt;
    std::error_code ec;
    const asio::ip::address address = asio::ip::make_address(std::string(host), ec);
    if (!ec)
        return asio::ip::tcp::endpoint(address, static_cast<unsigned short>(*port));
    asio::ip::tcp::resolver resolver(io);
    const auto results = resolver.resolve(std::string(host), std::to_string(*port), ec);
    if (ec || results.empty())
        return std::nullopt;
    return results.begin()->endpoint();
}

// Every client is a descriptor; the soft limit is usually far below what thousands need.
void raiseDescriptorLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string listen = "127.0.0.1:5190";
    std::chrono::milliseconds keepAlive = std::chrono::seconds(60);
    std::string bot;
    bool rateLimits = true;
    unsigned signonBurst = 0, signonsPerMinute = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            return 0;
        }
        if (arg == "--no-rate-limits") {
            rateLimits = false;
            continue;
        }
        if (!hasValue
            || (arg != "--listen" && arg != "--keepalive" && arg != "--bot"
                && arg != "--signon-limit")) {
            std::cerr << "tocd: " << (hasValue ? "unknown option " : "missing value for ") << arg
                      << "\n"
                      << usage;
            return 2;
        }
        const std::string_view value = argv[++i];
        if (arg == "--listen") {
            listen = value;
        } else if (arg == "--keepalive") {
            const std::optional<std::chrono::milliseconds> period = parseKeepAlive(value);
            if (!period) {
                std::cerr << "tocd: --keepalive takes a number of seconds, not " << value << "\n";
                return 2;
            }
            keepAlive = *period;
        } else if (arg == "--signon-limit") {
            const std::size_t comma = value.find(',');
            const std::optional<unsigned> burst = parseNumber(value.substr(0, comma), 1000000);
            const std::optional<unsigned> perMinute = comma == std::string_view::npos
                ? std::nullopt
                : parseNumber(value.substr(comma + 1), 60000);
            if (!burst || !perMinute || *burst == 0 || *perMinute == 0) {
                std::cerr
                    << "tocd: --signon-limit takes BURST,PER_MINUTE (whole numbers from 1), not "
                    << value << "\n";
                return 2;
            }
            signonBurst = *burst;
            signonsPerMinute = *perMinute;
        } else {
            if (!tocd::Service::validScreenName(value)) {
                std::cerr << "tocd: --bot needs a screen name (letters, digits, spaces, . _ @ -)\n";
                return 2;
            }
            bot = value;
        }
    }
    // The service outlives the event loop: connections still queued in it sign off on the way out.
    tocd::Service service(
        tocd::Service::Options { bot, {}, {}, rateLimits, signonBurst, signonsPerMinute });
    asio::io_context io(1);
    const std::optional<asio::ip::tcp::endpoint> endpoint = parseListen(listen, io);
    if (!endpoint) {
        std::cerr << "tocd: --listen takes HOST:PORT, not " << listen << "\n";
        return 2;
    }

    raiseDescriptorLimit();
    std::signal(SIGPIPE, SIG_IGN);

    try {
        tocd::Server server(io, service, *endpoint, keepAlive);
        const asio::ip::tcp::endpoint local = server.localEndpoint();
        const std::string host = local.address().is_v6() ? "[" + local.address().to_string() + "]"
                                                         : local.address().to_string();
        std::cout << "listening on " << host << ":" << local.port() << std::endl;

        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](std::error_code ec, int) {
            if (!ec)
                server.shutdown();
        });
        io.run();
    } catch (const std::exception& e) {
        std::cerr << "tocd: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
