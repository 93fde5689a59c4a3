#include "toc/qt/systemwatcher.h"

#include <cstdio>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QStringList>

#include "toc/qt/connectionkeeper.h"

namespace toc {

namespace {
    const QString Login1 = QStringLiteral("org.freedesktop.login1");
    const QString NetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
    const QString NetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");

    bool online(QNetworkInformation::Reachability reachability)
    {
        return reachability == QNetworkInformation::Reachability::Online;
    }
}

SystemWatcher::SystemWatcher(QObject* parent)
    : QObject(parent)
{
    m_changed.setSingleShot(true);
    connect(&m_changed, &QTimer::timeout, this, [this] {
        if (m_available)
            emit networkChanged();
    });
}

void SystemWatcher::Start()
{
    QStringList missing;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        missing << QStringLiteral("no system bus");
    } else {
        bus.connect(Login1, QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
                    QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
        // A new default route on the same medium is not a change QNetworkInformation reports.
        bus.connect(NetworkManager, NetworkManagerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(onNetworkManagerChanged(QString, QVariantMap, QStringList)));
    }
    // Only a backend that knows the medium: the others guess from the routing table, and a machine
    // with no default route would then never try a server on loopback or the local network. The one
    // that does asks NetworkManager on the system bus: without a bus it is not worth loading.
    using Feature = QNetworkInformation::Feature;
    if (bus.isConnected() && QNetworkInformation::loadBackendByFeatures(Feature::Reachability | Feature::TransportMedium)) {
        QNetworkInformation* info = QNetworkInformation::instance();
        connect(info, &QNetworkInformation::reachabilityChanged, this, &SystemWatcher::onReachabilityChanged);
        connect(info, &QNetworkInformation::transportMediumChanged, this, [this] { m_changed.start(0); });
        onReachabilityChanged(info->reachability());
    } else if (bus.isConnected()) {
        missing << QStringLiteral("no network backend");
    }
    if (!missing.isEmpty()) {
        const QString what = bus.isConnected() ? QStringLiteral("the network") : QStringLiteral("sleep or the network");
        std::fprintf(stderr, "%s: not following %s (%s)\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(what), qPrintable(missing.join(QStringLiteral(", "))));
    }
}

void SystemWatcher::onPrepareForSleep(bool start)
{
    // Nothing is sent on the way down: the connection may be gone before it would be answered.
    if (!start)
        emit resumed();
}

void SystemWatcher::onNetworkManagerChanged(const QString&, const QVariantMap& changed, const QStringList&)
{
    if (changed.contains(QStringLiteral("PrimaryConnection")))
        m_changed.start(0);
}

void SystemWatcher::onReachabilityChanged(QNetworkInformation::Reachability reachability)
{
    const bool wasOnline = online(m_reachability);
    m_reachability = reachability;
    const bool available = reachability != QNetworkInformation::Reachability::Disconnected;
    if (available != m_available) {
        m_available = available;
        emit networkAvailableChanged(available);
    }
    if (online(reachability) && !wasOnline)
        emit networkOnline();
}

SystemWatcher* FollowSystem(ConnectionKeeper& keeper)
{
    auto* watcher = new SystemWatcher(&keeper);
    QObject::connect(watcher, &SystemWatcher::resumed, &keeper, [&keeper] {
        keeper.CheckNow();
        keeper.TryNow();
    });
    QObject::connect(watcher, &SystemWatcher::networkAvailableChanged, &keeper, &ConnectionKeeper::SetNetworkAvailable);
    QObject::connect(watcher, &SystemWatcher::networkOnline, &keeper, &ConnectionKeeper::TryNow);
    QObject::connect(watcher, &SystemWatcher::networkChanged, &keeper, &ConnectionKeeper::CheckNow);
    watcher->Start();
    return watcher;
}

} // namespace toc
