#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include "app/serveraddress.h"
#include "toc/events.h"
#include "toc/orbtocsock.h"
#include "toc/qt/connectionkeeper.h"
#include "toc/socket.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;
class XPButton;
class editoR;

/// The main window, "Dorvi Rivir 4.0": signs on and keeps the account online with the profile,
/// joins and leaves one chat room, hides in the tray, and hands incoming IMs to Form2. It owns
/// the control `B` and receives all of its events. Its state is the state of its controls.
class Form1 : public QWidget, private toc::OrbTOCSockEvents {
    Q_OBJECT

public:
    /// The profile set at sign-on and every minute after.
    static const std::string ProfileText;

    /// Builds the window (not shown) with the control on `socket`; "Sign On" goes to `server`.
    /// `liveness` is for tests that cannot wait a minute for a silent link to be given up.
    explicit Form1(std::unique_ptr<toc::Socket> socket, ServerAddress server = {}, QWidget* parent = nullptr,
                   toc::LivenessSettings liveness = {});
    ~Form1() override;

    /// The one main window; nullptr when there is none.
    static Form1* instance();

    toc::OrbTOCSock& B() { return m_keeper->control(); }
    /// Signs the account on again after a lost connection and notices dead ones.
    toc::ConnectionKeeper& keeper() { return *m_keeper; }
    /// The appearance editor: created hidden with the window, and again whenever the user
    /// closes it. nullptr only while the window itself is closing.
    editoR* editor() const;

    QLabel* WinIII = nullptr;
    QWidget* xx = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    XPButton* XPButton1 = nullptr;
    XPButton* XPButton2 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    XPButton* XPButton3 = nullptr;
    XPButton* XPButton4 = nullptr;
    XPButton* XPButton5 = nullptr;
    QListWidget* IMs = nullptr;
    QCheckBox* q = nullptr;
    QCheckBox* ed = nullptr;
    QTimer* Timer1 = nullptr;
    QSystemTrayIcon* cSysTray1 = nullptr;

protected:
    /// Closes Form2 and the editor; sends nothing to the server.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// Whether the desktop has a tray to send the window to.
    virtual bool systemTrayAvailable() const;

private:
    void createControls();
    void connectControls();
    void createEditor();
    bool movingMode() const;
    void leaveChat();
    void showOffline();
    void showReconnecting(const QString& text);

    void onXPButton1Pressed();
    void onXPButton2Pressed();
    void onXPButton3Pressed();
    void onXPButton4Pressed();
    void onXPButton5Pressed();
    void onText2Changed();
    void onTimer1Timeout();
    void onEdToggled(bool checked);
    void onEditorDestroyed();
    void onCSysTray1Activated(QSystemTrayIcon::ActivationReason reason);

    void JoinedChat(const std::string& strChatName, std::int32_t lngChatID) override;
    void LeftChat(std::int32_t lngChatID) override;
    void LoggedIn(const std::string& strUserName, const std::vector<std::string>& BuddyList,
                  const std::vector<std::string>& BlockList, const std::vector<std::string>& PrivateList,
                  const std::vector<std::string>& MiscData, const std::string& strPreferences,
                  std::int16_t PrivacyMode) override;
    void LoggedOut(const std::string& strUserName) override;
    void InstantMessage(const std::string& strUserName, const std::string& strMessage, bool blnAutoResponse,
                        const std::string& strUserClass) override;
    void Error(std::int16_t intErrorCode, const std::string& strError) override;
    void Warned(const std::string& intWarningLevel, const std::string& strFromUser) override;
    void WinsockError(const std::string& strError) override;
    void BuddyUpdate(const std::string& strBuddy, bool blnOnline, std::int16_t intWarningLevel,
                     std::int32_t lngOnlineTime, std::int32_t lngIdleTime, const std::string& strUserClass) override;
    void IncomingPacket(const std::string& strPacket) override;
    void PasswordChanged() override;

    // The account (and the control B inside it) keeps what the user asked it to be, rooms included.
    std::unique_ptr<toc::ConnectionKeeper> m_keeper;
    ServerAddress m_server;
    QPointer<editoR> m_editor;
    bool m_closing = false;
};
