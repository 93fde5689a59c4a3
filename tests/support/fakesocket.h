#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toc/socket.h"

namespace testing_support {

/// An in-memory Socket: the test decides when the connection comes up, what arrives and when it
/// fails; everything the control sends is kept in `sent` (one entry per SendData call).
class FakeSocket : public toc::Socket {
public:
    void Connect(const std::string& host, std::int32_t port) override;
    void Close() override;
    void SendData(std::string_view bytes) override;
    std::string GetData() override;
    toc::SocketState State() const override { return m_state; }

    /// Completes a pending Connect and raises onConnected.
    void CompleteConnect();
    /// Queues bytes and raises onDataArrival once (the control reads all of them).
    void Receive(std::string_view bytes);
    /// Raises onError with the description (the socket stays as it is until the control closes it).
    void Fail(const std::string& description);
    /// The peer closes: state Closed, then onClosedByPeer.
    void PeerClose();

    /// Every SendData call concatenated.
    std::string AllSent() const;
    /// Clears `sent`.
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

/// Splits a stream of frames written by the control into their payloads and types, for asserts.
struct SentFrame {
    int type = 0;
    int sequence = 0;
    std::string payload;
};
/// Parses `bytes` as back-to-back FLAP frames (after an optional "FLAPON\n\n").
std::vector<SentFrame> ParseFrames(std::string_view bytes);

/// "*", type, sequence, length and payload, written out by hand for test input (not by the code
/// under test).
std::string Frame(int type, std::string_view payload, int sequence = 0);
/// A type-2 frame with the payload as the server sends it (no trailing NUL).
inline std::string Data(std::string_view payload, int sequence = 0) { return Frame(2, payload, sequence); }

} // namespace testing_support
