#include "tools/systemdnotifier.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <QDateTime>
#include <QtGlobal>

#include <systemd/sd-daemon.h>

#include "toc/qt/connectionkeeper.h"

namespace tocli {

std::string StatusLine(const toc::ConnectionKeeper& keeper)
{
    const toc::Account& account = keeper.account();
    switch (account.GetState()) {
    case toc::Account::State::SignedOn: {
        const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(keeper.SignedOnSince().time_since_epoch());
        return "Online as " + account.Name() + " since "
            + QDateTime::fromMSecsSinceEpoch(since.count()).toString(QStringLiteral("HH:mm")).toStdString();
    }
    case toc::Account::State::Waiting:
        return "Reconnecting: attempt " + std::to_string(account.Attempt()) + " in "
            + std::to_string((account.RetryDelay().count() + 999) / 1000) + " s (" + account.LastError() + ")";
    case toc::Account::State::WaitingForNetwork:
        return "Waiting for the network";
    case toc::Account::State::SigningOn:
        return "Signing on";
    case toc::Account::State::Off:
        break;
    }
    return "Signed off";
}

SystemdNotifier::SystemdNotifier(QObject* parent)
    : QObject(parent)
    , m_active(!qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
{
    m_watchdog.setTimerType(Qt::PreciseTimer);
    connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
}

void SystemdNotifier::Ready(const std::string& status)
{
    if (!m_active)
        return;
    send("READY=1");
    m_ready = true;
    Status(status);
    std::uint64_t usec = 0;
    // Twice per interval: one ping late by a busy moment must not be the one that kills us.
    if (sd_watchdog_enabled(0, &usec) > 0 && usec >= 2000)
        m_watchdog.start(static_cast<int>(qMin<std::uint64_t>(usec / 2000, INT32_MAX)));
}

void SystemdNotifier::Status(const std::string& status)
{
    if (!m_ready || status == m_status)
        return;
    m_status = status;
    // The status quotes the server's and the network's words; a line break would start another
    // assignment to systemd.
    std::string line = status;
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    send("STATUS=" + line);
}

void SystemdNotifier::Stopping()
{
    if (!m_ready)
        return;
    m_ready = false;
    m_watchdog.stop();
    send("STOPPING=1");
}

void SystemdNotifier::send(const std::string& state)
{
    const int result = sd_notify(0, state.c_str());
    if (result < 0 && !m_failed) {
        m_failed = true;
        std::fprintf(stderr, "toc-cli: telling systemd failed: %s\n", std::strerror(-result));
    }
}

} // namespace tocli
