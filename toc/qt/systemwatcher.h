#pragma once

#include <QNetworkInformation>
#include <QObject>
#include <QTimer>

namespace toc {

class ConnectionKeeper;

/// What the system says about sleep and the network: logind's PrepareForSleep on the system bus,
/// and QNetworkInformation (NetworkManager). Whatever is missing is simply not followed.
class SystemWatcher : public QObject {
    Q_OBJECT
public:
    explicit SystemWatcher(QObject* parent = nullptr);

    /// Subscribes to what exists. What cannot be followed is told in one line on stderr.
    void Start();

signals:
    /// The machine woke up; connections from before may have died silently.
    void resumed();
    /// The network came and went (false: no network at all; true: some network again).
    void networkAvailableChanged(bool available);
    /// The network is fully online again.
    void networkOnline();
    /// Another way out while online: a new transport or a new primary connection.
    void networkChanged();

private slots:
    void onPrepareForSleep(bool start);
    void onNetworkManagerChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    void onReachabilityChanged(QNetworkInformation::Reachability reachability);

    QNetworkInformation::Reachability m_reachability = QNetworkInformation::Reachability::Unknown;
    bool m_available = true;
    // A medium change and a primary connection change are usually one event: one signal for both.
    QTimer m_changed;
};

/// Lets the keeper hear the system: resume and a changed network probe at once, the network back
/// tries at once, no network waits for it.
SystemWatcher* FollowSystem(ConnectionKeeper& keeper);

} // namespace toc
