#include "tests/support/fakesocket.h"

namespace testing_support {

void FakeSocket::Connect(const std::string& host, std::int32_t port)
{
    lastHost = host;
    lastPort = port;
    ++connectCalls;
    m_state = toc::SocketState::Connecting;
}

void FakeSocket::Close()
{
    ++closeCalls;
    m_state = toc::SocketState::Closed;
    m_incoming.clear();
}

void FakeSocket::SendData(std::string_view bytes) { sent.emplace_back(bytes); }

std::string FakeSocket::GetData()
{
    std::string out;
    out.swap(m_incoming);
    return out;
}

void FakeSocket::CompleteConnect()
{
    m_state = toc::SocketState::Connected;
    if (onConnected)
        onConnected();
}

void FakeSocket::Receive(std::string_view bytes)
{
    m_incoming.append(bytes);
    if (onDataArrival)
        onDataArrival();
}

void FakeSocket::Fail(const std::string& description)
{
    if (onError)
        onError(description);
}

void FakeSocket::PeerClose()
{
    m_state = toc::SocketState::Closed;
    if (onClosedByPeer)
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
    if (bytes.substr(0, 8) == std::string_view("FLAPON\n\n"))
        bytes.remove_prefix(8);
    auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    while (bytes.size() >= 6) {
        const std::size_t len = static_cast<std::size_t>(byteAt(4) * 256 + byteAt(5));
        if (bytes.size() < 6 + len)
            break;
        frames.push_back({ byteAt(1), byteAt(2) * 256 + byteAt(3), std::string(bytes.substr(6, len)) });
        bytes.remove_prefix(6 + len);
    }
    return frames;
}

std::string Frame(int type, std::string_view payload, int sequence)
{
    std::string f;
    f += '*';
    f += static_cast<char>(type & 0xff);
    f += static_cast<char>((sequence >> 8) & 0xff);
    f += static_cast<char>(sequence & 0xff);
    f += static_cast<char>((payload.size() >> 8) & 0xff);
    f += static_cast<char>(payload.size() & 0xff);
    f.append(payload);
    return f;
}

} // namespace testing_support
