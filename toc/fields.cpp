#include "toc/fields.h"

#include <cstring>
#include <limits>

namespace toc {

void FieldList::push(std::string_view piece)
{
    if (m_size < InlinePieces)
        m_inline[m_size] = piece;
    else
        m_more.push_back(piece);
    ++m_size;
}

FieldList splitFields(std::string_view text, std::size_t maxPieces)
{
    FieldList pieces;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (maxPieces == AllPieces || pieces.size() + 1 < maxPieces) {
        const auto* colon = static_cast<const char*>(std::memchr(p, ':', static_cast<std::size_t>(end - p)));
        if (!colon)
            break;
        pieces.push(std::string_view(p, static_cast<std::size_t>(colon - p)));
        p = colon + 1;
    }
    pieces.push(std::string_view(p, static_cast<std::size_t>(end - p)));
    return pieces;
}

std::string_view commandWord(std::string_view text) noexcept
{
    const auto colon = text.find(':');
    return colon == std::string_view::npos ? text : text.substr(0, colon);
}

namespace {
    // Accumulates as a negative number so the most negative value of the type reads too.
    template <typename Int> std::optional<Int> readInt(std::string_view field) noexcept
    {
        const bool negative = !field.empty() && field.front() == '-';
        if (negative)
            field.remove_prefix(1);
        if (field.empty())
            return std::nullopt;
        constexpr long long lowest = std::numeric_limits<Int>::min();
        constexpr long long highest = std::numeric_limits<Int>::max();
        long long value = 0;
        for (const char c : field) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 - (c - '0');
            if (value < lowest)
                return std::nullopt;
        }
        if (!negative) {
            if (-value > highest)
                return std::nullopt;
            value = -value;
        }
        return static_cast<Int>(value);
    }
}

std::optional<std::int16_t> readInt16(std::string_view field) noexcept { return readInt<std::int16_t>(field); }

std::optional<std::int32_t> readInt32(std::string_view field) noexcept { return readInt<std::int32_t>(field); }

} // namespace toc
