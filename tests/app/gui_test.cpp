// The windows and the appearance editor offscreen, driven as a user drives them. Each test plays a
// script: one row per user or server action, with the bytes that reached the fake socket and what
// the windows show afterwards.
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/colors.h"
#include "app/form1.h"
#include "app/form2.h"
#include "app/serveraddress.h"
#include "app/xpbutton.h"
#include "editor/colordialog.h"
#include "editor/editor.h"
#include "tests/support/fakesocket.h"

namespace {

using testing_support::Data;

// One letter per colour, so that a row of controls reads as a word: "rrrrr".
char shade(std::uint32_t colour)
{
    switch (colour) {
    case 0x000000: return '.';
    case 0xC0C0C0: return '#';
    case 0xFFFFFF: return 'w';
    case 0x0000FF: return 'r';
    case 0xFF0000: return 'b';
    case 0x00FF00: return 'l';
    case 0x00C000: return 'g';
    default: return '?';
    }
}
std::uint32_t face(const QWidget* w) { return static_cast<const XPButton*>(w)->bcol(); }
std::uint32_t caption(const QWidget* w) { return static_cast<const XPButton*>(w)->fcol(); }
std::uint32_t shown(const QWidget* w) { return w->isVisible() ? 0xC0C0C0 : 0; }
std::string shades(std::initializer_list<QWidget*> widgets, std::uint32_t (*colour)(const QWidget*))
{
    std::string word;
    for (QWidget* w : widgets)
        word += shade(colour(w));
    return word;
}
char pixel(QWidget* window, QPoint at) { return shade(FromQColor(window->grab().toImage().pixelColor(at))); }
// How many pixels of `area` pass `test`.
int count(const QImage& image, QRect area, bool (*test)(QRgb))
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}
void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
void press(QWidget* w, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mousePress(w, button, {}, w->rect().center());
    QTest::mouseRelease(w, button, {}, w->rect().center());
}

// A main window on a desktop with or without a system tray.
struct TestForm : Form1 {
    using Form1::Form1;
    bool systemTrayAvailable() const override { return tray; }
    bool tray = false;
};

struct Step {
    std::string action, sent, state;
};

// A shown main window on a fake socket ("Sign On" goes to toc.test:5190), and a colour dialog
// that answers `answer` (nullopt: Cancel) and notes the colour it opened at.
struct Gui : ::testing::Test {
    void SetUp() override
    {
        ColorDialog::setChooserForTesting([this](QColor initial) {
            opened += shade(FromQColor(initial));
            return answer ? std::optional<QColor>(ToQColor(*answer)) : std::nullopt;
        });
        auto socket = std::make_unique<testing_support::FakeSocket>();
        sock = socket.get();
        form = std::make_unique<TestForm>(std::move(socket), ServerAddress { "toc.test", 5190 });
        form->show();
    }
    void TearDown() override
    {
        ColorDialog::setChooserForTesting({});
        if (Form2* im = Form2::existing())
            im->close();
        form.reset();
        flushDeletes();
    }

    std::string buttons(std::uint32_t (*colour)(const QWidget*))
    {
        return shades({ form->XPButton1, form->XPButton2, form->XPButton3, form->XPButton4, form->XPButton5 }, colour);
    }
    void choose(QPushButton* command, std::optional<std::uint32_t> colour)
    {
        answer = colour;
        press(command);
    }
    void signOn()
    {
        press(form->XPButton1);
        run("signon");
        sock->ClearSent();
    }
    void run(const std::string& step)
    {
        const std::string verb = step.substr(0, step.find(' '));
        const std::string arg = step.size() > verb.size() ? step.substr(verb.size() + 1) : "";
        XPButton* const buttons[] = { form->XPButton1, form->XPButton2, form->XPButton3, form->XPButton4, form->XPButton5 };
        QLineEdit* const boxes[] = { form->Text1, form->Text2, form->Text3, form->Text4 };
        const int n = arg.empty() ? 1 : arg[0] - '0';
        editoR* e = form->editor();
        if (verb == "press" || verb == "right")
            press(buttons[n - 1], verb == "press" ? Qt::LeftButton : Qt::RightButton);
        if (verb == "space") {
            buttons[n - 1]->setFocus();
            QTest::keyClick(buttons[n - 1], Qt::Key_Space);
        }
        if (verb == "set")
            boxes[n - 1]->setText(QString::fromStdString(arg.substr(2)));
        if (verb == "join") {
            form->Text4->setText(QString::fromStdString(arg));
            press(form->XPButton3);
        }
        if (verb == "click")
            QTest::mouseClick(form->Text3, Qt::LeftButton, {}, QPoint(10, 5));
        if (verb == "signon" || verb == "connect") {
            sock->CompleteConnect();
            sock->Receive(testing_support::Frame(1, std::string("\0\0\0\1", 4)));
        }
        if (verb == "signon") {
            sock->Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:Joe") + Data("CONFIG2:done:\n"));
            sock->Receive(Data("UPDATE_BUDDY2:" + form->Text1->text().toStdString() + ":T:0:0:0: O :"));
        }
        if (verb == "recv")
            sock->Receive(Data(arg));
        if (verb == "im")
            sock->Receive(Data("IM_IN_ENC2:" + arg.substr(0, arg.find(' ')) + ":F:F:T: O:F:L:en:" + arg.substr(arg.find(' ') + 1)));
        if (verb == "tick")
            QMetaObject::invokeMethod(form->Timer1, "timeout");
        if (verb == "fail")
            sock->Fail(arg);
        if (verb == "moving")
            form->q->setChecked(arg == "on");
        if (verb == "tray")
            form->tray = true;
        if (verb == "restore")
            form->showNormal();
        if (verb == "icon")
            emit form->cSysTray1->activated(arg == "double" ? QSystemTrayIcon::DoubleClick : QSystemTrayIcon::Trigger);
        if (verb == "type" || verb == "to")
            (verb == "type" ? Form2::existing()->Text1 : Form2::existing()->USER)->setText(QString::fromUtf8(arg.c_str()));
        if (verb == "enter" || verb == "enter-to")
            QTest::keyClick(verb == "enter" ? Form2::existing()->Text1 : Form2::existing()->USER,
                            verb == "enter" ? Qt::Key_Return : Qt::Key_Enter);
        if (verb == "close")
            Form2::existing()->close();
        if (verb == "start" || verb == "stop")
            press(verb == "start" ? e->Command7 : e->Command8);
        for (char timer : verb == "fire" ? arg : "") {
            QTimer* t = e->findChild<QTimer*>(QStringLiteral("Timer") + QLatin1Char(timer));
            ASSERT_EQ(t->interval(), 50);
            QMetaObject::invokeMethod(t, "timeout");
        }
    }
    // The DATA payloads sent since the last call; the profile reads "<profile>" and the sign-on
    // command stops before the roasted password.
    std::string sent()
    {
        std::string out;
        for (auto& frame : testing_support::ParseFrames(sock->AllSent())) {
            std::string& p = frame.payload;
            if (frame.type != 2 || p.empty())
                continue;
            p.pop_back();
            if (p == "toc_set_info \"<body bgcolor=black><font color=lime><b>Dorvi Rivir 4.0<br>Get it: <a "
                     "href=\\\"AIM:GoIM?ScreenName=kdq&Message=Rivir+Request\\\">Here</a>\"")
                p = "<profile>";
            out += (out.empty() ? "" : " | ") + p.substr(0, p.rfind("toc2_login", 0) == 0 ? p.find(" 0x") : p.npos);
        }
        sock->ClearSent();
        return out;
    }
    // The status, which of Text1 .. Text4 are read-only, how often it connected, where the windows
    // are, and the status tooltip's first line: "Online 1100 1 hidden tray".
    std::string mainState()
    {
        std::string s = form->Label1->text().toStdString() + " ";
        for (QLineEdit* box : { form->Text1, form->Text2, form->Text3, form->Text4 })
            s += box->isReadOnly() ? '1' : '0';
        s += " " + std::to_string(sock->connectCalls) + (form->isVisible() ? "" : " hidden") + (form->isMinimized() ? " min" : "");
        s += std::string(form->cSysTray1->isVisible() ? " tray" : "") + (Form2::existing() ? " im" : "");
        const QString tip = form->Frame1->toolTip().section(QLatin1Char('\n'), 0, 0);
        return s + (tip.isEmpty() ? "" : " " + tip.toStdString());
    }
    // The IM window: its line count and last line, the recipient and the message box.
    std::string imState()
    {
        Form2* w = Form2::existing();
        if (!w)
            return "none";
        EXPECT_EQ(w->List1->currentRow(), w->List1->count() - 1);
        const QString last = w->List1->count() ? w->List1->item(w->List1->count() - 1)->text() : QString();
        return (QString::number(w->List1->count()) + u' ' + last + QStringLiteral(" > ") + w->USER->text() + QStringLiteral(" [") + w->Text1->text() + u']'
                + (w->isVisible() ? QString() : QStringLiteral(" hidden"))).toStdString();
    }
    // The five buttons' faces and the running light-show timers: "#.... 12".
    std::string lightState()
    {
        std::string running;
        for (char t : std::string("12345"))
            running += form->editor()->findChild<QTimer*>(QStringLiteral("Timer") + QLatin1Char(t))->isActive() ? t : ' ';
        std::erase(running, ' ');
        return buttons(&face) + " " + (running.empty() ? "-" : running);
    }
    void play(const std::vector<Step>& script, std::string (Gui::*state)())
    {
        for (const Step& step : script) {
            SCOPED_TRACE(step.action);
            form->Frame1->setToolTip({});
            run(step.action);
            QCoreApplication::sendPostedEvents();
            EXPECT_EQ(sent(), step.sent);
            EXPECT_EQ((this->*state)(), step.state);
        }
    }

    testing_support::FakeSocket* sock = nullptr;
    std::unique_ptr<TestForm> form;
    std::optional<std::uint32_t> answer;
    std::string opened;
};

TEST_F(Gui, WindowsStartWithTheirLayoutTextsAndColours)
{
    Form1* f = form.get();
    Form2* im = Form2::instance();
    editoR* e = form->editor();
    EXPECT_FALSE(im->isVisible() || e->isVisible());
    im->show();
    const struct {
        QWidget* window;
        const char* name;
        QRect geometry;
        const char* text;
        const char* look; // text and background colour, as far as given
    } rows[] = {
        { f, "WinIII", { 0, 0, 361, 241 }, "", "" },          { f, "xx", { 0, 0, 361, 241 }, "", "" },
        { f, "Text1", { 24, 24, 121, 19 }, "Screen Name", "l." }, { f, "Text2", { 24, 56, 121, 19 }, "Password", "l." },
        { f, "XPButton1", { 24, 88, 57, 17 }, "Sign On", "" }, { f, "XPButton2", { 88, 88, 57, 17 }, "Sign Off", "" },
        { f, "Frame1", { 256, 192, 97, 41 }, "Status", "l." }, { f, "Label1", { 8, 16, 65, 17 }, "None", "l" },
        { f, "Text3", { 152, 24, 105, 19 }, "Chat Room", "l." }, { f, "Text4", { 256, 24, 17, 19 }, "4", "l." },
        { f, "XPButton3", { 152, 88, 57, 17 }, "Join", "" },  { f, "XPButton4", { 216, 88, 57, 17 }, "Leave", "" },
        { f, "XPButton5", { 152, 56, 121, 17 }, "Send To Tray", "" }, { f, "IMs", { 392, 256, 57, 43 }, "", "" },
        { f, "q", { 8, 216, 89, 17 }, "Moving Mode", "l." },  { f, "ed", { 8, 200, 73, 13 }, "Edit Mode", "l." },
        { im, "WinIII", { 0, 0, 361, 241 }, "", "" },         { im, "xx", { 0, 0, 361, 153 }, "", "" },
        { im, "List1", { 8, 8, 329, 82 }, "", "l." },         { im, "Text1", { 8, 96, 329, 19 }, "Message", "l." },
        { im, "Command1", { 264, 160, 33, 13 }, "", "" },     { im, "USER", { 32, 120, 305, 19 }, "", "l." },
        { im, "Label1", { 8, 120, 25, 17 }, "To:", "l" },
        { e, "Command1", { 8, 24, 105, 17 }, "Textbox Color", "" }, { e, "Command2", { 8, 40, 105, 17 }, "Textbox Font Color", "" },
        { e, "Command3", { 120, 24, 105, 17 }, "Button Color", "" }, { e, "Command4", { 120, 40, 105, 17 }, "Button Font Color", "" },
        { e, "Label1", { 88, 56, 121, 25 }, "Background:", "w" }, { e, "Command5", { 8, 72, 217, 17 }, "Use Target Image", "" },
        { e, "Command6", { 8, 88, 217, 17 }, "Pick Color", "" },  { e, "Command7", { 16, 112, 105, 17 }, "Light Show [ On ]", "" },
        { e, "Command8", { 120, 112, 105, 17 }, "Light Show [ Off ]", "" }, { e, "WinIII", { -64, -64, 361, 241 }, "", "" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.window->objectName().toStdString() + "." + row.name);
        auto* w = row.window->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), row.window == f && w == f->Label1 ? f->Frame1 : row.window);
        EXPECT_EQ(w->geometry(), row.geometry);
        const auto* button = qobject_cast<XPButton*>(w);
        const auto* frame = qobject_cast<QGroupBox*>(w);
        EXPECT_EQ(button ? button->caption() : frame ? frame->title() : w->property("text").toString(), QLatin1String(row.text));
        EXPECT_EQ((std::string { shade(ForeColor(w)), shade(BackColor(w)) }).substr(0, std::strlen(row.look)), row.look);
        // Every caption of the editor fits its small button.
        if (qobject_cast<QPushButton*>(w)) {
            EXPECT_LE(w->fontMetrics().horizontalAdvance(w->property("text").toString()), w->width() - 6);
        }
    }
    const std::pair<QWidget*, QSize> windows[] = { { f, { 361, 241 } }, { im, { 356, 149 } }, { e, { 246, 156 } } };
    for (const auto& [window, size] : windows) {
        EXPECT_EQ(window->size(), size);
        EXPECT_FALSE(window->windowIcon().isNull());
        EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("WinIII"))->pixmap().size(), QSize(361, 241));
    }
    EXPECT_EQ(f->windowTitle() + im->windowTitle() + e->windowTitle(), QStringLiteral("Dorvi Rivir 4.0Incoming IMsEdit Mode"));
    EXPECT_EQ(f->objectName() + im->objectName() + e->objectName(), QStringLiteral("Form1Form2editoR"));
    const auto tabOrder = [](QWidget* window, QString order = {}) {
        for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
            order += w->focusPolicy() & Qt::TabFocus ? w->objectName() + QLatin1Char(' ') : QString();
        return order;
    };
    EXPECT_EQ(tabOrder(f), QStringLiteral("Text1 Text2 XPButton1 XPButton2 Text3 Text4 XPButton3 XPButton4 XPButton5 IMs q ed "));
    EXPECT_EQ(tabOrder(im), QStringLiteral("List1 Text1 Command1 USER "));
    // The picture lies at the bottom, the panel just above it, hidden.
    for (QWidget* window : { static_cast<QWidget*>(f), static_cast<QWidget*>(im) }) {
        EXPECT_EQ(window->children().indexOf(window->findChild<QLabel*>(QStringLiteral("WinIII"))), 0);
        EXPECT_EQ(window->children().indexOf(window->findChild<QWidget*>(QStringLiteral("xx"))), 1);
        EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("xx"))->isHidden());
    }
    EXPECT_EQ(e->childAt(2, 2), e->WinIII);
    EXPECT_EQ(e->childAt(e->Command6->geometry().center()), e->Command6);
    EXPECT_TRUE(e->Label1->alignment() & Qt::AlignTop);
    EXPECT_EQ(buttons(&face) + " " + buttons(&caption), "..... ggggg");
    EXPECT_FALSE(f->q->isChecked() || f->ed->isChecked() || f->cSysTray1->isVisible());
    EXPECT_EQ(f->Timer1->interval(), 60000);
    EXPECT_TRUE(f->Timer1->isActive());
    // Nothing else ticks: an idle idler does no work.
    EXPECT_EQ(f->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    EXPECT_EQ(e->CD->Color(), 0x000000u);

    // The password shows in clear until the first keystroke, then as stars.
    EXPECT_EQ(f->Text2->displayText(), QStringLiteral("Password"));
    f->Text2->selectAll();
    QTest::keyClicks(f->Text2, QStringLiteral("secret"));
    EXPECT_EQ(f->Text2->text() + f->Text2->displayText(), QStringLiteral("secret******"));
}

TEST_F(Gui, WhatIsDrawnIsLimeOnBlackAndTheButtonsInTheirColours)
{
    // Lime letters on black and nothing else right of the check marks; the label draws only letters.
    const QImage shot = form->grab().toImage();
    for (QWidget* control : { static_cast<QWidget*>(form->Text1), static_cast<QWidget*>(form->q),
                              static_cast<QWidget*>(form->ed), static_cast<QWidget*>(form->Label1) }) {
        const int skip = control == form->Label1 ? 0 : 20;
        const QRect area = QRect(control->mapTo(form.get(), QPoint(0, 0)), control->size()).adjusted(skip, 3, -3, -3);
        EXPECT_EQ(count(shot, area, [](QRgb p) { return qRed(p) > 40 || qBlue(p) > 40; }), 0) << control->objectName().toStdString();
        EXPECT_GT(count(shot, area, [](QRgb p) { return qGreen(p) > 200; }), 5) << control->objectName().toStdString();
    }
    // The buttons draw their face and caption colours at once.
    form->XPButton3->setBcol(0x0000FF);
    form->XPButton3->setFcol(0xFFFFFF);
    const QImage button = form->XPButton3->grab().toImage();
    EXPECT_EQ(shade(FromQColor(button.pixelColor(3, 8))), 'r');
    EXPECT_GT(count(button, button.rect().adjusted(2, 2, -2, -2), [](QRgb p) { return qBlue(p) > 100 && qGreen(p) > 100; }), 5);
}

TEST_F(Gui, MainWindowSignsOnJoinsLeavesGoesToTheTrayAndSignsOff)
{
    const std::string refused = "Online 1100 1 Exchange must be a whole number from -32768 to 32767";
    const std::string leave = "toc_chat_leave \"7\"";
    const std::string lost = "Connection lost: The remote host closed the connection";
    const std::string status = "toc_get_status \"joebloggs\"";
    form->move(120, 80);
    play({
             { "press 5", "", "None 0000 0 min" }, // no tray to come back from: minimised instead
             { "restore", "", "None 0000 0" },
             { "tick", "", "None 0000 0" },        // the profile refresh goes nowhere while signed off
             { "set 1 Joe Bloggs", "", "None 0000 0" },
             { "right 1", "", "None 0000 1" }, // any mouse button acts
             { "signon", "toc2_login login.oscar.aol.com 5190 joebloggs | <profile> | toc_init_done | " + status, "Online 1100 1" },
             { "recv ERROR:989:7", "", "Online 1100 1 The screenname or password you entered is not valid" },
             { "tick", "<profile>", "Online 1100 1" },
             { "set 3   Lobby ", "", "Online 1100 1" },
             { "join -32768", "toc_chat_join \"-32768\" \"Lobby\"", "Online 1100 1" },
             { "join 32767", "toc_chat_join \"32767\" \"Lobby\"", "Online 1100 1" },
             { "join 32768", "", refused }, { "join -32769", "", refused }, { "join 4.5", "", refused },
             { "join x", "", refused }, { "join ", "", refused },
             { "recv CHAT_JOIN:7:Room", "", "Chat Joined 1111 1" },
             { "press 4", leave, "Chat Joined 1111 1" },
             { "click", leave, "Chat Joined 1111 1" },
             { "recv CHAT_LEFT:7", "", "Chat Left 1100 1" },
             { "press 4", leave, "Chat Left 1100 1" }, // the control keeps the id after leaving
             { "moving on", "", "Chat Left 1100 1" },
             { "click", leave, "Chat Left 1100 1" }, // the room box's click ignores Moving Mode
             { "press 1", "", "Chat Left 1100 1" },
             { "space 1", "", "Chat Left 1100 1" },
             { "moving off", "", "Chat Left 1100 1" },
             { "recv CHAT_JOIN:7:Room", "", "Chat Joined 1111 1" },
             { "press 2", "", "Offline 0011 1" },
             { "space 1", "", "Offline 0011 2" },
             { "signon", "toc2_login login.oscar.aol.com 5190 joebloggs | <profile> | toc_init_done | " + status, "Online 1111 2" },
             { "tray", "", "Online 1111 2" },
             { "press 5", "", "Online 1111 2 hidden tray" },
             { "im Bob hi", "", "Online 1111 2 hidden tray im" },
             { "icon click", "", "Online 1111 2 hidden tray im" },
             { "icon double", "", "Online 1111 2 im" },
             // A broken connection is retried, and the room joined again once back.
             { "join 5", "toc_chat_join \"5\" \"Lobby\"", "Online 1111 2 im" },
             { "recv CHAT_JOIN:8:Lobby", "", "Chat Joined 1111 2 im" },
             { "fail The remote host closed the connection", "", "Reconnecting 1111 2 im " + lost },
             { "press 1", "", "Reconnecting 1111 3 im" },
             { "signon", "toc2_login login.oscar.aol.com 5190 joebloggs | <profile> | toc_init_done | " + status + " | toc_chat_join \"5\" \"Lobby\"",
               "Online 1111 3 im" },
             { "press 2", "", "Offline 0011 3 im" },
             // A refused password is not retried, and the server's word for it stays.
             { "press 1", "", "Offline 0011 4 im" },
             { "connect", "toc2_login login.oscar.aol.com 5190 joebloggs", "Offline 0011 4 im" },
             { "recv ERROR:980", "", "Offline 0011 4 im Invalid account or password" },
             { "fail The remote host closed the connection", "", "Offline 0011 4 im" },
         },
         &Gui::mainState);
    EXPECT_EQ(sock->lastHost + ":" + std::to_string(sock->lastPort), "toc.test:5190");
    EXPECT_EQ(form->pos(), QPoint(120, 80));
}

TEST_F(Gui, MovingModeDragsButtonsAndBoxesAndTheBackgroundAlwaysDragsTheWindow)
{
    // Presses at (5, 5), drags 20 right and 10 down, releases and moves on: where the control was
    // while held and where it stayed.
    const auto drag = [&](QWidget* control) {
        const QPoint start = control->pos();
        QTest::mousePress(control, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(form.get(), start + QPoint(25, 15));
        const QPoint held = control->pos() - start;
        QTest::mouseRelease(form.get(), Qt::LeftButton, {}, start + QPoint(25, 15));
        QTest::mouseMove(form.get(), start + QPoint(60, 60));
        return std::make_pair(held, control->pos() - start);
    };
    const std::vector<QWidget*> all { form->XPButton1, form->XPButton2, form->XPButton3, form->XPButton4, form->XPButton5,
                                      form->Text1,      form->Text2,      form->Text3,      form->Text4 };
    for (QWidget* control : { all[2], all[5] })
        EXPECT_EQ(drag(control), std::make_pair(QPoint(), QPoint())) << control->objectName().toStdString();
    form->q->setChecked(true);
    for (QWidget* control : all)
        EXPECT_EQ(drag(control), std::make_pair(QPoint(20, 10), QPoint(20, 10))) << control->objectName().toStdString();
    EXPECT_TRUE(sock->connectCalls == 0 && form->isVisible() && !form->isMinimized());

    const QPoint start = form->pos();
    QTest::mousePress(form->WinIII, Qt::LeftButton, {}, QPoint(300, 150));
    QTest::mouseMove(form->WinIII, QPoint(340, 180));
    QTest::mouseRelease(form->WinIII, Qt::LeftButton, {}, QPoint(340, 180));
    EXPECT_EQ(form->pos(), start + QPoint(40, 30));
}

TEST_F(Gui, IncomingIMsAreLoggedWithoutMarkupAndEnterRepliesToTheLatestSender)
{
    signOn();
    play({
             { "im Bob <b>hello</b> <font color=red>there</font>", "", "1 Bob: hello there > Bob [Message]" },
             { "type half a repl", "", "1 Bob: hello there > Bob [half a repl]" },
             { "to typed by me", "", "1 Bob: hello there > typed by me [half a repl]" },
             { "im Ann two", "", "2 Ann: two > Ann [half a repl]" }, // a reply being typed survives
             { "type hello (you)", "", "2 Ann: two > Ann [hello (you)]" },
             { "enter", "toc_send_im \"ann\" \"hello \\(you\\)\"", "3 Attempt: hello (you) > Ann []" },
             { "type again", "", "3 Attempt: hello (you) > Ann [again]" },
             { "to Ann Lee", "", "3 Attempt: hello (you) > Ann Lee [again]" },
             { "enter-to", "toc_send_im \"annlee\" \"again\"", "4 Attempt: again > Ann Lee []" },
             // UTF-8 when it is valid, else Latin-1 byte for byte; replies go out as UTF-8.
             { "im Bob caf\xc3\xa9", "", "5 Bob: caf\xc3\xa9 > Bob []" },
             { "im Bob caf\xe9 \xff", "", "6 Bob: caf\xc3\xa9 \xc3\xbf > Bob []" },
             { "type na\xc3\xafve \xe2\x82\xac", "", "6 Bob: caf\xc3\xa9 \xc3\xbf > Bob [na\xc3\xafve \xe2\x82\xac]" },
             { "enter", "toc_send_im \"bob\" \"na\xc3\xafve \xe2\x82\xac\"", "7 Attempt: na\xc3\xafve \xe2\x82\xac > Bob []" },
             { "close", "", "none" },
             { "im Ann two", "", "1 Ann: two > Ann [Message]" }, // a fresh window
             { "press 2", "", "1 Ann: two > Ann [Message]" },
             { "enter", "", "2 Attempt: Message > Ann []" }, // signed off: logged, not sent
             { "enter", "", "3 Attempt:  > Ann []" },
         },
         &Gui::imState);
}

TEST_F(Gui, ColourCommandsReachTheirTargetsAndCancelAppliesTheLastConfirmedColour)
{
    editoR* e = form->editor();
    const auto boxes = [&](std::uint32_t (*colour)(const QWidget*)) {
        Form2* im = Form2::existing();
        return shades({ form->Text1, form->Text2, form->Text3, form->Text4, im->Text1, im->USER, im->List1, form->IMs }, colour);
    };
    choose(e->Command2, std::nullopt); // first use, Cancel: black
    EXPECT_FALSE(Form2::existing()->isVisible()); // created hidden by the first write
    EXPECT_EQ(boxes(&ForeColor), "........");
    choose(e->Command1, 0x0000FF);
    choose(e->Command2, std::nullopt);
    EXPECT_EQ(boxes(&BackColor) + " " + boxes(&ForeColor), "rrrrrrrw rrrrrrr."); // never the main window's IMs
    choose(e->Command4, 0xFF0000);
    choose(e->Command3, std::nullopt);
    choose(e->Command4, 0x0000FF);
    EXPECT_EQ(buttons(&face) + " " + buttons(&caption) + " " + opened, "bbbbb rrrrr ..rrbb");
    EXPECT_EQ(pixel(form.get(), form->XPButton3->geometry().topLeft() + QPoint(4, 4)), 'b');
    Form2::Deliver("buddy", "hello");
    EXPECT_TRUE(Form2::existing()->isVisible());
    EXPECT_EQ(boxes(&BackColor), "rrrrrrrw");
}

TEST_F(Gui, PickColorCoversBothPicturesAndTakesTheBackgroundDragUntilUseTargetImage)
{
    editoR* e = form->editor();
    Form2* im = Form2::instance();
    im->show();
    // The middle of each window, the check boxes' and panels' colours, which pictures and panels
    // show, and how far a press on the background drags the main window.
    const auto state = [&] {
        const QPoint before = form->pos();
        QWidget* under = form->childAt(200, 150);
        QTest::mousePress(under, Qt::LeftButton, {}, QPoint(200, 150));
        QTest::mouseMove(under, QPoint(230, 170));
        QTest::mouseRelease(under, Qt::LeftButton, {}, QPoint(230, 170));
        return std::string { pixel(form.get(), { 200, 150 }), pixel(im, { 100, 144 }), ' ' }
            + shades({ form->ed, form->q, form->xx, im->xx }, &BackColor) + " "
            + shades({ form->WinIII, im->WinIII, form->xx, im->xx }, &shown) + " " + std::to_string((form->pos() - before).x());
    };
    const QImage before = form->grab().toImage();
    press(e->Command5); // in picture mode nothing changes
    EXPECT_EQ(form->grab().toImage(), before);
    EXPECT_EQ(state(), "?? ..?? ##.. 30");
    choose(e->Command6, 0x0000FF);
    EXPECT_EQ(state(), "rr rrrr ..## 0");
    EXPECT_EQ(form->childAt(form->Text3->geometry().center()), form->Text3); // the controls stay above the panel
    press(e->Command5);
    EXPECT_EQ(state(), "?? ..rr ##.. 30");
    choose(e->Command6, 0x00FF00);
    EXPECT_EQ(state(), "ll llll ..## 0");
}

TEST_F(Gui, EditModeShowsTheEditorAndClosingItOrTheMainWindowRunsItsClosingSteps)
{
    signOn();
    QPointer<editoR> first = form->editor();
    QTest::mouseClick(form->ed, Qt::LeftButton);
    EXPECT_TRUE(first->isVisible());
    choose(first->Command3, 0xFF0000);
    choose(first->Command4, 0x0000FF);
    run("start");
    QTest::mouseClick(form->ed, Qt::LeftButton); // hidden, the light show goes on
    run("fire 1");
    EXPECT_EQ(lightState() + (first->isVisible() ? " shown" : ""), "#bbb. 12");
    QTest::mouseClick(form->ed, Qt::LeftButton);
    EXPECT_TRUE(form->editor() == first && first->isVisible());
    first->close();
    EXPECT_EQ(lightState() + " " + buttons(&caption) + (form->ed->isChecked() ? " ed" : ""), "..... - rrrrr");
    flushDeletes();
    ASSERT_TRUE(first.isNull() && form->editor() && !form->editor()->isVisible());
    QTest::mouseClick(form->ed, Qt::LeftButton);
    choose(form->editor()->Command2, std::nullopt); // a fresh editor's dialog starts at black
    choose(form->editor()->Command3, 0xFF0000);
    EXPECT_EQ(opened + " " + buttons(&face), ".b.. bbbbb");

    Form2::Deliver("Bob", "hi");
    QPointer<Form2> im = Form2::existing();
    const int closes = sock->closeCalls;
    EXPECT_TRUE(form->close());
    EXPECT_EQ(buttons(&face) + (form->ed->isChecked() ? " ed" : "") + (Form2::existing() ? " im" : ""), ".....");
    flushDeletes();
    EXPECT_TRUE(im.isNull() && !form->editor());
    EXPECT_EQ(sent() + std::to_string(sock->closeCalls - closes), "0"); // no sign-off
}

TEST_F(Gui, LightShowHandsTheLightOnFromTimerToTimer)
{
    play({
             { "start", "", "..... 1" }, // nothing shows before the first tick
             { "start", "", "..... 1" },
             { "fire 1", "", "#.... 12" },
             { "fire 2", "", ".#... 23" },
             { "fire 3", "", "..#.. 34" },
             { "fire 4", "", "...#. 45" },
             { "fire 5", "", "....# 15" },
             { "fire 1", "", "#.... 12" },
             { "start", "", "#.... 12" },  // Timer1 still runs: nothing changes
             { "fire 22", "", ".#... 23" }, // a repeated tick writes the same colours again
             { "fire 3", "", "..#.. 34" },
             { "start", "", "..#.. 134" }, // a second light
             { "fire 41", "", "#..#. 124" },
             { "fire 42", "", ".#.#. 2345" },
             { "fire 53", "", "..#.# 1345" },
             { "stop", "", "..... -" },
             { "start", "", "..... 1" },
             { "fire 1234", "", "...#. 45" },
             { "start", "", "...#. 145" }, // just behind the light: it merges
             { "fire 5", "", "....# 15" },
             { "fire 1", "", "#.... 12" },
         },
         &Gui::lightState);
    // A face colour chosen while the light runs is overwritten as the light passes; captions stay.
    choose(form->editor()->Command3, 0x0000FF);
    choose(form->editor()->Command4, 0x0000FF);
    play({ { "fire 2", "", ".#rrr 23" }, { "fire 3451", "", "#.... 12" }, { "stop", "", "..... -" } }, &Gui::lightState);
    EXPECT_EQ(shades({ form->XPButton1, form->XPButton5 }, &caption), "rr");
}

TEST_F(Gui, LightShowAdvancesAboutEveryFiftyMillisecondsOnTheRealClock)
{
    // Start is pressed again every 10 ms until the first light, which must not put it off.
    QElapsedTimer clock;
    std::string order;
    std::vector<qint64> at;
    for (XPButton* button : { form->XPButton1, form->XPButton2, form->XPButton3, form->XPButton4, form->XPButton5 }) {
        QObject::connect(button, &XPButton::bcolChanged, button, [&, n = button->objectName().back().toLatin1()](uint value) {
            if (value == 0xC0C0C0 && (order.empty() || order.back() != n)) {
                order += n;
                at.push_back(clock.elapsed());
            }
        });
    }
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, form.get(), [&] { order.empty() ? run("start") : void(); });
    clock.start();
    run("start");
    presser.start(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() >= 6; }, 20000));
    run("stop");
    EXPECT_EQ(order.substr(0, 6), "123451");
    EXPECT_GE(at[0], 40);
    EXPECT_GE(at[5] - at[0], 200);
}

TEST(GuiParts, RealColourDialogStartsAtTheLastConfirmedColourAndCancelKeepsIt)
{
    QWidget owner;
    ColorDialog cd(&owner);
    QColor openedAt;
    for (const bool ok : { true, false }) {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            openedAt = dialog->currentColor();
            dialog->setCurrentColor(ok ? QColor(0x12, 0x34, 0x56) : Qt::white);
            ok ? dialog->accept() : dialog->reject();
        });
        EXPECT_EQ(cd.ShowColor(), ok);
        EXPECT_EQ(openedAt, ok ? QColor(Qt::black) : QColor(0x12, 0x34, 0x56));
        EXPECT_EQ(cd.Color(), 0x563412u);
    }
}

TEST(GuiParts, ColoursAndServerAddresses)
{
    EXPECT_EQ(ToQColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(0x80000007), QApplication::palette().color(QPalette::WindowText));
    EXPECT_EQ(ToQColor(0x8000000E), QApplication::palette().color(QPalette::HighlightedText));
    EXPECT_EQ(ToQColor(0x80000018), QApplication::palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(FromQColor(QColor(0x12, 0x34, 0x56, 0x10)), 0x563412u);
    const std::pair<const char*, const char*> addresses[] = {
        { "127.0.0.1:5190", "127.0.0.1 5190" }, { "toc.example.net", "toc.example.net 5190" }, { "[::1]:9898", "::1 9898" },
        { "[::1]", "::1 5190" }, { "h:1", "h 1" }, { "h:65535", "h 65535" }, { "", "" }, { ":5190", "" }, { "h:", "" },
        { "h:0", "" }, { "h:65536", "" }, { "h:+80", "" }, { "h:80x", "" }, { "h:1:2", "" }, { "::1", "" }, { "[::1", "" },
        { "[::1]x", "" }, { "[]:80", "" }, { "[::1]:", "" }, { "a b:80", "" }, { "h:123456", "" },
    };
    for (const auto& [text, expected] : addresses) {
        const auto address = ParseServerAddress(QString::fromLatin1(text));
        EXPECT_EQ(address ? address->host + " " + std::to_string(address->port) : "", expected) << text;
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the program bare, with no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
