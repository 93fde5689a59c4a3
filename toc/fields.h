#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace toc {

/// Piece count meaning "every colon separates".
inline constexpr std::size_t AllPieces = 0;

/// The colon-separated pieces of one server message: piece 0 is the command word, piece k the
/// k-th field. Views point into the cut text, which must outlive the list. Up to InlinePieces
/// pieces are held without allocating, enough for every fixed-count message.
class FieldList {
public:
    static constexpr std::size_t InlinePieces = 12;

    std::size_t size() const noexcept { return m_size; }
    bool has(std::size_t k) const noexcept { return k < m_size; }
    /// Piece k; empty for a piece the message does not have (check has() where that matters).
    std::string_view operator[](std::size_t k) const noexcept
    {
        if (k >= m_size)
            return {};
        if (k >= InlinePieces)
            return m_more[k - InlinePieces];
        return std::string_view(m_inline[k].data, m_inline[k].size);
    }

    void push(std::string_view piece)
    {
        if (m_size < InlinePieces)
            m_inline[m_size] = { piece.data(), piece.size() };
        else
            m_more.push_back(piece);
        ++m_size;
    }

private:
    // Left uninitialised: only the first m_size entries are ever read, and clearing them would
    // cost more than cutting a short message.
    struct Piece {
        const char* data;
        std::size_t size;
    };
    Piece m_inline[InlinePieces];
    std::vector<std::string_view> m_more;
    std::size_t m_size = 0;
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

} // namespace toc
