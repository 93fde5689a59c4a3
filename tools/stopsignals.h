#pragma once

#include <functional>
#include <memory>

#include <QSocketNotifier>

namespace tocli {

/// Turns SIGTERM and SIGINT into a call on the event loop: the handler only writes a byte to a
/// pipe that the loop watches, so nothing runs inside the signal handler and nothing polls.
/// One instance per process.
class StopSignals {
public:
    explicit StopSignals(std::function<void(int signal)> onSignal);
    ~StopSignals();

private:
    void onReadable();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tocli
