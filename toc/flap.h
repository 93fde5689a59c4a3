#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace toc {

/// FLAP frame layout: "*", type, sequence (2 bytes), payload length (2 bytes), payload.
inline constexpr std::size_t FlapHeaderSize = 6;
inline constexpr std::size_t FlapMaxFrameSize = FlapHeaderSize + 65535;

/// Builds one frame: marker, type, sequence and length high byte first, payload. The caller keeps
/// the payload within 65,535 bytes.
std::string BuildFlapFrame(std::uint8_t type, std::uint16_t sequence, std::string_view payload);

/// Cuts a received byte stream into whole FLAP frames. Framing trusts the length field alone; the
/// marker byte is not checked. At most one partial frame is held between reads.
class FlapReader {
public:
    /// Hands every whole frame in (held partial frame + `bytes`) to `onFrame(std::string_view)`, in
    /// order, each before the next is cut. The view lives only for the call. When `onFrame` returns
    /// false, cutting stops at once, the rest of `bytes` is dropped and nothing more is held; it
    /// returns false then. Linear in the input: the unread remainder is never re-copied per frame.
    template <typename OnFrame> bool Feed(std::string_view bytes, OnFrame&& onFrame);

    /// Forgets the partial frame.
    void Clear() noexcept;
    /// Bytes of the partial frame held (never more than FlapMaxFrameSize - 1).
    std::size_t Buffered() const noexcept { return m_partial.size(); }

private:
    std::string m_partial;
};

} // namespace toc

#include "toc/flap_impl.h"
