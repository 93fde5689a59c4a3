#pragma once

#include <optional>

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

/// Desktop notifications for incoming IMs through org.freedesktop.Notifications on the session
/// bus: one per sender, replaced by that sender's next IM. Without a session bus or a server
/// nothing happens.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);
    ~DesktopNotifier() override;

    /// Shows `text` (plain, as the window shows it) from `sender`, replacing the sender's last one.
    void Notify(const QString& sender, const QString& text);

signals:
    /// The user chose the notification of an IM from `sender`.
    void activated(const QString& sender);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Shown {
        QString sender;
        uint id = 0;
        bool sending = false;
        std::optional<QString> next; // came while the last one was on its way
    };

    bool connectBus();
    void askCapabilities();
    void send(const QString& key);
    void forgetIdle();

    bool m_connected = false;
    bool m_asking = false;
    std::optional<bool> m_markup;
    QStringList m_waiting; // keys of senders waiting for the capabilities
    QHash<QString, Shown> m_shown; // by the sender's normalised name
};
