#include "editor/editor.h"

#include <array>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

#include "app/assets.h"
#include "app/colors.h"
#include "app/form1.h"
#include "app/form2.h"
#include "app/xpbutton.h"
#include "editor/colordialog.h"

namespace {

constexpr std::uint32_t black = 0x000000;
constexpr std::uint32_t silver = 0xC0C0C0;
constexpr std::uint32_t highlightTextColour = 0x8000000E;
constexpr int lightShowPeriodMs = 50;
constexpr int lightCount = 5;
constexpr int captionMargin = 6;
constexpr qreal minimumCaptionPointSize = 6.0;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                        int width, int height)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, top, width, height);
    return button;
}

QTimer* makeTimer(QObject* parent, const char* name)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(lightShowPeriodMs);
    return timer;
}

} // namespace

editoR::editoR(Form1* mainWindow)
    : QWidget(mainWindow, Qt::Window)
    , m_form1(mainWindow)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("editoR"));
    setWindowTitle(QStringLiteral("Edit Mode"));
    setWindowIcon(AppIcon());
    setFixedSize(246, 156);
    createControls();
    connectControls();
}

void editoR::createControls()
{
    Command1 = makeButton(this, "Command1", QStringLiteral("Textbox Color"), 8, 24, 105, 17);
    Command2 = makeButton(this, "Command2", QStringLiteral("Textbox Font Color"), 8, 40, 105, 17);
    Command3 = makeButton(this, "Command3", QStringLiteral("Button Color"), 120, 24, 105, 17);
    Command4 = makeButton(this, "Command4", QStringLiteral("Button Font Color"), 120, 40, 105, 17);

    // No autofill: the label draws only its text over the picture.
    Label1 = new QLabel(QStringLiteral("Background:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(88, 56, 121, 25);
    // Top-aligned: the label's box reaches under "Use Target Image".
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette labelPalette = Label1->palette();
    labelPalette.setColor(QPalette::WindowText, ToQColor(highlightTextColour));
    Label1->setPalette(labelPalette);

    Command5 = makeButton(this, "Command5", QStringLiteral("Use Target Image"), 8, 72, 217, 17);
    Command6 = makeButton(this, "Command6", QStringLiteral("Pick Color"), 8, 88, 217, 17);
    Command7 = makeButton(this, "Command7", QStringLiteral("Light Show [ On ]"), 16, 112, 105, 17);
    Command8 = makeButton(this, "Command8", QStringLiteral("Light Show [ Off ]"), 120, 112, 105, 17);

    // Natural size, shifted so the window shows the picture's middle; it lies under everything.
    WinIII = new QLabel(this);
    WinIII->setObjectName(QStringLiteral("WinIII"));
    WinIII->setPixmap(TargetPicture());
    WinIII->setGeometry(-64, -64, 361, 241);
    WinIII->lower();

    CD = new ColorDialog(this);
    CD->setObjectName(QStringLiteral("CD"));

    Timer1 = makeTimer(this, "Timer1");
    Timer2 = makeTimer(this, "Timer2");
    Timer3 = makeTimer(this, "Timer3");
    Timer4 = makeTimer(this, "Timer4");
    Timer5 = makeTimer(this, "Timer5");

    fitCaptions();
}

void editoR::fitCaptions()
{
    // The buttons keep the small sizes of the layout; where the platform's font is too wide for
    // them, the window's font shrinks until every caption fits inside its button's frame.
    const std::array<QPushButton*, 8> buttons { Command1, Command2, Command3, Command4,
                                                Command5, Command6, Command7, Command8 };
    const auto fits = [&buttons](const QFont& font) {
        const QFontMetrics metrics(font);
        for (QPushButton* button : buttons) {
            if (metrics.horizontalAdvance(button->text()) > button->width() - captionMargin)
                return false;
        }
        return true;
    };
    QFont font = this->font();
    if (font.pointSizeF() <= 0)
        return;
    while (!fits(font) && font.pointSizeF() > minimumCaptionPointSize)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    setFont(font);
}

void editoR::connectControls()
{
    connect(Command1, &QPushButton::clicked, this, &editoR::onCommand1Clicked);
    connect(Command2, &QPushButton::clicked, this, &editoR::onCommand2Clicked);
    connect(Command3, &QPushButton::clicked, this, &editoR::onCommand3Clicked);
    connect(Command4, &QPushButton::clicked, this, &editoR::onCommand4Clicked);
    connect(Command5, &QPushButton::clicked, this, &editoR::onCommand5Clicked);
    connect(Command6, &QPushButton::clicked, this, &editoR::onCommand6Clicked);
    connect(Command7, &QPushButton::clicked, this, &editoR::onCommand7Clicked);
    connect(Command8, &QPushButton::clicked, this, &editoR::onCommand8Clicked);
    connect(Timer1, &QTimer::timeout, this, &editoR::onTimer1Timeout);
    connect(Timer2, &QTimer::timeout, this, &editoR::onTimer2Timeout);
    connect(Timer3, &QTimer::timeout, this, &editoR::onTimer3Timeout);
    connect(Timer4, &QTimer::timeout, this, &editoR::onTimer4Timeout);
    connect(Timer5, &QTimer::timeout, this, &editoR::onTimer5Timeout);
}

void editoR::closeEvent(QCloseEvent* event)
{
    if (m_form1)
        m_form1->ed->setChecked(false);
    stopLightShow();
    event->accept();
}

void editoR::recolourTextBoxes(void (*write)(QWidget*, std::uint32_t))
{
    // Form2 is looked up at each write: the first write to it creates it, hidden. Form1.IMs is
    // deliberately left alone.
    if (m_form1) {
        write(m_form1->Text1, CD->Color());
        write(m_form1->Text2, CD->Color());
        write(m_form1->Text3, CD->Color());
        write(m_form1->Text4, CD->Color());
    }
    write(Form2::instance()->Text1, CD->Color());
    write(Form2::instance()->USER, CD->Color());
    write(Form2::instance()->List1, CD->Color());
}

void editoR::onCommand1Clicked()
{
    // Cancel is not told apart from OK: the last confirmed colour (black at first) applies.
    CD->ShowColor();
    recolourTextBoxes(&SetBackColor);
}

void editoR::onCommand2Clicked()
{
    CD->ShowColor();
    recolourTextBoxes(&SetForeColor);
}

void editoR::onCommand3Clicked()
{
    CD->ShowColor();
    for (int i = 0; i < lightCount; ++i) {
        if (XPButton* button = lightButton(i))
            button->setBcol(CD->Color());
    }
}

void editoR::onCommand4Clicked()
{
    CD->ShowColor();
    for (int i = 0; i < lightCount; ++i) {
        if (XPButton* button = lightButton(i))
            button->setFcol(CD->Color());
    }
}

void editoR::onCommand5Clicked()
{
    if (m_form1) {
        m_form1->WinIII->setVisible(true);
        SetBackColor(m_form1->q, black);
        SetBackColor(m_form1->ed, black);
    }
    Form2::instance()->WinIII->setVisible(true);
    Form2::instance()->xx->setVisible(false);
    // The panel keeps its colour while hidden, so the next Pick Color starts from it.
    if (m_form1)
        m_form1->xx->setVisible(false);
}

void editoR::onCommand6Clicked()
{
    CD->ShowColor();
    if (m_form1)
        SetBackColor(m_form1->xx, CD->Color());
    SetBackColor(Form2::instance()->xx, CD->Color());
    if (m_form1) {
        SetBackColor(m_form1->ed, CD->Color());
        SetBackColor(m_form1->q, CD->Color());
        m_form1->xx->setVisible(true);
    }
    Form2::instance()->xx->setVisible(true);
    // Hiding Form1's picture also takes away the background drag, which belongs to the picture.
    if (m_form1)
        m_form1->WinIII->setVisible(false);
    Form2::instance()->WinIII->setVisible(false);
}

void editoR::onCommand7Clicked()
{
    startLightShow();
}

void editoR::onCommand8Clicked()
{
    stopLightShow();
}

void editoR::onTimer1Timeout()
{
    lightShowTick(0);
}

void editoR::onTimer2Timeout()
{
    lightShowTick(1);
}

void editoR::onTimer3Timeout()
{
    lightShowTick(2);
}

void editoR::onTimer4Timeout()
{
    lightShowTick(3);
}

void editoR::onTimer5Timeout()
{
    lightShowTick(4);
}

void editoR::startLightShow()
{
    // Starting an active QTimer would push its next tick back; a second Start must not.
    if (!Timer1->isActive())
        Timer1->start();
}

void editoR::stopLightShow()
{
    for (int i = 0; i < lightCount; ++i)
        lightTimer(i)->stop();
    for (int i = 0; i < lightCount; ++i) {
        if (XPButton* button = lightButton(i))
            button->setBcol(black);
    }
}

void editoR::lightShowTick(int index)
{
    // A timer leaves itself running until the next one disables it, so two neighbours can fall
    // due together; a repeated tick only rewrites the same colours, and the next timer is not
    // restarted, so the light still moves on every period.
    const int previous = (index + lightCount - 1) % lightCount;
    const int next = (index + 1) % lightCount;
    lightTimer(previous)->stop();
    if (XPButton* button = lightButton(index))
        button->setBcol(silver);
    if (XPButton* button = lightButton(previous))
        button->setBcol(black);
    if (!lightTimer(next)->isActive())
        lightTimer(next)->start();
}

QTimer* editoR::lightTimer(int index) const
{
    const std::array<QTimer*, lightCount> timers { Timer1, Timer2, Timer3, Timer4, Timer5 };
    return timers.at(static_cast<std::size_t>(index));
}

XPButton* editoR::lightButton(int index) const
{
    if (!m_form1)
        return nullptr;
    const std::array<XPButton*, lightCount> buttons { m_form1->XPButton1, m_form1->XPButton2,
        m_form1->XPButton3, m_form1->XPButton4, m_form1->XPButton5 };
    return buttons.at(static_cast<std::size_t>(index));
}
