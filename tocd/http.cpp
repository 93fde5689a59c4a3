#include "tocd/http.h"

#include <optional>

#include "toc/encoding.h"
#include "tocd/hex.h"
#include "tocd/service.h"

namespace tocd {

namespace {

    std::string response(std::string_view status, std::string_view body, bool withBody)
    {
        std::string out = "HTTP/1.1 ";
        out += status;
        out += "\r\nContent-Type: text/html\r\nContent-Length: ";
        out += std::to_string(body.size());
        out += "\r\nConnection: close\r\n\r\n";
        if (withBody)
            out += body;
        return out;
    }

    std::string page(std::string_view status)
    {
        std::string body = "<html><body><h1>";
        body += status;
        body += "</h1></body></html>\n";
        return body;
    }

    std::optional<std::string> percentDecode(std::string_view s)
    {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '+') {
                out += ' ';
            } else if (s[i] == '%') {
                if (i + 2 >= s.size())
                    return std::nullopt;
                const int hi = hexValue(s[i + 1]);
                const int lo = hexValue(s[i + 2]);
                if (hi < 0 || lo < 0)
                    return std::nullopt;
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
            } else {
                out += s[i];
            }
        }
        return out;
    }

    std::optional<std::string> queryValue(std::string_view query, std::string_view key)
    {
        while (!query.empty()) {
            const std::size_t amp = query.find('&');
            const std::string_view pair = query.substr(0, amp);
            query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
            const std::size_t eq = pair.find('=');
            if (eq != std::string_view::npos && pair.substr(0, eq) == key)
                return percentDecode(pair.substr(eq + 1));
        }
        return std::nullopt;
    }

} // namespace

std::string HttpResponse(std::string_view head, const Service& service)
{
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);

    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || !line.substr(sp2 + 1).starts_with("HTTP/"))
        return response("400 Bad Request", page("400 Bad Request"), true);
    const std::string_view method = line.substr(0, sp1);
    const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly)
        return response("405 Method Not Allowed", page("405 Method Not Allowed"), true);

    const std::size_t q = target.find('?');
    const std::string_view path = target.substr(0, q);
    const std::string_view query
        = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
    if (path != "/info")
        return response("404 Not Found", page("404 Not Found"), !headOnly);
    const std::optional<std::string> user = queryValue(query, "user");
    if (!user)
        return response("400 Bad Request", page("400 Bad Request"), !headOnly);
    const std::optional<std::string> profile = service.profileOf(toc::NormalizeName(*user));
    if (!profile)
        return response("404 Not Found", page("404 Not Found"), !headOnly);
    return response("200 OK", *profile, !headOnly);
}

std::string HttpHeadTooLarge()
{
    return response(
        "431 Request Header Fields Too Large", page("431 Request Header Fields Too Large"), true);
}

} // namespace tocd
