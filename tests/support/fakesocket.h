#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toc/socket.h"

namespace testing_support {

/// An in-memory Socket: the test decides when the connection comes up, what arrives and when it
/// fails; everything the control sends is kept in `sent`, one entry per SendData call.
class FakeSocket : public toc::Socket {
public:
    void Connect(const std::string& host, std::int32_t port) override
    {
        lastHost = host;
        lastPort = port;
        ++connectCalls;
        m_state = toc::SocketState::Connecting;
    }
    void Close() override
    {
        ++closeCalls;
        m_state = toc::SocketState::Closed;
        m_incoming.clear();
    }
    void SendData(std::string_view bytes) override { sent.emplace_back(bytes); }
    std::string GetData() override { return std::exchange(m_incoming, {}); }
    toc::SocketState State() const override { return m_state; }

    /// Completes a pending Connect (only one: a closed socket cannot come up).
    void CompleteConnect();
    /// Queues bytes and raises onDataArrival once.
    void Receive(std::string_view bytes);
    /// Raises onError; the state stays until the control closes.
    void Fail(const std::string& description) { onError(description); }
    /// The peer closes: state Closed, then onClosedByPeer.
    void PeerClose();
    std::string AllSent() const;
    void ClearSent() { sent.clear(); }

    std::vector<std::string> sent;
    std::string lastHost;
    std::int32_t lastPort = 0;
    int connectCalls = 0;
    int closeCalls = 0;

private:
    toc::SocketState m_state = toc::SocketState::Closed;
    std::string m_incoming;
};

struct SentFrame {
    int type = 0;
    int sequence = 0;
    std::string payload;
};
/// Cuts back-to-back FLAP frames (after an optional "FLAPON\n\n").
std::vector<SentFrame> ParseFrames(std::string_view bytes);

/// A frame written out by hand for test input, not by the code under test.
std::string Frame(int type, std::string_view payload, int sequence = 0);
/// A data frame as a server sends it (no trailing NUL).
inline std::string Data(std::string_view payload, int sequence = 0) { return Frame(2, payload, sequence); }

} // namespace testing_support
