#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace toc {

/// Piece count meaning "every colon separates".
inline constexpr std::size_t AllPieces = 0;

/// The colon-separated pieces of one server message: piece 0 is the command word, piece k the
/// k-th field. Views point into the cut text, which must outlive the list. Up to InlineCuts colons
/// are remembered without allocating, enough for every fixed-count message.
class FieldList {
public:
    static constexpr std::size_t InlineCuts = 12;

    std::size_t size() const noexcept { return m_cuts + 1; }
    bool has(std::size_t k) const noexcept { return k <= m_cuts; }
    /// Piece k; empty for a piece the message does not have (check has() where that matters).
    std::string_view operator[](std::size_t k) const noexcept
    {
        if (k > m_cuts)
            return {};
        const std::size_t begin = k == 0 ? 0 : cut(k - 1) + 1;
        const std::size_t end = k == m_cuts ? m_text.size() : cut(k);
        return std::string_view(m_text.data() + begin, end - begin);
    }

private:
    friend FieldList splitFields(std::string_view text, std::size_t maxPieces);

    std::size_t cut(std::size_t j) const noexcept { return j < InlineCuts ? m_inline[j] : m_more[j - InlineCuts]; }

    std::string_view m_text;
    std::size_t m_cuts = 0;
    // Positions of the colons that end pieces. Left uninitialised: only the first m_cuts are read,
    // and clearing them would cost more than cutting a short message.
    std::size_t m_inline[InlineCuts];
    std::vector<std::size_t> m_more;
};

/// Cuts `text` at colons into at most `maxPieces` pieces (AllPieces: no limit). The last piece keeps
/// the rest of the text, colons included. Text without a colon is one piece; empty text is one
/// empty piece. Linear in the text.
FieldList splitFields(std::string_view text, std::size_t maxPieces);

/// The text up to its first colon (all of it when there is none).
std::string_view commandWord(std::string_view text) noexcept;

/// Reads a decimal integer: an optional leading "-" and at least one digit, nothing else. A "+",
/// spaces or any other byte anywhere, or a value outside the type, give nullopt. Leading zeros are
/// fine ("015" is 15).
std::optional<std::int16_t> readInt16(std::string_view field) noexcept;
std::optional<std::int32_t> readInt32(std::string_view field) noexcept;

namespace detail {
    template <typename Int>
    [[gnu::always_inline]] inline std::optional<Int> readInt(std::string_view field) noexcept
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

// Inline: returned out of line, the optional is written in two parts and read back whole, a
// store-forwarding stall that cost more than the parse on every buddy update.
inline std::optional<std::int16_t> readInt16(std::string_view field) noexcept
{
    return detail::readInt<std::int16_t>(field);
}
inline std::optional<std::int32_t> readInt32(std::string_view field) noexcept
{
    return detail::readInt<std::int32_t>(field);
}

} // namespace toc
