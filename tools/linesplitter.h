#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tocli {

/// Cuts a byte stream that arrives in arbitrary pieces into lines. A line ends at LF; a CR before
/// the LF is dropped. Memory is bounded: a line longer than the limit is not kept but reported once
/// as an overflow, and the stream resumes after its LF.
class LineSplitter {
public:
    /// Return false to stop: the rest of the piece is dropped.
    using OnLine = std::function<bool(std::string_view line)>;
    using OnOverflow = std::function<bool()>;

    explicit LineSplitter(std::size_t maxLine);

    /// Hands over every line completed by `bytes`, in order. Returns false if a callback stopped it.
    bool Feed(std::string_view bytes, const OnLine& onLine, const OnOverflow& onOverflow);
    /// At end of input: the last line when it had no LF (nothing for an overflowing one).
    std::optional<std::string> Finish();

private:
    std::size_t m_maxLine;
    std::string m_partial;
    bool m_overflowing = false;
};

} // namespace tocli
