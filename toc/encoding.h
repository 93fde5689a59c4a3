#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace toc {

/// "0x" and two lower-case hex digits per byte, each byte XORed with the TOC key "Tic/Toc".
std::string RoastPassword(std::string_view password);
/// Lower-cases the ASCII letters and removes every space; every other byte stays.
std::string NormalizeName(std::string_view name);
/// Backslash-escapes \ $ " ( ) [ ] { } (the backslash first, so added ones are not doubled).
std::string EscapeText(std::string_view text);
/// Two bytes, high byte first. Defined for 0..65535.
std::string WordToBytes(std::int32_t n);
/// First byte * 256 + second byte; a missing byte counts as 0.
std::int32_t BytesToWord(std::string_view s);
/// Deletes every "<...>" run, left to right; a "<" with no ">" after it ends the stripping.
std::string RemoveHtml(std::string_view message);

} // namespace toc
