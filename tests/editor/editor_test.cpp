#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/colors.h"
#include "app/form2.h"
#include "app/xpbutton.h"
#include "editor/colordialog.h"
#include "editorfixture.h"

using editor_testing::EditorFixture;
using editor_testing::Hex;
using editor_testing::WriteLog;
using Lines = std::vector<std::string>;

namespace {

constexpr std::uint32_t red = 0x0000FF;
constexpr std::uint32_t green = 0x00FF00;
constexpr std::uint32_t blue = 0xFF0000;
constexpr std::uint32_t lime = 0x00FF00;

QColor rgb(std::uint32_t colour)
{
    return ToQColor(colour);
}

std::uint32_t pixel(QWidget* window, QPoint at)
{
    return FromQColor(window->grab().toImage().pixelColor(at));
}

} // namespace

using EditorWindow = EditorFixture;
using TextboxCommands = EditorFixture;
using CancelledDialog = EditorFixture;
using IncomingWindow = EditorFixture;
using ButtonCommands = EditorFixture;
using BackgroundCommands = EditorFixture;
using EditorClosing = EditorFixture;

TEST_F(EditorWindow, IsBuiltFromItsTable)
{
    editoR* e = editor();
    EXPECT_EQ(e->windowTitle(), QStringLiteral("Edit Mode"));
    EXPECT_EQ(e->size(), QSize(246, 156));
    EXPECT_FALSE(e->windowIcon().isNull());

    struct Row {
        QPushButton* button;
        const char* caption;
        QRect geometry;
    };
    const Row rows[] = {
        { e->Command1, "Textbox Color", QRect(8, 24, 105, 17) },
        { e->Command2, "Textbox Font Color", QRect(8, 40, 105, 17) },
        { e->Command3, "Button Color", QRect(120, 24, 105, 17) },
        { e->Command4, "Button Font Color", QRect(120, 40, 105, 17) },
        { e->Command5, "Use Target Image", QRect(8, 72, 217, 17) },
        { e->Command6, "Pick Color", QRect(8, 88, 217, 17) },
        { e->Command7, "Light Show [ On ]", QRect(16, 112, 105, 17) },
        { e->Command8, "Light Show [ Off ]", QRect(120, 112, 105, 17) },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        EXPECT_EQ(row.button->text(), QString::fromLatin1(row.caption));
        EXPECT_EQ(row.button->geometry(), row.geometry);
        // The caption is readable in the small button: nothing is cut off at its edges.
        EXPECT_LE(row.button->fontMetrics().horizontalAdvance(row.button->text()), row.geometry.width() - 6);
        EXPECT_EQ(e->findChild<QPushButton*>(row.button->objectName()), row.button);
    }
    // Keyboard order follows the table: Command1 .. Command8.
    for (std::size_t i = 0; i + 1 < std::size(rows); ++i) {
        QWidget* next = rows[i].button->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, rows[i + 1].button) << rows[i].caption;
    }

    EXPECT_EQ(e->Label1->text(), QStringLiteral("Background:"));
    EXPECT_EQ(e->Label1->geometry(), QRect(88, 56, 121, 25));
    EXPECT_FALSE(e->Label1->autoFillBackground());
    // Its text stays clear of "Use Target Image", which overlaps the label's box.
    EXPECT_TRUE(e->Label1->alignment() & Qt::AlignTop);
    EXPECT_LE(e->Label1->y() + e->Label1->fontMetrics().height(), e->Command5->y());
    EXPECT_EQ(e->Label1->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::HighlightedText));

    EXPECT_EQ(e->WinIII->geometry(), QRect(-64, -64, 361, 241));
    EXPECT_EQ(e->WinIII->pixmap().size(), QSize(361, 241));
    EXPECT_FALSE(e->WinIII->hasScaledContents());
    // The picture lies under everything: an empty corner shows it, the buttons sit above it.
    EXPECT_EQ(e->childAt(2, 2), e->WinIII);
    EXPECT_EQ(e->childAt(e->Command6->geometry().center()), e->Command6);
    EXPECT_EQ(e->childAt(e->Label1->geometry().center()), e->Label1);

    EXPECT_EQ(e->CD->Color(), 0x000000u);
}

TEST_F(TextboxCommands, BothReachTheSevenBoxesInOrderButNotIMs)
{
    Form2* form2 = Form2::instance();
    const std::vector<QWidget*> boxes { form1->Text1, form1->Text2, form1->Text3, form1->Text4,
                                        form2->Text1, form2->USER, form2->List1 };
    const Lines order { "Form1.Text1 palette", "Form1.Text2 palette", "Form1.Text3 palette",
                        "Form1.Text4 palette", "Form2.Text1 palette", "Form2.USER palette",
                        "Form2.List1 palette" };
    WriteLog log;
    for (QWidget* box : boxes)
        log.watch(box);
    log.watch(form1->IMs);
    const std::uint32_t imsBack = BackColor(form1->IMs);
    const std::uint32_t imsFore = ForeColor(form1->IMs);

    answer(rgb(red));
    click(editor()->Command1);
    EXPECT_EQ(log.lines, order);
    for (QWidget* box : boxes) {
        EXPECT_EQ(Hex(BackColor(box)), Hex(red)) << box->objectName().toStdString();
        EXPECT_EQ(Hex(ForeColor(box)), Hex(lime)) << box->objectName().toStdString();
    }

    log.lines.clear();
    answer(rgb(blue));
    click(editor()->Command2);
    EXPECT_EQ(log.lines, order);
    for (QWidget* box : boxes) {
        EXPECT_EQ(Hex(BackColor(box)), Hex(red)) << box->objectName().toStdString();
        EXPECT_EQ(Hex(ForeColor(box)), Hex(blue)) << box->objectName().toStdString();
    }

    EXPECT_EQ(BackColor(form1->IMs), imsBack);
    EXPECT_EQ(ForeColor(form1->IMs), imsFore);
}

TEST_F(CancelledDialog, OnFirstUseTurnsEveryTargetBlack)
{
    answer(std::nullopt);
    click(editor()->Command2);
    answer(std::nullopt);
    click(editor()->Command4);
    answer(std::nullopt);
    click(editor()->Command6);

    EXPECT_EQ(dialogStartedAt, (std::vector<std::uint32_t> { 0x000000, 0x000000, 0x000000 }));
    EXPECT_EQ(Hex(ForeColor(form1->Text1)), "000000");
    EXPECT_EQ(Hex(ForeColor(Form2::instance()->List1)), "000000");
    for (XPButton* button : { form1->XPButton1, form1->XPButton2, form1->XPButton3, form1->XPButton4,
                              form1->XPButton5 })
        EXPECT_EQ(Hex(button->fcol()), "000000") << button->objectName().toStdString();
    EXPECT_EQ(Hex(pixel(form1.get(), QPoint(200, 150))), "000000");
    EXPECT_EQ(Hex(BackColor(Form2::instance()->xx)), "000000");
}

TEST_F(CancelledDialog, ReappliesTheLastColourConfirmedInAnyCommand)
{
    answer(rgb(blue));
    click(editor()->Command3);
    answer(std::nullopt);
    click(editor()->Command2);

    // The dialog opens at the colour last confirmed, and Cancel applies it again.
    EXPECT_EQ(dialogStartedAt, (std::vector<std::uint32_t> { 0x000000, blue }));
    EXPECT_EQ(Hex(ForeColor(form1->Text2)), Hex(blue));
    EXPECT_EQ(Hex(ForeColor(Form2::instance()->USER)), Hex(blue));
}

TEST_F(ButtonCommands, ButtonColorAndButtonFontColorWriteTheFiveButtonsInOrder)
{
    WriteLog log;
    for (XPButton* button : { form1->XPButton1, form1->XPButton2, form1->XPButton3, form1->XPButton4,
                              form1->XPButton5 })
        log.watch(button);

    answer(rgb(red));
    click(editor()->Command3);
    answer(rgb(blue));
    click(editor()->Command4);

    EXPECT_EQ(log.lines,
              (Lines { "XPButton1 bcol 0000FF", "XPButton2 bcol 0000FF", "XPButton3 bcol 0000FF",
                       "XPButton4 bcol 0000FF", "XPButton5 bcol 0000FF", "XPButton1 fcol FF0000",
                       "XPButton2 fcol FF0000", "XPButton3 fcol FF0000", "XPButton4 fcol FF0000",
                       "XPButton5 fcol FF0000" }));
    // What the user sees: the face is drawn in the chosen colour.
    const QPoint face = form1->XPButton3->geometry().topLeft() + QPoint(4, 4);
    EXPECT_EQ(Hex(pixel(form1.get(), face)), Hex(red));
}

TEST_F(BackgroundCommands, PickColorCoversBothPicturesWithThePickedColour)
{
    Form2* form2 = Form2::instance();
    WriteLog log;
    for (QWidget* target : std::initializer_list<QWidget*> { form1->xx, form2->xx, form1->ed, form1->q,
                                                             form1->WinIII, form2->WinIII })
        log.watch(target);

    answer(rgb(red));
    click(editor()->Command6);

    EXPECT_EQ(log.lines,
              (Lines { "Form1.xx palette", "Form2.xx palette", "Form1.ed palette", "Form1.q palette",
                       "Form1.xx shown", "Form2.xx shown", "Form1.WinIII hidden", "Form2.WinIII hidden" }));
    EXPECT_EQ(Hex(BackColor(form1->ed)), Hex(red));
    EXPECT_EQ(Hex(BackColor(form1->q)), Hex(red));
    EXPECT_EQ(Hex(BackColor(form2->xx)), Hex(red));

    // The panel covers the picture and nothing else: every control stays above it.
    EXPECT_EQ(form1->childAt(200, 150), form1->xx);
    EXPECT_EQ(form1->childAt(form1->Text3->geometry().center()), form1->Text3);
    EXPECT_EQ(form1->childAt(form1->XPButton5->geometry().center()), form1->XPButton5);
    EXPECT_EQ(form2->childAt(form2->Label1->geometry().center()), form2->Label1);
    EXPECT_EQ(Hex(pixel(form1.get(), QPoint(200, 150))), Hex(red));
    EXPECT_EQ(Hex(pixel(form1.get(), QPoint(340, 20))), Hex(red));
}

TEST_F(BackgroundCommands, UseTargetImageBringsThePicturesBackAndKeepsThePanelColour)
{
    Form2* form2 = Form2::instance();
    answer(rgb(red));
    click(editor()->Command6);

    WriteLog log;
    for (QWidget* target : std::initializer_list<QWidget*> { form1->xx, form2->xx, form1->ed, form1->q,
                                                             form1->WinIII, form2->WinIII })
        log.watch(target);
    click(editor()->Command5);

    EXPECT_EQ(log.lines,
              (Lines { "Form1.WinIII shown", "Form1.q palette", "Form1.ed palette", "Form2.WinIII shown",
                       "Form2.xx hidden", "Form1.xx hidden" }));
    EXPECT_EQ(Hex(BackColor(form1->q)), "000000");
    EXPECT_EQ(Hex(BackColor(form1->ed)), "000000");
    EXPECT_EQ(form1->childAt(200, 150), form1->WinIII);
    EXPECT_NE(Hex(pixel(form1.get(), QPoint(200, 150))), Hex(red));
    EXPECT_EQ(Hex(BackColor(form1->xx)), Hex(red));
    EXPECT_EQ(Hex(BackColor(form2->xx)), Hex(red));

    // A later Pick Color covers the pictures again, with the new colour.
    answer(rgb(green));
    click(editor()->Command6);
    EXPECT_TRUE(form1->WinIII->isHidden());
    EXPECT_TRUE(form2->WinIII->isHidden());
    EXPECT_EQ(Hex(pixel(form1.get(), QPoint(200, 150))), Hex(green));
    EXPECT_EQ(Hex(pixel(form2, QPoint(340, 140))), Hex(green));
}

TEST_F(BackgroundCommands, UseTargetImageInPictureModeChangesNothingVisible)
{
    Form2* form2 = Form2::instance();
    const QImage mainBefore = form1->grab().toImage();
    const QImage imsBefore = form2->grab().toImage();

    click(editor()->Command5);

    EXPECT_EQ(form1->grab().toImage(), mainBefore);
    EXPECT_EQ(form2->grab().toImage(), imsBefore);
}

namespace {

// Presses where the user would on the main window, drags by `by`, releases; returns how far the
// window moved.
QPoint dragMainWindowAt(Form1* form1, QPoint at, QPoint by)
{
    QWidget* under = form1->childAt(at);
    if (!under)
        under = form1;
    const QPoint local = under->mapFrom(form1, at);
    const QPoint before = form1->pos();
    QTest::mousePress(under, Qt::LeftButton, {}, local);
    QTest::mouseMove(under, local + by);
    QTest::mouseRelease(under, Qt::LeftButton, {}, local + by);
    return form1->pos() - before;
}

} // namespace

TEST_F(BackgroundCommands, SolidModeTakesTheBackgroundDragAwayUntilUseTargetImage)
{
    const QPoint background(200, 150);
    ASSERT_EQ(dragMainWindowAt(form1.get(), background, QPoint(30, 20)), QPoint(30, 20));

    answer(rgb(red));
    click(editor()->Command6);
    EXPECT_EQ(dragMainWindowAt(form1.get(), background, QPoint(30, 20)), QPoint(0, 0));

    click(editor()->Command5);
    EXPECT_EQ(dragMainWindowAt(form1.get(), background, QPoint(-10, 25)), QPoint(-10, 25));
}

TEST_F(IncomingWindow, ColourGivenBeforeItExistedWaitsInItHidden)
{
    ASSERT_EQ(Form2::existing(), nullptr);

    answer(rgb(red));
    click(editor()->Command1);
    answer(rgb(green));
    click(editor()->Command6);

    QPointer<Form2> form2 = Form2::existing();
    ASSERT_NE(form2, nullptr);
    EXPECT_FALSE(form2->isVisible());

    Form2::Deliver("buddy", "hello");

    ASSERT_EQ(Form2::existing(), form2.data());
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(Hex(BackColor(form2->Text1)), Hex(red));
    EXPECT_EQ(Hex(BackColor(form2->USER)), Hex(red));
    EXPECT_EQ(Hex(BackColor(form2->List1)), Hex(red));
    EXPECT_EQ(Hex(pixel(form2, QPoint(340, 140))), Hex(green));
    EXPECT_EQ(form2->List1->count(), 1);
}

TEST_F(EditorClosing, UnchecksEditModeStopsTheShowAndLeavesAFreshEditor)
{
    QPointer<editoR> first = editor();
    answer(rgb(blue));
    click(first->Command3);
    answer(rgb(red));
    click(first->Command4);
    click(first->Command7);
    fire(first->Timer1);
    ASSERT_EQ(Hex(form1->XPButton1->bcol()), "C0C0C0");

    first->close();

    EXPECT_FALSE(form1->ed->isChecked());
    EXPECT_EQ(faces(), "000000 000000 000000 000000 000000");
    for (XPButton* button : { form1->XPButton1, form1->XPButton2, form1->XPButton3, form1->XPButton4,
                              form1->XPButton5 })
        EXPECT_EQ(Hex(button->fcol()), Hex(red)) << button->objectName().toStdString();
    ASSERT_FALSE(first.isNull());
    for (QTimer* timer : { first->Timer1, first->Timer2, first->Timer3, first->Timer4, first->Timer5 })
        EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString();

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    editoR* fresh = editor();
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(fresh->isVisible());
    EXPECT_EQ(runningTimers(), "");
    EXPECT_EQ(fresh->CD->Color(), 0x000000u);

    QTest::mouseClick(form1->ed, Qt::LeftButton);
    EXPECT_TRUE(fresh->isVisible());
    answer(std::nullopt);
    click(fresh->Command2);
    EXPECT_EQ(dialogStartedAt.back(), 0x000000u);
    EXPECT_EQ(Hex(ForeColor(form1->Text1)), "000000");
}

TEST_F(EditorClosing, ClosingBlackensAButtonColourEvenWithoutTheShow)
{
    answer(rgb(blue));
    click(editor()->Command3);
    ASSERT_EQ(faces(), "FF0000 FF0000 FF0000 FF0000 FF0000");

    editor()->close();

    EXPECT_EQ(faces(), "000000 000000 000000 000000 000000");
}

TEST_F(EditorClosing, ClosingTheMainWindowRunsTheEditorsClosingSteps)
{
    QPointer<editoR> e = editor();
    click(e->Command7);
    fire(e->Timer1);
    fire(e->Timer2);
    Form2::instance()->show();

    form1->close();

    EXPECT_FALSE(form1->ed->isChecked());
    EXPECT_EQ(faces(), "000000 000000 000000 000000 000000");
    ASSERT_FALSE(e.isNull());
    for (QTimer* timer : { e->Timer1, e->Timer2, e->Timer3, e->Timer4, e->Timer5 })
        EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(e.isNull());
    EXPECT_EQ(Form2::existing(), nullptr);
}
