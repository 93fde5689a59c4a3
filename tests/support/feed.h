#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tests/support/eventrecorder.h"
#include "tests/support/fakesocket.h"
#include "toc/orbtocsock.h"

namespace testing_support {

/// A control signed on as "Joe" (password "pass", server "toc.test", port 5190) to a fake socket
/// that is connected and has nothing sent yet, with a recorder as its host.
struct Session {
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// Signs on again (password "pass" to toc.test:5190) up to a connected socket with nothing sent.
    void SignOn(const std::string& name = "Joe");
    /// Hands `bytes` to the control in one read.
    void Receive(const std::string& bytes) { sock->Receive(bytes); }

    EventRecorder rec;
    FakeSocket* sock = nullptr;
    std::unique_ptr<toc::OrbTOCSock> toc;
};

struct FeedOptions {
    /// Log IncomingPacket lines too.
    bool logPackets = false;
    /// Runs on each fresh session before the bytes arrive (joined rooms, a re-entering host...).
    std::function<void(Session&)> prepare;
    /// Runs on each session after the bytes arrived; what it returns is added to the log, so a
    /// test can compare state (the chat table, LastChatID) across every way of feeding.
    std::function<std::string(Session&)> probe;
};

struct FeedResult {
    std::string log;   ///< the recorder's lines, each ended by "\n"
    std::string sent;  ///< every byte the control sent while the input arrived
};

/// Options whose host calls `action` on the session after each `event` it logs.
FeedOptions OnEvent(const std::string& event, std::function<void(Session&)> action);

/// Feeds `bytes` to a fresh session whole, then byte by byte, then split in two at every offset,
/// and checks (as gtest failures) that every run gives the whole run's log and sent bytes, which it
/// returns.
FeedResult FeedEveryWay(const std::string& bytes, const FeedOptions& options = {});

} // namespace testing_support
