#include "app/form2.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/assets.h"
#include "app/colors.h"
#include "app/desktopnotifier.h"
#include "app/form1.h"
#include "app/text.h"
#include "toc/encoding.h"

namespace {

constexpr std::uint32_t Black = 0x000000;
constexpr std::uint32_t Lime = 0x00FF00;

Form2* s_instance = nullptr;
DesktopNotifier* s_notifier = nullptr;

void skin(QWidget* widget)
{
    SetForeColor(widget, Lime);
    SetBackColor(widget, Black);
}

} // namespace

Form2::Form2()
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Incoming IMs"));
    setWindowIcon(AppIcon());
    setFont(DesignFont());
    setFixedSize(356, 149);
    createControls();
    connectControls();
}

Form2::~Form2()
{
    if (s_instance == this)
        s_instance = nullptr;
}

Form2* Form2::existing()
{
    return s_instance;
}

Form2* Form2::instance()
{
    if (!s_instance)
        s_instance = new Form2;
    return s_instance;
}

void Form2::createControls()
{
    WinIII = createTargetPictureLabel(this);
    xx = createSolidPanel(this, QRect(0, 0, 361, 153));

    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(8, 8, 329, 82);
    skin(List1);

    Text1 = new QLineEdit(QStringLiteral("Message"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(8, 96, 329, 19);
    skin(Text1);

    // The default button lies below the client area: Enter reaches it, the mouse never does.
    Command1 = new QPushButton(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(264, 160, 33, 13);

    USER = new QLineEdit(this);
    USER->setObjectName(QStringLiteral("USER"));
    USER->setGeometry(32, 120, 305, 19);
    skin(USER);

    Label1 = new QLabel(QStringLiteral("To:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 120, 25, 17);
    SetForeColor(Label1, Lime);

    setTabOrder(List1, Text1);
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, USER);
}

void Form2::connectControls()
{
    connect(Command1, &QPushButton::clicked, this, &Form2::onCommand1Clicked);
}

void Form2::Deliver(const std::string& sender, const std::string& message)
{
    const bool seen = s_instance && s_instance->isActiveWindow();
    Form2* window = instance();
    window->show();
    Form1* main = Form1::instance();
    const std::string plain = main ? main->B().RemoveHtml(message) : toc::RemoveHtml(message);
    const QString from = DecodeReceived(sender);
    window->List1->addItem(from + QStringLiteral(": ") + DecodeReceived(plain));
    window->USER->setText(from);
    window->selectLastLine();
    if (s_notifier && !seen)
        s_notifier->Notify(from, DecodeReceived(plain));
}

void Form2::SetNotifier(DesktopNotifier* notifier)
{
    if (s_notifier)
        QObject::disconnect(s_notifier, nullptr, nullptr, nullptr);
    s_notifier = notifier;
    if (!notifier)
        return;
    QObject::connect(notifier, &DesktopNotifier::activated, [](const QString& sender) {
        Form2* window = instance();
        window->USER->setText(sender);
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
}

void Form2::onCommand1Clicked()
{
    const QString message = Text1->text();
    if (Form1* main = Form1::instance())
        main->B().SendIM(EncodeTyped(USER->text()), EncodeTyped(message), false);
    Text1->clear();
    List1->addItem(QStringLiteral("Attempt: ") + message);
    selectLastLine();
}

void Form2::selectLastLine()
{
    List1->setCurrentRow(List1->count() - 1);
    List1->scrollToItem(List1->currentItem());
}

void Form2::keyPressEvent(QKeyEvent* event)
{
    // Enter anywhere in the window acts on the default button, as a dialog's would.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Command1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form2::closeEvent(QCloseEvent* event)
{
    // Forget the window now, not when it is finally deleted: an IM arriving in between opens a
    // fresh window instead of landing in one that is about to vanish.
    if (s_instance == this)
        s_instance = nullptr;
    event->accept();
}
