#include "toc/encoding.h"

namespace toc {

namespace {
    constexpr std::string_view roastKey = "Tic/Toc";
    constexpr char hexDigits[] = "0123456789abcdef";
}

std::string RoastPassword(std::string_view password)
{
    std::string out;
    out.reserve(2 + 2 * password.size());
    out += "0x";
    for (std::size_t i = 0; i < password.size(); ++i) {
        const auto roasted = static_cast<unsigned char>(static_cast<unsigned char>(password[i])
            ^ static_cast<unsigned char>(roastKey[i % roastKey.size()]));
        out += hexDigits[roasted >> 4];
        out += hexDigits[roasted & 0x0f];
    }
    return out;
}

std::string NormalizeName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        if (c == ' ')
            continue;
        // ASCII only: a locale-dependent tolower would change high bytes of a Latin-1 or UTF-8
        // name.
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

std::string EscapeText(std::string_view text)
{
    // One pass gives the same result as replacing the backslash first and then each other
    // character: every special character gets exactly one backslash in front of it.
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        switch (c) {
        case '\\':
        case '$':
        case '"':
        case '(':
        case ')':
        case '[':
        case ']':
        case '{':
        case '}':
            out += '\\';
            break;
        default:
            break;
        }
        out += c;
    }
    return out;
}

std::string WordToBytes(std::int32_t n)
{
    // Out-of-range numbers keep their low 16 bits; the callers never pass one.
    const auto u = static_cast<std::uint32_t>(n);
    std::string out(2, '\0');
    out[0] = static_cast<char>((u >> 8) & 0xffu);
    out[1] = static_cast<char>(u & 0xffu);
    return out;
}

std::int32_t BytesToWord(std::string_view s)
{
    const std::int32_t hi = s.size() > 0 ? static_cast<unsigned char>(s[0]) : 0;
    const std::int32_t lo = s.size() > 1 ? static_cast<unsigned char>(s[1]) : 0;
    return hi * 256 + lo;
}

std::string RemoveHtml(std::string_view message)
{
    // One left-to-right pass: text before a "<" never holds another "<", so each search resumes
    // where the last cut ended and no byte is looked at twice.
    std::string out;
    out.reserve(message.size());
    std::size_t pos = 0;
    while (pos < message.size()) {
        const std::size_t open = message.find('<', pos);
        if (open == std::string_view::npos)
            break;
        const std::size_t close = message.find('>', open + 1);
        if (close == std::string_view::npos)
            break;
        out.append(message.substr(pos, open - pos));
        pos = close + 1;
    }
    out.append(message.substr(pos));
    return out;
}

} // namespace toc
