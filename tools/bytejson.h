#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tocli {

/// Objects keep their keys in insertion order, so lines read {"event":..., "args":...}.
using Json = nlohmann::ordered_json;

/// Latin-1 bytes as UTF-8: each byte becomes the code point of the same value.
std::string Latin1ToUtf8(std::string_view bytes);

/// Byte text as a JSON string: each byte becomes the code point of the same value (U+0000..U+00FF),
/// so any byte sequence, valid UTF-8 or not, survives the trip through JSON.
Json BytesToJson(std::string_view bytes);

/// The inverse of BytesToJson: nullopt when `value` is not a string or holds a code point above
/// U+00FF, which no single byte can carry.
std::optional<std::string> JsonToBytes(const Json& value);

} // namespace tocli
