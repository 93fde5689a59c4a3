#include "app/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

#include "app/text.h"
#include "toc/encoding.h"

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// Senders remembered for replacing their notification; past this, the idle ones are forgotten.
constexpr qsizetype MaxSenders = 256;

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}

// Without an address libdbus would start a bus of its own through dbus-launch, and leave it behind.
bool sessionBusExists()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent)
    : QObject(parent)
{
}

DesktopNotifier::~DesktopNotifier()
{
    // The bus's thread must not deliver to a notifier that is gone.
    if (!m_connected)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    bus.disconnect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                   SLOT(onNotificationClosed(uint, uint)));
}

bool DesktopNotifier::connectBus()
{
    if (m_connected)
        return true;
    if (!sessionBusExists())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                SLOT(onNotificationClosed(uint, uint)));
    m_connected = true;
    return true;
}

void DesktopNotifier::Notify(const QString& sender, const QString& text)
{
    if (!connectBus())
        return;
    const QString key = QString::fromStdString(toc::NormalizeName(EncodeTyped(sender)));
    if (m_shown.size() >= MaxSenders && !m_shown.contains(key))
        forgetIdle();
    Shown& shown = m_shown[key];
    shown.sender = sender;
    shown.next = text;
    if (!m_markup) {
        if (!m_waiting.contains(key))
            m_waiting << key;
        askCapabilities();
        return;
    }
    if (!shown.sending)
        send(key);
}

void DesktopNotifier::askCapabilities()
{
    if (m_asking)
        return;
    m_asking = true;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_asking = false;
        const QDBusPendingReply<QStringList> reply = *watcher;
        const QStringList waiting = std::exchange(m_waiting, {});
        if (reply.isError()) {
            // No server: these are dropped; the next IM asks again, a server may have started.
            for (const QString& key : waiting)
                m_shown[key].next.reset();
            return;
        }
        m_markup = reply.value().contains(QStringLiteral("body-markup"));
        for (const QString& key : waiting) {
            if (!m_shown[key].sending)
                send(key);
        }
    });
}

void DesktopNotifier::send(const QString& key)
{
    Shown& shown = m_shown[key];
    if (!shown.next)
        return;
    // Markup-capable servers would read the sender's "<" and "&" as markup of their own.
    const QString body = *m_markup ? shown.next->toHtmlEscaped() : *shown.next;
    shown.next.reset();
    shown.sending = true;
    QVariantMap hints;
    hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("net.dorvi.Rivir"));
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Rivir") << shown.id << QStringLiteral("rivir") << shown.sender << body
            << QStringList { QStringLiteral("default"), QStringLiteral("Open") } << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, key] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        Shown& entry = m_shown[key];
        entry.sending = false;
        if (reply.isError()) {
            // The server went away: ask again what the next one can show.
            m_markup.reset();
            entry.id = 0;
            entry.next.reset();
            return;
        }
        entry.id = reply.value();
        send(key);
    });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    if (action != QStringLiteral("default") || id == 0)
        return;
    for (const Shown& shown : std::as_const(m_shown)) {
        if (shown.id == id) {
            emit activated(shown.sender);
            return;
        }
    }
}

void DesktopNotifier::onNotificationClosed(uint id, uint)
{
    m_shown.removeIf([id](const auto& entry) { return entry.value().id == id && !entry.value().sending; });
}

void DesktopNotifier::forgetIdle()
{
    m_shown.removeIf([this](const auto& entry) { return !entry.value().sending && !m_waiting.contains(entry.key()); });
}
