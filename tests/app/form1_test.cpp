#include "editor/editor.h"
#include "tests/app/windowfixture.h"

namespace windows_test {
namespace {

using testing_support::Data;

const std::string ProfileCommand
    = cmd("toc_set_info \"<body bgcolor=black><font color=lime><b>Dorvi Rivir 4.0<br>Get it: <a href=\\\""
          "AIM:GoIM?ScreenName=kdq&Message=Rivir+Request\\\">Here</a>\"");

// A main window on a desktop that has a system tray.
class TrayForm1 : public Form1 {
public:
    using Form1::Form1;

protected:
    bool systemTrayAvailable() const override { return true; }
};

// ---- The look of a fresh window ----

TEST_F(MainWindowTest, EveryControlSitsWhereTheLayoutPutsItInTabOrder)
{
    const struct {
        const char* name;
        QRect geometry;
    } table[] = {
        { "WinIII", { 0, 0, 361, 241 } },      { "xx", { 0, 0, 361, 241 } },         { "Text1", { 24, 24, 121, 19 } },
        { "Text2", { 24, 56, 121, 19 } },      { "XPButton1", { 24, 88, 57, 17 } },  { "XPButton2", { 88, 88, 57, 17 } },
        { "Frame1", { 256, 192, 97, 41 } },    { "Label1", { 8, 16, 65, 17 } },      { "Text3", { 152, 24, 105, 19 } },
        { "Text4", { 256, 24, 17, 19 } },      { "XPButton3", { 152, 88, 57, 17 } }, { "XPButton4", { 216, 88, 57, 17 } },
        { "XPButton5", { 152, 56, 121, 17 } }, { "IMs", { 392, 256, 57, 43 } },      { "q", { 8, 216, 89, 17 } },
        { "ed", { 8, 200, 73, 13 } },
    };
    for (const auto& row : table) {
        auto* control = form->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr) << row.name;
        EXPECT_EQ(control->geometry(), row.geometry) << row.name;
    }
    EXPECT_EQ(form->Label1->parentWidget(), form->Frame1);
    EXPECT_EQ(form->size(), QSize(361, 241));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Dorvi Rivir 4.0"));
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(form->WinIII->pixmap().size(), QSize(361, 241));
    EXPECT_EQ(tabOrder(form->Text1),
              QStringLiteral("Text1 Text2 XPButton1 XPButton2 Text3 Text4 XPButton3 XPButton4 XPButton5 IMs q ed"));
}

TEST_F(MainWindowTest, StartsWithTheDesignTextsUnlockedUncheckedAndOutOfTheTray)
{
    const std::pair<QString, const char*> texts[] = {
        { form->Text1->text(), "Screen Name" }, { form->Text2->displayText(), "Password" },
        { form->Text3->text(), "Chat Room" },   { form->Text4->text(), "4" },
        { form->Frame1->title(), "Status" },    { form->q->text(), "Moving Mode" },
        { form->ed->text(), "Edit Mode" },
    };
    for (const auto& [shown, expected] : texts)
        EXPECT_EQ(shown, QString::fromLatin1(expected));
    EXPECT_EQ(state(), "None 0000");
    EXPECT_FALSE(form->q->isChecked() || form->ed->isChecked() || form->xx->isVisible());
    EXPECT_FALSE(form->cSysTray1->isVisible());
    EXPECT_EQ(form->IMs->count(), 0);
    const char* captions[] = { "Sign On", "Sign Off", "Join", "Leave", "Send To Tray" };
    for (int i = 0; i < 5; ++i) {
        XPButton* button = buttons()[static_cast<std::size_t>(i)];
        EXPECT_EQ(button->caption(), QString::fromLatin1(captions[i]));
        EXPECT_EQ(button->bcol(), 0x000000u);
        EXPECT_EQ(button->fcol(), 0x00C000u);
    }
    EXPECT_EQ(sock->connectCalls, 0);
}

TEST_F(MainWindowTest, BoxesDrawLimeOnTheMenuTextColourAndTheChecksAndStatusLimeOnBlack)
{
    const std::uint32_t menuText = FromQColor(ToQColor(0x80000007));
    for (QLineEdit* box : boxes()) {
        EXPECT_EQ(ForeColor(box), 0x00FF00u) << box->objectName().toStdString();
        EXPECT_EQ(BackColor(box), menuText) << box->objectName().toStdString();
    }
    for (QWidget* control : std::initializer_list<QWidget*> { form->q, form->ed, form->Frame1 }) {
        EXPECT_EQ(ForeColor(control), 0x00FF00u) << control->objectName().toStdString();
        EXPECT_EQ(BackColor(control), 0x000000u) << control->objectName().toStdString();
    }
    EXPECT_EQ(ForeColor(form->Label1), 0x00FF00u);

    // What is on the screen: lime letters on black and nothing else, right of the check marks;
    // the status label draws only its letters over the black frame.
    const QImage shot = form->grab().toImage();
    const std::pair<QWidget*, int> areas[] = { { form->Text1, 20 }, { form->q, 20 }, { form->ed, 20 }, { form->Label1, 0 } };
    for (const auto& [control, skip] : areas) {
        const QRect area = QRect(control->mapTo(form.get(), QPoint(0, 0)), control->size()).adjusted(skip, 3, -3, -3);
        EXPECT_EQ(countPixels(shot, area, [](QRgb p) { return qRed(p) > 40 || qBlue(p) > 40; }), 0)
            << control->objectName().toStdString();
        EXPECT_GT(countPixels(shot, area, [](QRgb p) { return qGreen(p) > 200; }), 5)
            << control->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, PictureIsAtTheBottomAndThePanelCoversOnlyThePicture)
{
    EXPECT_EQ(form->children().indexOf(form->WinIII), 0);
    EXPECT_EQ(form->children().indexOf(form->xx), 1);
    SetBackColor(form->xx, 0xFF00FF);
    form->xx->show();
    const QImage shot = form->grab().toImage();
    EXPECT_EQ(shot.pixel(2, 2) & 0xFFFFFF, 0xFF00FFu);
    for (QWidget* control : std::initializer_list<QWidget*> { form->Text1, form->XPButton5, form->Frame1 })
        EXPECT_NE(shot.pixel(control->geometry().center()) & 0xFFFFFF, 0xFF00FFu) << control->objectName().toStdString();
}

// ---- Signing on and off ----

TEST_F(MainWindowTest, AnyMouseButtonOnSignOnGoesToTheNamedServerWithTheBoxes)
{
    form->Text1->setText(QStringLiteral("Joe Bloggs"));
    press(form->XPButton1, Qt::MiddleButton);
    EXPECT_EQ(sock->connectCalls, 1);
    press(form->XPButton1, Qt::RightButton);
    EXPECT_EQ(sock->connectCalls, 2);
    EXPECT_EQ(sock->lastHost, "toc.test");
    EXPECT_EQ(sock->lastPort, 5190);
    sock->CompleteConnect();
    sock->Receive(testing_support::Frame(1, std::string("\0\0\0\1", 4)));
    const auto frames = testing_support::ParseFrames(sock->AllSent());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].payload.rfind("toc2_login login.oscar.aol.com 5190 joebloggs 0x", 0), 0u)
        << frames[1].payload;
}

TEST_F(MainWindowTest, SpaceOnAFocusedButtonActsLikeAPressButNeverDrags)
{
    form->XPButton1->setFocus();
    QTest::keyClick(form->XPButton1, Qt::Key_Space);
    EXPECT_EQ(sock->connectCalls, 1);
    form->q->setChecked(true);
    const QPoint start = form->XPButton1->pos();
    QTest::keyClick(form->XPButton1, Qt::Key_Space);
    QTest::mouseMove(form.get(), QPoint(200, 200));
    EXPECT_EQ(sock->connectCalls, 1);
    EXPECT_EQ(form->XPButton1->pos(), start);
}

TEST_F(MainWindowTest, LoggedInShowsOnlineLocksTheAccountBoxesAndSetsTheProfileThenEveryMinute)
{
    EXPECT_EQ(form->Timer1->interval(), 60000);
    EXPECT_TRUE(form->Timer1->isActive());
    // Signed off, the refresh goes nowhere and harms nothing.
    QMetaObject::invokeMethod(form->Timer1, "timeout");
    EXPECT_TRUE(sock->AllSent().empty());

    EXPECT_EQ(signOn(), (Sent { ProfileCommand, cmd("toc_init_done") }));
    EXPECT_EQ(state(), "Online 1100");
    QMetaObject::invokeMethod(form->Timer1, "timeout");
    QMetaObject::invokeMethod(form->Timer1, "timeout");
    EXPECT_EQ(sentData(), (Sent { ProfileCommand, ProfileCommand }));
}

TEST_F(MainWindowTest, SignOffAndABrokenConnectionShowOfflineAndUnlockTheAccountBoxes)
{
    signOn();
    press(form->XPButton2);
    EXPECT_EQ(state(), "Offline 0000");
    EXPECT_EQ(sock->State(), toc::SocketState::Closed);

    // A broken connection is retried until the user signs off.
    signOn();
    sock->Fail("The remote host closed the connection");
    EXPECT_EQ(state(), "Reconnecting 1100");
    EXPECT_TRUE(form->Frame1->toolTip().startsWith(QStringLiteral("Connection lost: The remote host closed the connection\nNext attempt (1) at ")));
    press(form->XPButton2);
    EXPECT_EQ(state(), "Offline 0000");
    EXPECT_FALSE(form->keeper().Waiting());
}

TEST_F(MainWindowTest, ServerErrorTextBecomesTheStatusTooltipAndNothingElseChanges)
{
    press(form->XPButton1);
    sock->CompleteConnect();
    sock->Receive(testing_support::Frame(1, std::string("\0\0\0\1", 4)));
    sock->Receive(Data("ERROR:989:7"));
    EXPECT_EQ(form->Frame1->toolTip(), QStringLiteral("The screenname or password you entered is not valid"));
    EXPECT_EQ(state(), "None 0000");
}

TEST_F(MainWindowTest, PasswordShowsInClearUntilTheFirstKeystrokeThenStars)
{
    form->Text2->setFocus();
    form->Text2->selectAll();
    QTest::keyClicks(form->Text2, QStringLiteral("secret"));
    EXPECT_EQ(form->Text2->text(), QStringLiteral("secret"));
    EXPECT_EQ(form->Text2->displayText(), QStringLiteral("******"));
    form->Text2->clear();
    form->Text2->setText(QStringLiteral("again"));
    EXPECT_EQ(form->Text2->displayText(), QStringLiteral("*****"));
}

// ---- Chat ----

TEST_F(MainWindowTest, JoinSendsTheRoomAndAnExchangeThatIsAWholeInt16)
{
    signOn();
    form->Text3->setText(QStringLiteral("  Lobby "));
    form->Text4->setText(QStringLiteral("-32768"));
    press(form->XPButton3);
    form->Text4->setText(QStringLiteral("32767"));
    press(form->XPButton3);
    EXPECT_EQ(sentData(), (Sent { cmd("toc_chat_join \"-32768\" \"Lobby\""), cmd("toc_chat_join \"32767\" \"Lobby\"") }));

    sock->ClearSent();
    for (const char* bad : { "", "x", "4.5", "32768", "-32769", "99999999999" }) {
        form->Frame1->setToolTip(QString());
        form->Text4->setText(QString::fromLatin1(bad));
        press(form->XPButton3);
        EXPECT_EQ(form->Frame1->toolTip(), QStringLiteral("Exchange must be a whole number from -32768 to 32767"))
            << '"' << bad << '"';
    }
    EXPECT_TRUE(sentData().empty());
}

TEST_F(MainWindowTest, JoinedAndLeftChatLockAndUnlockTheRoomBoxesAndSignOffLeavesThemLocked)
{
    signOn();
    joinRoom7();
    EXPECT_EQ(state(), "Chat Joined 1111");
    sock->Receive(Data("CHAT_LEFT:7"));
    EXPECT_EQ(state(), "Chat Left 1100");
    joinRoom7();
    press(form->XPButton2);
    EXPECT_EQ(state(), "Offline 0011");
}

TEST_F(MainWindowTest, LeaveAndAClickOnTheRoomBoxLeaveTheLastChatEvenAfterLeftChatOrInMovingMode)
{
    signOn();
    joinRoom7();
    press(form->XPButton4);
    QTest::mouseClick(form->Text3, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    sock->Receive(Data("CHAT_LEFT:7"));
    press(form->XPButton4);
    form->q->setChecked(true);
    QTest::mouseClick(form->Text3, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    EXPECT_EQ(sentData(), (Sent(4, cmd("toc_chat_leave \"7\""))));
}

// ---- Moving Mode ----

// Presses `control` at (5, 5), drags the pointer 20 right and 10 down, releases and moves on; returns
// how far the control moved while held and where it was left, relative to its start.
std::pair<QPoint, QPoint> drag(Form1& form, QWidget* control)
{
    const QPoint start = control->pos();
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseMove(&form, start + QPoint(25, 15));
    const QPoint held = control->pos() - start;
    QTest::mouseRelease(&form, Qt::LeftButton, Qt::NoModifier, start + QPoint(25, 15));
    QTest::mouseMove(&form, start + QPoint(60, 60));
    return { held, control->pos() - start };
}

TEST_F(MainWindowTest, OnlyMovingModeDragsEachButtonAndBoxInsteadOfRunningIt)
{
    signOn();
    joinRoom7();
    for (QWidget* control : std::initializer_list<QWidget*> { form->XPButton3, form->Text1 })
        EXPECT_EQ(drag(*form, control), std::make_pair(QPoint(), QPoint())) << control->objectName().toStdString();
    sock->ClearSent();
    form->q->setChecked(true);
    const std::vector<QWidget*> controls { form->XPButton1, form->XPButton2, form->XPButton3, form->XPButton4,
                                           form->XPButton5, form->Text1, form->Text2, form->Text3, form->Text4 };
    for (QWidget* control : controls)
        EXPECT_EQ(drag(*form, control), std::make_pair(QPoint(20, 10), QPoint(20, 10))) << control->objectName().toStdString();
    EXPECT_EQ(sock->connectCalls, 1);
    EXPECT_EQ(form->Label1->text(), QStringLiteral("Chat Joined"));
    EXPECT_EQ(sock->State(), toc::SocketState::Connected);
    EXPECT_TRUE(sentData().empty());
    EXPECT_TRUE(form->isVisible() && !form->isMinimized());
}

TEST_F(MainWindowTest, PressOnTheBackgroundDragsTheWholeWindow)
{
    const QPoint start = form->pos();
    QTest::mousePress(form->WinIII, Qt::LeftButton, Qt::NoModifier, QPoint(300, 150));
    QTest::mouseMove(form->WinIII, QPoint(340, 180));
    EXPECT_EQ(form->pos(), start + QPoint(40, 30));
    QTest::mouseRelease(form->WinIII, Qt::LeftButton, Qt::NoModifier, QPoint(340, 180));
    EXPECT_EQ(form->pos(), start + QPoint(40, 30));
    EXPECT_EQ(form->XPButton1->pos(), QPoint(24, 88));
}

// ---- Tray ----

TEST_F(MainWindowTest, SendToTrayMinimisesWithoutATrayElseHidesUntilADoubleClickWhileIMsStillShow)
{
    // Without a tray the window could never come back from hiding: it is minimised instead.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    press(form->XPButton5);
    EXPECT_TRUE(form->isMinimized() && form->isVisible());
    EXPECT_FALSE(form->cSysTray1->isVisible());

    reopen<TrayForm1>();
    signOn();
    form->move(120, 80);
    const QPoint where = form->pos();
    press(form->XPButton5);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->cSysTray1->isVisible());

    sock->Receive(Data("IM_IN_ENC2:Bob:F:F:T: O:F:L:en:hi"));
    ASSERT_NE(Form2::existing(), nullptr);
    EXPECT_TRUE(Form2::existing()->isVisible());
    emit form->cSysTray1->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->cSysTray1->isVisible());
    emit form->cSysTray1->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->cSysTray1->isVisible());
    EXPECT_EQ(form->pos(), where);
}

// ---- Edit Mode and closing ----

TEST_F(MainWindowTest, EditorExistsHiddenAndFollowsEditModeWithoutAPollingTimer)
{
    // The only timer of the window is the minute's profile refresh: nothing wakes an idle idler.
    const auto timers = form->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0], form->Timer1);
    editoR* editor = form->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(editor->isVisible());
    form->ed->setChecked(true);
    EXPECT_TRUE(editor->isVisible());
    form->ed->setChecked(false);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(form->editor(), editor);
}

TEST_F(MainWindowTest, ClosingTheMainWindowClosesTheOthersAndSendsNoSignOff)
{
    signOn();
    sock->Receive(Data("IM_IN_ENC2:Bob:F:F:T: O:F:L:en:hi"));
    QPointer<Form2> im = Form2::existing();
    const int closes = sock->closeCalls;

    EXPECT_TRUE(form->close());
    EXPECT_EQ(Form2::existing(), nullptr);
    flushDeletes();
    EXPECT_TRUE(im.isNull());
    EXPECT_TRUE(sock->AllSent().empty());
    EXPECT_EQ(sock->closeCalls, closes);
    EXPECT_EQ(form->Label1->text(), QStringLiteral("Online"));
}

} // namespace
} // namespace windows_test
