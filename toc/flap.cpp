#include "toc/flap.h"

namespace toc {

std::string BuildFlapFrame(std::uint8_t type, std::uint16_t sequence, std::string_view payload)
{
    std::string frame;
    frame.reserve(FlapHeaderSize + payload.size());
    frame += '*';
    frame += static_cast<char>(type);
    frame += static_cast<char>(sequence >> 8);
    frame += static_cast<char>(sequence & 0xffu);
    frame += static_cast<char>((payload.size() >> 8) & 0xffu);
    frame += static_cast<char>(payload.size() & 0xffu);
    frame.append(payload);
    return frame;
}

void FlapReader::Clear() noexcept
{
    // Give the memory back too: a held partial frame may be up to 64 KiB.
    std::string().swap(m_partial);
}

} // namespace toc
