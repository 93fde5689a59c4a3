#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "toc/account.h"

namespace toc {

/// Runs one Account on Qt's event loop: its clock, and the one timer it asks for (reconnect waits,
/// the liveness check and the pacing share it; nothing runs while the account has nothing due).
/// The system's signals reach the account through the three calls below.
///
/// For a status line (sd_notify's STATUS, a tray tip): account().GetState() with Name() and
/// SignedOnSince() while signed on; Attempt(), RetryDelay() and LastError() while waiting (Waiting)
/// or waiting for the network (WaitingForNetwork); account().onStateChanged says when to look again.
class ConnectionKeeper : public QObject {
    Q_OBJECT
public:
    using Ms = Account::Ms;

    ConnectionKeeper(std::unique_ptr<Socket> socket, OrbTOCSockEvents* host, AccountSettings settings = {},
                     QObject* parent = nullptr);

    Account& account() { return *m_account; }
    const Account& account() const { return *m_account; }
    OrbTOCSock& control() { return m_account->Control(); }

    /// Resume or a changed transport: if signed on, the liveness probe goes now.
    void CheckNow() { m_account->CheckNow(); }
    /// Resume: if waiting to reconnect, try now, the back-off started afresh.
    void TryNow() { m_account->TryNow(); }
    /// The network is gone (no attempts spent, one every 5 minutes) or back (try now if waiting).
    void SetNetworkAvailable(bool available) { m_account->SetNetworkAvailable(available); }

    /// When the current session signed on, on the wall clock.
    std::chrono::system_clock::time_point SignedOnSince() const;

private:
    Ms now() const { return Ms(m_clock.elapsed()); }

    QElapsedTimer m_clock;
    QTimer m_timer;
    std::unique_ptr<Account> m_account;
};

} // namespace toc
