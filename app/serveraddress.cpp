#include "app/serveraddress.h"

namespace {

std::optional<std::int32_t> parsePort(const QString& text)
{
    // toUInt would take "+80" and surrounding blanks; a port is digits only.
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

std::optional<ServerAddress> ParseServerAddress(const QString& text)
{
    QString host;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return std::nullopt;
            port = rest.mid(1);
            if (port.isEmpty())
                return std::nullopt;
        }
    } else {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            host = text;
        } else {
            host = text.left(colon);
            port = text.mid(colon + 1);
            if (port.isEmpty() || port.contains(QLatin1Char(':')))
                return std::nullopt;
        }
    }
    if (host.isEmpty() || host.contains(QLatin1Char(' ')))
        return std::nullopt;

    ServerAddress address;
    const QByteArray hostBytes = host.toUtf8();
    address.host.assign(hostBytes.constData(), static_cast<std::size_t>(hostBytes.size()));
    if (!port.isEmpty()) {
        const auto number = parsePort(port);
        if (!number)
            return std::nullopt;
        address.port = *number;
    }
    return address;
}
