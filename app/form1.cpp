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
#include "toc/qt/pacedsocket.h"

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

} // namespace

const std::string Form1::ProfileText = "<body bgcolor=black><font color=lime><b>Dorvi Rivir 4.0<br>Get it: "
                                       "<a href=\"AIM:GoIM?ScreenName=kdq&Message=Rivir+Request\">Here</a>";

Form1::Form1(std::unique_ptr<toc::Socket> socket, ServerAddress server, QWidget* parent)
    : QWidget(parent)
    , m_paced(dynamic_cast<toc::PacedSocket*>(socket.get()))
    , m_b(std::make_unique<toc::OrbTOCSock>(std::move(socket), static_cast<toc::OrbTOCSockEvents*>(this)))
    , m_keeper(std::make_unique<toc::ConnectionKeeper>(*m_b, toc::ConnectionKeeper::FailConnection {}))
    , m_server(std::move(server))
{
    s_instance = this;
    m_keeper->onReconnecting = [this](int attempt, toc::ConnectionKeeper::Ms delay, const std::string& lastError) {
        const QString at = QDateTime::currentDateTime().addMSecs(delay.count()).toString(QStringLiteral("HH:mm:ss"));
        showReconnecting(QStringLiteral("Connection lost: %1\nNext attempt (%2) at %3, in %4 s")
                             .arg(DecodeReceived(lastError))
                             .arg(attempt)
                             .arg(at)
                             .arg((delay.count() + 999) / 1000));
    };
    m_keeper->outgoingHeld = [this] { return m_paced && m_paced->Held() > 0; };
    m_keeper->onAttempt = [this] {
        showReconnecting(QStringLiteral("Connection lost: %1\nSigning on again now (attempt %2)")
                             .arg(DecodeReceived(m_keeper->LastError()))
                             .arg(m_keeper->Attempt()));
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
    if (m_paced) {
        // Only a command that will never go is worth a word; held ones simply arrive later.
        m_paced->onRefused = [this](const std::string& error) { Frame1->setToolTip(DecodeReceived(error)); };
    }
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
    m_b->SetHost(nullptr);
    if (m_paced)
        m_paced->onRefused = nullptr;
    m_keeper.reset();
    m_b.reset();
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
    m_keeper->SignOn({ EncodeTyped(Text1->text()), EncodeTyped(Text2->text()), m_server.host, m_server.port, {} });
}

void Form1::onXPButton2Pressed()
{
    if (movingMode()) {
        DragWindow(XPButton2);
        return;
    }
    // Also ends any waiting to reconnect.
    m_keeper->SignOff();
    m_roomToRejoin.reset();
    B().LogOff();
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
    m_askedRoom = Room { EncodeTyped(Text3->text()), exchange };
    B().JoinChat(m_askedRoom->name, exchange);
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
    B().LeaveChat(EncodeTyped(Text3->text()), id);
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
    B().SetProfile(ProfileText);
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

void Form1::rejoinRoom()
{
    if (!m_roomToRejoin)
        return;
    m_askedRoom = m_roomToRejoin;
    B().JoinChat(m_roomToRejoin->name, m_roomToRejoin->exchange);
}

void Form1::JoinedChat(const std::string& strChatName, std::int32_t)
{
    m_room = m_askedRoom ? *m_askedRoom : Room { strChatName, 4 };
    m_roomToRejoin.reset();
    Text3->setReadOnly(true);
    Text4->setReadOnly(true);
    Label1->setText(QStringLiteral("Chat Joined"));
}

void Form1::LeftChat(std::int32_t)
{
    m_room.reset();
    Text3->setReadOnly(false);
    Text4->setReadOnly(false);
    Label1->setText(QStringLiteral("Chat Left"));
}

void Form1::LoggedIn(const std::string&, const std::vector<std::string>&, const std::vector<std::string>&,
                     const std::vector<std::string>&, const std::vector<std::string>&, const std::string&,
                     std::int16_t)
{
    m_keeper->LoggedIn();
    Label1->resize(Label1DesignWidth, Label1->height());
    Label1->setText(QStringLiteral("Online"));
    Text2->setReadOnly(true);
    Text1->setReadOnly(true);
    Frame1->setToolTip(QString());
    cSysTray1->setToolTip(TrayToolTip);
    B().SetProfile(ProfileText);
    // Once toc_init_done has gone out, as the user's own Join would.
    if (m_roomToRejoin)
        QMetaObject::invokeMethod(this, &Form1::rejoinRoom, Qt::QueuedConnection);
}

void Form1::LoggedOut(const std::string&)
{
    m_keeper->LoggedOut();
    m_room.reset();
    showOffline();
}

void Form1::InstantMessage(const std::string& strUserName, const std::string& strMessage, bool, const std::string&)
{
    Form2::Deliver(strUserName, strMessage);
}

void Form1::Error(std::int16_t intErrorCode, const std::string& strError)
{
    if (intErrorCode == 903 && m_paced)
        m_paced->RateLimited();
    m_keeper->Error(intErrorCode);
    Frame1->setToolTip(DecodeReceived(strError));
}

void Form1::Warned(const std::string& intWarningLevel, const std::string&)
{
    if (m_paced)
        m_paced->SetWarning(std::atoi(intWarningLevel.c_str()));
}

void Form1::WinsockError(const std::string& strError)
{
    if (m_room)
        m_roomToRejoin = std::exchange(m_room, std::nullopt);
    m_keeper->WinsockError(strError);
    if (m_keeper->Reconnecting())
        return;
    // A dead connection must not go on saying "Online".
    showOffline();
    // A refused password keeps the server's word for it.
    if (!m_keeper->GaveUp())
        Frame1->setToolTip(DecodeReceived(strError));
}

void Form1::BuddyUpdate(const std::string& strBuddy, bool, std::int16_t, std::int32_t, std::int32_t, const std::string&)
{
    // Only the keeper's probe asks for a status here; its answer just proves the line alive.
    m_keeper->IsProbeAnswer(strBuddy);
}

void Form1::IncomingPacket(const std::string&)
{
    m_keeper->IncomingPacket();
}
