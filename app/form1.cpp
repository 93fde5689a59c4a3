#include "app/form1.h"

#include <cstdlib>

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QTimer>

#include <utility>

#include "app/assets.h"
#include "app/colors.h"
#include "app/form2.h"
#include "app/module1.h"
#include "app/text.h"
#include "app/xpbutton.h"
#include "editor/editor.h"

namespace {

constexpr std::uint32_t Black = 0x000000;
constexpr std::uint32_t Lime = 0x00FF00;
constexpr std::uint32_t MenuText = 0x80000007;
constexpr int ProfileInterval = 60000;
const QString TrayToolTip = QStringLiteral("Dorvi Rivir 4.0");
constexpr int Label1DesignWidth = 65;

Form1* s_instance = nullptr;

// Masks with "*" whatever the platform style would draw.
class StarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QLineEdit* skinnedTextBox(const QString& name, const QString& text, QRect geometry, QWidget* parent)
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    SetForeColor(box, Lime);
    SetBackColor(box, MenuText);
    return box;
}

XPButton* skinnedButton(const QString& name, const QString& caption, QRect geometry, QWidget* parent)
{
    auto* button = new XPButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

QCheckBox* skinnedCheckBox(const QString& name, const QString& caption, QRect geometry, QWidget* parent)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    SetForeColor(box, Lime);
    SetBackColor(box, Black);
    return box;
}

toc::AccountSettings withLiveness(toc::LivenessSettings liveness)
{
    toc::AccountSettings settings;
    settings.liveness = liveness;
    return settings;
}

} // namespace

const std::string Form1::ProfileText = "<body bgcolor=black><font color=lime><b>Dorvi Rivir 4.0<br>Get it: "
                                       "<a href=\"AIM:GoIM?ScreenName=kdq&Message=Rivir+Request\">Here</a>";

Form1::Form1(std::unique_ptr<toc::Socket> socket, ServerAddress server, QWidget* parent, toc::LivenessSettings liveness)
    : QWidget(parent)
    , m_keeper(std::make_unique<toc::ConnectionKeeper>(std::move(socket), static_cast<toc::OrbTOCSockEvents*>(this),
                                                       withLiveness(liveness)))
    , m_server(std::move(server))
{
    s_instance = this;
    toc::Account& account = m_keeper->account();
    account.SetProfile(ProfileText);
    account.onReconnecting = [this](int attempt, toc::Account::Ms delay, const std::string& lastError) {
        const QString at = QDateTime::currentDateTime().addMSecs(delay.count()).toString(QStringLiteral("HH:mm:ss"));
        showReconnecting(QStringLiteral("Connection lost: %1\nNext attempt (%2) at %3, in %4 s")
                             .arg(DecodeReceived(lastError))
                             .arg(attempt)
                             .arg(at)
                             .arg((delay.count() + 999) / 1000));
    };
    account.onAttempt = [this] {
        showReconnecting(QStringLiteral("Connection lost: %1\nSigning on again now (attempt %2)")
                             .arg(DecodeReceived(m_keeper->account().LastError()))
                             .arg(m_keeper->account().Attempt()));
    };
    // Only a command that will never go is worth a word; held ones simply arrive later.
    account.onNotSent = [this](const std::string& what, const std::string& why) {
        Frame1->setToolTip(DecodeReceived(why + ": " + what));
    };
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Dorvi Rivir 4.0"));
    setWindowIcon(AppIcon());
    setFont(DesignFont());
    setFixedSize(361, 241);
    createControls();
    connectControls();
    Timer1->start();
    createEditor();
}

Form1::~Form1()
{
    // The editor is our child; it must not be replaced while we are being torn down.
    m_closing = true;
    if (m_editor) {
        disconnect(m_editor, nullptr, this, nullptr);
        delete m_editor.data();
    }
    // The control may still raise events while it goes; none of them may reach a half-gone window.
    B().SetHost(nullptr);
    m_keeper.reset();
    if (s_instance == this)
        s_instance = nullptr;
}

Form1* Form1::instance()
{
    return s_instance;
}

editoR* Form1::editor() const
{
    return m_editor.data();
}

void Form1::createControls()
{
    WinIII = createTargetPictureLabel(this);
    xx = createSolidPanel(this, QRect(0, 0, 361, 241));

    Text1 = skinnedTextBox(QStringLiteral("Text1"), QStringLiteral("Screen Name"), QRect(24, 24, 121, 19), this);
    Text2 = skinnedTextBox(QStringLiteral("Text2"), QStringLiteral("Password"), QRect(24, 56, 121, 19), this);
    auto* star = new StarMaskStyle;
    star->setParent(Text2);
    Text2->setStyle(star);
    XPButton1 = skinnedButton(QStringLiteral("XPButton1"), QStringLiteral("Sign On"), QRect(24, 88, 57, 17), this);
    XPButton2 = skinnedButton(QStringLiteral("XPButton2"), QStringLiteral("Sign Off"), QRect(88, 88, 57, 17), this);

    Frame1 = new QGroupBox(QStringLiteral("Status"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(256, 192, 97, 41);
    SetForeColor(Frame1, Lime);
    SetBackColor(Frame1, Black);
    Label1 = new QLabel(QStringLiteral("None"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 16, Label1DesignWidth, 17);
    SetForeColor(Label1, Lime);

    Text3 = skinnedTextBox(QStringLiteral("Text3"), QStringLiteral("Chat Room"), QRect(152, 24, 105, 19), this);
    Text4 = skinnedTextBox(QStringLiteral("Text4"), QStringLiteral("4"), QRect(256, 24, 17, 19), this);
    XPButton3 = skinnedButton(QStringLiteral("XPButton3"), QStringLiteral("Join"), QRect(152, 88, 57, 17), this);
    XPButton4 = skinnedButton(QStringLiteral("XPButton4"), QStringLiteral("Leave"), QRect(216, 88, 57, 17), this);
    // The control B sits at (232, 256) below the client area in the design; it has no face here.
    XPButton5 = skinnedButton(QStringLiteral("XPButton5"), QStringLiteral("Send To Tray"), QRect(152, 56, 121, 17), this);

    IMs = new QListWidget(this);
    IMs->setObjectName(QStringLiteral("IMs"));
    IMs->setGeometry(392, 256, 57, 43);

    q = skinnedCheckBox(QStringLiteral("q"), QStringLiteral("Moving Mode"), QRect(8, 216, 89, 17), this);
    ed = skinnedCheckBox(QStringLiteral("ed"), QStringLiteral("Edit Mode"), QRect(8, 200, 73, 13), this);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, XPButton1);
    setTabOrder(XPButton1, XPButton2);
    setTabOrder(XPButton2, Text3);
    setTabOrder(Text3, Text4);
    setTabOrder(Text4, XPButton3);
    setTabOrder(XPButton3, XPButton4);
    setTabOrder(XPButton4, XPButton5);
    setTabOrder(XPButton5, IMs);
    setTabOrder(IMs, q);
    setTabOrder(q, ed);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(ProfileInterval);

    cSysTray1 = new QSystemTrayIcon(AppIcon(), this);
    cSysTray1->setObjectName(QStringLiteral("cSysTray1"));
    cSysTray1->setToolTip(TrayToolTip);
}

void Form1::connectControls()
{
    connect(XPButton1, &XPButton::pressed, this, &Form1::onXPButton1Pressed);
    connect(XPButton2, &XPButton::pressed, this, &Form1::onXPButton2Pressed);
    connect(XPButton3, &XPButton::pressed, this, &Form1::onXPButton3Pressed);
    connect(XPButton4, &XPButton::pressed, this, &Form1::onXPButton4Pressed);
    connect(XPButton5, &XPButton::pressed, this, &Form1::onXPButton5Pressed);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::onText2Changed);
    connect(Timer1, &QTimer::timeout, this, &Form1::onTimer1Timeout);
    connect(ed, &QCheckBox::toggled, this, &Form1::onEdToggled);
    connect(cSysTray1, &QSystemTrayIcon::activated, this, &Form1::onCSysTray1Activated);
    for (QWidget* watched : { static_cast<QWidget*>(WinIII), static_cast<QWidget*>(Text1),
                              static_cast<QWidget*>(Text2), static_cast<QWidget*>(Text3),
                              static_cast<QWidget*>(Text4) })
        watched->installEventFilter(this);
}

void Form1::createEditor()
{
    m_editor = new editoR(this);
    connect(m_editor, &QObject::destroyed, this, &Form1::onEditorDestroyed);
    m_editor->setVisible(ed->isChecked());
}

bool Form1::movingMode() const
{
    return q->isChecked();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == WinIII) {
        // The background always drags the whole window, Moving Mode or not.
        if (type == QEvent::MouseButtonPress) {
            DragWindow(this);
            return true;
        }
        return false;
    }
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box)
        return QWidget::eventFilter(watched, event);
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) && movingMode()) {
        DragWindow(box);
        return true;
    }
    // A click on the room box leaves the chat; it does not look at Moving Mode.
    if (box == Text3 && type == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && box->rect().contains(mouse->position().toPoint()))
            leaveChat();
    }
    return false;
}

void Form1::onXPButton1Pressed()
{
    if (movingMode()) {
        DragWindow(XPButton1);
        return;
    }
    // While waiting to reconnect this tries at once.
    m_keeper->account().SignOn({ EncodeTyped(Text1->text()), EncodeTyped(Text2->text()), m_server.host, m_server.port, {} });
}

void Form1::onXPButton2Pressed()
{
    if (movingMode()) {
        DragWindow(XPButton2);
        return;
    }
    // Also ends any waiting to reconnect.
    m_keeper->account().LogOff();
}

void Form1::onXPButton3Pressed()
{
    if (movingMode()) {
        DragWindow(XPButton3);
        return;
    }
    bool ok = false;
    const short exchange = Text4->text().toShort(&ok, 10);
    if (!ok) {
        Frame1->setToolTip(QStringLiteral("Exchange must be a whole number from -32768 to 32767"));
        return;
    }
    m_keeper->account().JoinChat(EncodeTyped(Text3->text()), exchange);
}

void Form1::onXPButton4Pressed()
{
    if (movingMode()) {
        DragWindow(XPButton4);
        return;
    }
    leaveChat();
}

void Form1::leaveChat()
{
    const std::int32_t id = B().LastChatID();
    m_keeper->account().Submit("LeaveChat", [name = EncodeTyped(Text3->text()), id](toc::OrbTOCSock& c) {
        c.LeaveChat(name, id);
    });
}

void Form1::onXPButton5Pressed()
{
    if (movingMode()) {
        DragWindow(XPButton5);
        return;
    }
    // Hidden with no tray icon the window could never be brought back: minimise instead.
    if (!systemTrayAvailable()) {
        showMinimized();
        return;
    }
    cSysTray1->show();
    hide();
}

bool Form1::systemTrayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void Form1::onCSysTray1Activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    show();
    raise();
    activateWindow();
    cSysTray1->hide();
}

void Form1::onText2Changed()
{
    Text2->setEchoMode(QLineEdit::Password);
}

void Form1::onTimer1Timeout()
{
    m_keeper->account().SetProfile(ProfileText);
}

void Form1::onEdToggled(bool checked)
{
    if (m_editor)
        m_editor->setVisible(checked);
}

void Form1::onEditorDestroyed()
{
    if (!m_closing)
        createEditor();
}

void Form1::closeEvent(QCloseEvent* event)
{
    m_closing = true;
    if (Form2* form2 = Form2::existing())
        form2->close();
    if (m_editor)
        m_editor->close();
    event->accept();
}

void Form1::showOffline()
{
    Label1->resize(Label1DesignWidth, Label1->height());
    Label1->setText(QStringLiteral("Offline"));
    Text1->setReadOnly(false);
    Text2->setReadOnly(false);
    cSysTray1->setToolTip(TrayToolTip);
}

void Form1::showReconnecting(const QString& text)
{
    // The longest caption: it gets the frame's whole width while it shows.
    Label1->resize(Frame1->width() - 2 * Label1->x(), Label1->height());
    Label1->setText(QStringLiteral("Reconnecting"));
    Frame1->setToolTip(text);
    cSysTray1->setToolTip(TrayToolTip + QStringLiteral(": reconnecting\n") + text);
}

void Form1::JoinedChat(const std::string& strChatName, std::int32_t lngChatID)
{
    m_keeper->account().JoinedChat(strChatName, lngChatID);
    Text3->setReadOnly(true);
    Text4->setReadOnly(true);
    Label1->setText(QStringLiteral("Chat Joined"));
}

void Form1::LeftChat(std::int32_t lngChatID)
{
    m_keeper->account().LeftChat(lngChatID);
    Text3->setReadOnly(false);
    Text4->setReadOnly(false);
    Label1->setText(QStringLiteral("Chat Left"));
}

void Form1::LoggedIn(const std::string&, const std::vector<std::string>&, const std::vector<std::string>&,
                     const std::vector<std::string>&, const std::vector<std::string>&, const std::string&,
                     std::int16_t)
{
    // Sets the profile (and the rest) again before toc_init_done, and rejoins the room after it.
    m_keeper->account().LoggedIn();
    Label1->resize(Label1DesignWidth, Label1->height());
    Label1->setText(QStringLiteral("Online"));
    Text2->setReadOnly(true);
    Text1->setReadOnly(true);
    Frame1->setToolTip(QString());
    cSysTray1->setToolTip(TrayToolTip);
}

void Form1::LoggedOut(const std::string&)
{
    m_keeper->account().LoggedOut();
    showOffline();
}

void Form1::InstantMessage(const std::string& strUserName, const std::string& strMessage, bool, const std::string&)
{
    Form2::Deliver(strUserName, strMessage);
}

void Form1::Error(std::int16_t intErrorCode, const std::string& strError)
{
    m_keeper->account().Error(intErrorCode);
    Frame1->setToolTip(DecodeReceived(strError));
}

void Form1::Warned(const std::string& intWarningLevel, const std::string&)
{
    m_keeper->account().Warned(intWarningLevel);
}

void Form1::WinsockError(const std::string& strError)
{
    toc::Account& account = m_keeper->account();
    account.WinsockError(strError);
    if (account.GetState() != toc::Account::State::Off)
        return;
    // A dead connection must not go on saying "Online".
    showOffline();
    // A refused password keeps the server's word for it.
    if (!account.PasswordRefused())
        Frame1->setToolTip(DecodeReceived(strError));
}

void Form1::BuddyUpdate(const std::string& strBuddy, bool, std::int16_t intWarningLevel, std::int32_t, std::int32_t,
                        const std::string&)
{
    m_keeper->account().BuddyUpdate(strBuddy, intWarningLevel);
}

void Form1::IncomingPacket(const std::string&)
{
    m_keeper->account().IncomingPacket();
}

void Form1::PasswordChanged()
{
    m_keeper->account().PasswordChanged();
}
