#include "toc/fields.h"

#include <bit>
#include <cstring>
#include <limits>

namespace toc {

namespace {
    constexpr std::uint64_t Ones = 0x0101010101010101u;

    // High bit of each byte of `word` set exactly where that byte is a colon.
    inline std::uint64_t colonBits(std::uint64_t word) noexcept
    {
        constexpr std::uint64_t lows = Ones * 0x7f;
        const std::uint64_t x = word ^ (Ones * ':');
        return ~(((x & lows) + lows) | x | lows);
    }
}

FieldList splitFields(std::string_view text, std::size_t maxPieces)
{
    FieldList pieces;
    // Stops as soon as the last piece begins, so long message text is never walked.
    const std::size_t cuts = maxPieces == AllPieces ? text.size() : maxPieces - 1;
    const char* const base = text.data();
    const std::size_t n = text.size();
    std::size_t start = 0;
    std::size_t i = 0;
    auto cut = [&](std::size_t colon) {
        pieces.push(std::string_view(base + start, colon - start));
        start = colon + 1;
    };
    // Eight bytes per step, every colon of a step taken from one mask: message fields are a few
    // bytes long, too short for memchr to pay for its set-up.
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n && pieces.size() < cuts; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, base + i, 8);
            for (std::uint64_t hits = colonBits(word); hits && pieces.size() < cuts; hits &= hits - 1)
                cut(i + static_cast<std::size_t>(std::countr_zero(hits)) / 8);
        }
    }
    for (; i < n && pieces.size() < cuts; ++i) {
        if (base[i] == ':')
            cut(i);
    }
    pieces.push(std::string_view(base + start, n - start));
    return pieces;
}

std::string_view commandWord(std::string_view text) noexcept { return splitFields(text, 2)[0]; }

namespace {
    template <typename Int> std::optional<Int> readInt(std::string_view field) noexcept
    {
        const bool negative = !field.empty() && field.front() == '-';
        if (negative)
            field.remove_prefix(1);
        // Leading zeros are allowed, so only the digits after them count toward the width.
        while (field.size() > 1 && field.front() == '0')
            field.remove_prefix(1);
        if (field.empty() || field.size() > 10)
            return std::nullopt;
        long long value = 0;
        for (const char c : field) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        if (negative)
            value = -value;
        if (value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
            return std::nullopt;
        return static_cast<Int>(value);
    }
}

std::optional<std::int16_t> readInt16(std::string_view field) noexcept { return readInt<std::int16_t>(field); }

std::optional<std::int32_t> readInt32(std::string_view field) noexcept { return readInt<std::int32_t>(field); }

} // namespace toc
