#include "tests/support/fakesocket.h"

namespace testing_support {

void FakeSocket::CompleteConnect()
{
    if (m_state != toc::SocketState::Connecting)
        return;
    m_state = toc::SocketState::Connected;
    onConnected();
}

void FakeSocket::Receive(std::string_view bytes)
{
    m_incoming.append(bytes);
    if (onDataArrival)
        onDataArrival();
}

void FakeSocket::PeerClose()
{
    m_state = toc::SocketState::Closed;
    onClosedByPeer();
}

std::string FakeSocket::AllSent() const
{
    std::string all;
    for (const auto& s : sent)
        all += s;
    return all;
}

std::vector<SentFrame> ParseFrames(std::string_view bytes)
{
    std::vector<SentFrame> frames;
    if (bytes.starts_with("FLAPON\n\n"))
        bytes.remove_prefix(8);
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    while (bytes.size() >= 6 && bytes.size() >= 6u + at(4) * 256u + at(5)) {
        const std::size_t len = at(4) * 256u + at(5);
        frames.push_back({ at(1), at(2) * 256 + at(3), std::string(bytes.substr(6, len)) });
        bytes.remove_prefix(6 + len);
    }
    return frames;
}

std::string Frame(int type, std::string_view payload, int sequence)
{
    const std::size_t n = payload.size();
    return std::string { '*', static_cast<char>(type), static_cast<char>(sequence >> 8), static_cast<char>(sequence),
               static_cast<char>(n >> 8), static_cast<char>(n) }
        + std::string(payload);
}

} // namespace testing_support
