#pragma once
// The body of FlapReader::Feed, kept inline so the per-frame callback is not an indirect call.

#include <algorithm>
#include <utility>

namespace toc {

namespace flap_detail {
    inline std::size_t frameSize(const char* header) noexcept
    {
        const auto hi = static_cast<unsigned char>(header[4]);
        const auto lo = static_cast<unsigned char>(header[5]);
        return FlapHeaderSize + ((static_cast<std::size_t>(hi) << 8) | lo);
    }
}

template <typename OnFrame> bool FlapReader::Feed(std::string_view bytes, OnFrame&& onFrame)
{
    if (!m_partial.empty()) {
        if (m_partial.size() < FlapHeaderSize) {
            const std::size_t take = std::min(FlapHeaderSize - m_partial.size(), bytes.size());
            m_partial.append(bytes.data(), take);
            bytes.remove_prefix(take);
            if (m_partial.size() < FlapHeaderSize)
                return true;
        }
        const std::size_t total = flap_detail::frameSize(m_partial.data());
        const std::size_t take = std::min(total - m_partial.size(), bytes.size());
        m_partial.append(bytes.data(), take);
        bytes.remove_prefix(take);
        if (m_partial.size() < total)
            return true;
        // Move the frame out first: the callback may Clear() the reader under us.
        std::string frame;
        frame.swap(m_partial);
        if (!onFrame(std::string_view(frame)))
            return false;
    }
    while (bytes.size() >= FlapHeaderSize) {
        const std::size_t total = flap_detail::frameSize(bytes.data());
        if (bytes.size() < total)
            break;
        if (!onFrame(bytes.substr(0, total)))
            return false;
        bytes.remove_prefix(total);
    }
    if (!bytes.empty()) {
        if (bytes.size() >= FlapHeaderSize)
            m_partial.reserve(flap_detail::frameSize(bytes.data()));
        m_partial.assign(bytes.data(), bytes.size());
    }
    return true;
}

} // namespace toc
