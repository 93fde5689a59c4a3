#include "tools/bytejson.h"

namespace tocli {

std::string Latin1ToUtf8(std::string_view bytes)
{
    std::string utf8;
    utf8.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (b >> 6));
            utf8 += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return utf8;
}

Json BytesToJson(std::string_view bytes)
{
    return Latin1ToUtf8(bytes);
}

std::optional<std::string> JsonToBytes(const Json& value)
{
    if (!value.is_string())
        return std::nullopt;
    // The JSON parser has already checked the UTF-8, so only the lead bytes need looking at: a
    // two-byte sequence with lead C2 or C3 is U+0080..U+00FF; every longer one is out of range.
    const auto& utf8 = value.get_ref<const std::string&>();
    std::string bytes;
    bytes.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            bytes += utf8[i];
        } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[i + 1]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            bytes += static_cast<char>(((b & 0x03) << 6) | (next & 0x3F));
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace tocli
