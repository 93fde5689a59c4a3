#pragma once

#include <string>

#include <QObject>
#include <QTimer>

namespace toc {
class ConnectionKeeper;
}

namespace tocli {

/// The account's state in a few words: "Online as NAME since HH:MM", "Signing on",
/// "Reconnecting: attempt N in S s (last error)", "Waiting for the network".
std::string StatusLine(const toc::ConnectionKeeper& keeper);

/// Tells systemd how toc-cli is doing when a unit of Type=notify runs it (NOTIFY_SOCKET is set);
/// otherwise does nothing. The watchdog is fed from the event loop, so a wedged loop is noticed.
class SystemdNotifier : public QObject {
public:
    explicit SystemdNotifier(QObject* parent = nullptr);

    bool Active() const { return m_active; }
    /// READY=1 with the status, and the watchdog from now on.
    void Ready(const std::string& status);
    /// STATUS=, when it differs from the last one sent.
    void Status(const std::string& status);
    /// STOPPING=1; the watchdog stops.
    void Stopping();

    QTimer& WatchdogTimer() { return m_watchdog; }

private:
    void send(const std::string& state);

    QTimer m_watchdog;
    std::string m_status;
    bool m_active = false;
    bool m_ready = false;
    bool m_failed = false;
};

} // namespace tocli
