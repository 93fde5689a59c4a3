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
constexpr const char* allBlack = ".....";

std::string pixel(QWidget* window, QPoint at) { return Hex(FromQColor(window->grab().toImage().pixelColor(at))); }

// Presses where the user would on the main window, drags by `by`, releases; returns how far the
// window moved.
QPoint dragMainWindowAt(Form1* form, QPoint at, QPoint by)
{
    QWidget* under = form->childAt(at) ? form->childAt(at) : form;
    const QPoint local = under->mapFrom(form, at);
    const QPoint before = form->pos();
    QTest::mousePress(under, Qt::LeftButton, {}, local);
    QTest::mouseMove(under, local + by);
    QTest::mouseRelease(under, Qt::LeftButton, {}, local + by);
    return form->pos() - before;
}

} // namespace

using EditorWindow = EditorFixture;
using ColourCommands = EditorFixture;
using BackgroundCommands = EditorFixture;
using EditorClosing = EditorFixture;

TEST_F(EditorWindow, IsBuiltFromItsTable)
{
    editoR* e = editor();
    EXPECT_EQ(e->windowTitle(), QStringLiteral("Edit Mode"));
    EXPECT_EQ(e->size(), QSize(246, 156));
    EXPECT_FALSE(e->windowIcon().isNull());
    const struct {
        QPushButton* button;
        const char* caption;
        QRect geometry;
    } rows[] = {
        { e->Command1, "Textbox Color", QRect(8, 24, 105, 17) },      { e->Command2, "Textbox Font Color", QRect(8, 40, 105, 17) },
        { e->Command3, "Button Color", QRect(120, 24, 105, 17) },     { e->Command4, "Button Font Color", QRect(120, 40, 105, 17) },
        { e->Command5, "Use Target Image", QRect(8, 72, 217, 17) },   { e->Command6, "Pick Color", QRect(8, 88, 217, 17) },
        { e->Command7, "Light Show [ On ]", QRect(16, 112, 105, 17) }, { e->Command8, "Light Show [ Off ]", QRect(120, 112, 105, 17) },
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].caption);
        QPushButton* button = rows[i].button;
        EXPECT_EQ(button->text(), QString::fromLatin1(rows[i].caption));
        EXPECT_EQ(button->geometry(), rows[i].geometry);
        // The caption is readable in the small button: nothing is cut off at its edges.
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), rows[i].geometry.width() - 6);
        EXPECT_EQ(e->findChild<QPushButton*>(button->objectName()), button);
        // Keyboard order follows the table.
        QWidget* next = button->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, rows[(i + 1) % std::size(rows)].button);
    }
    EXPECT_EQ(e->Label1->text(), QStringLiteral("Background:"));
    EXPECT_EQ(e->Label1->geometry(), QRect(88, 56, 121, 25));
    EXPECT_FALSE(e->Label1->autoFillBackground());
    // Its text stays clear of "Use Target Image", which overlaps the label's box.
    EXPECT_TRUE(e->Label1->alignment() & Qt::AlignTop);
    EXPECT_LE(e->Label1->y() + e->Label1->fontMetrics().height(), e->Command5->y());
    EXPECT_EQ(e->Label1->palette().color(QPalette::WindowText), QApplication::palette().color(QPalette::HighlightedText));
    EXPECT_EQ(e->WinIII->geometry(), QRect(-64, -64, 361, 241));
    EXPECT_EQ(e->WinIII->pixmap().size(), QSize(361, 241));
    EXPECT_FALSE(e->WinIII->hasScaledContents());
    // The picture lies under everything: an empty corner shows it, the buttons sit above it.
    EXPECT_EQ(e->childAt(2, 2), e->WinIII);
    EXPECT_EQ(e->childAt(e->Command6->geometry().center()), e->Command6);
    EXPECT_EQ(e->childAt(e->Label1->geometry().center()), e->Label1);
    EXPECT_EQ(e->CD->Color(), 0x000000u);
}

TEST_F(ColourCommands, TextboxCommandsReachTheSevenBoxesInOrderButNotIMs)
{
    Form2* form2 = Form2::instance();
    const std::vector<QWidget*> boxes { form->Text1, form->Text2, form->Text3, form->Text4,
                                        form2->Text1, form2->USER,  form2->List1 };
    const Lines order { "Form1.Text1 palette", "Form1.Text2 palette", "Form1.Text3 palette", "Form1.Text4 palette",
                        "Form2.Text1 palette", "Form2.USER palette",  "Form2.List1 palette" };
    const auto colours = [&] {
        std::string text;
        for (QWidget* box : boxes)
            text += Hex(BackColor(box)) + "/" + Hex(ForeColor(box)) + " ";
        return text;
    };
    WriteLog log;
    for (QWidget* box : boxes)
        log.watch(box);
    log.watch(form->IMs);
    const std::uint32_t imsBack = BackColor(form->IMs);
    const std::uint32_t imsFore = ForeColor(form->IMs);

    choose(editor()->Command1, red);
    EXPECT_EQ(log.lines, order);
    EXPECT_EQ(colours(), "0000FF/00FF00 0000FF/00FF00 0000FF/00FF00 0000FF/00FF00 0000FF/00FF00 0000FF/00FF00 0000FF/00FF00 ");
    log.lines.clear();
    choose(editor()->Command2, blue);
    EXPECT_EQ(log.lines, order);
    EXPECT_EQ(colours(), "0000FF/FF0000 0000FF/FF0000 0000FF/FF0000 0000FF/FF0000 0000FF/FF0000 0000FF/FF0000 0000FF/FF0000 ");
    EXPECT_EQ(BackColor(form->IMs), imsBack);
    EXPECT_EQ(ForeColor(form->IMs), imsFore);
}

TEST_F(ColourCommands, CancelAppliesTheLastConfirmedColourWhichIsBlackOnFirstUse)
{
    choose(editor()->Command2, std::nullopt);
    choose(editor()->Command4, std::nullopt);
    choose(editor()->Command6, std::nullopt);
    EXPECT_EQ(Hex(ForeColor(form->Text1)), "000000");
    EXPECT_EQ(Hex(ForeColor(Form2::instance()->List1)), "000000");
    EXPECT_EQ(captions(), allBlack);
    EXPECT_EQ(pixel(form.get(), QPoint(200, 150)), "000000");
    EXPECT_EQ(Hex(BackColor(Form2::instance()->xx)), "000000");

    // The dialog opens at the colour last confirmed in any command, and Cancel applies it again.
    choose(editor()->Command3, blue);
    choose(editor()->Command2, std::nullopt);
    EXPECT_EQ(dialogStartedAt, (std::vector<std::uint32_t> { 0x000000, 0x000000, 0x000000, 0x000000, blue }));
    EXPECT_EQ(Hex(ForeColor(form->Text2)), Hex(blue));
    EXPECT_EQ(Hex(ForeColor(Form2::instance()->USER)), Hex(blue));
}

TEST_F(ColourCommands, ButtonColorAndButtonFontColorWriteTheFiveButtonsInOrder)
{
    WriteLog log;
    watchButtons(log);
    choose(editor()->Command3, red);
    choose(editor()->Command4, blue);
    EXPECT_EQ(log.lines, (Lines { "XPButton1 bcol 0000FF", "XPButton2 bcol 0000FF", "XPButton3 bcol 0000FF",
                                  "XPButton4 bcol 0000FF", "XPButton5 bcol 0000FF", "XPButton1 fcol FF0000",
                                  "XPButton2 fcol FF0000", "XPButton3 fcol FF0000", "XPButton4 fcol FF0000",
                                  "XPButton5 fcol FF0000" }));
    // What the user sees: the face is drawn in the chosen colour.
    EXPECT_EQ(pixel(form.get(), form->XPButton3->geometry().topLeft() + QPoint(4, 4)), Hex(red));
}

TEST_F(ColourCommands, ColourGivenBeforeTheIMWindowExistedWaitsInItHidden)
{
    ASSERT_EQ(Form2::existing(), nullptr);
    choose(editor()->Command1, red);
    choose(editor()->Command6, green);
    QPointer<Form2> form2 = Form2::existing();
    ASSERT_NE(form2, nullptr);
    EXPECT_FALSE(form2->isVisible());

    Form2::Deliver("buddy", "hello");
    ASSERT_EQ(Form2::existing(), form2.data());
    EXPECT_TRUE(form2->isVisible());
    for (QWidget* box : std::initializer_list<QWidget*> { form2->Text1, form2->USER, form2->List1 })
        EXPECT_EQ(Hex(BackColor(box)), Hex(red)) << box->objectName().toStdString();
    EXPECT_EQ(pixel(form2, QPoint(340, 140)), Hex(green));
    EXPECT_EQ(form2->List1->count(), 1);
}

TEST_F(BackgroundCommands, PickColorCoversBothPicturesAndUseTargetImageBringsThemBack)
{
    Form2* form2 = Form2::instance();
    // In picture mode, Use Target Image changes nothing visible.
    const QImage mainBefore = form->grab().toImage();
    const QImage imsBefore = form2->grab().toImage();
    click(editor()->Command5);
    EXPECT_EQ(form->grab().toImage(), mainBefore);
    EXPECT_EQ(form2->grab().toImage(), imsBefore);

    WriteLog log;
    for (QWidget* target : std::initializer_list<QWidget*> { form->xx, form2->xx, form->ed, form->q, form->WinIII,
                                                             form2->WinIII })
        log.watch(target);
    choose(editor()->Command6, red);
    EXPECT_EQ(log.lines, (Lines { "Form1.xx palette", "Form2.xx palette", "Form1.ed palette", "Form1.q palette",
                                  "Form1.xx shown", "Form2.xx shown", "Form1.WinIII hidden", "Form2.WinIII hidden" }));
    EXPECT_EQ(Hex(BackColor(form->ed)), Hex(red));
    EXPECT_EQ(Hex(BackColor(form->q)), Hex(red));
    // The panel covers the picture and nothing else: every control stays above it.
    EXPECT_EQ(form->childAt(200, 150), form->xx);
    EXPECT_EQ(form->childAt(form->Text3->geometry().center()), form->Text3);
    EXPECT_EQ(form->childAt(form->XPButton5->geometry().center()), form->XPButton5);
    EXPECT_EQ(form2->childAt(form2->Label1->geometry().center()), form2->Label1);
    EXPECT_EQ(pixel(form.get(), QPoint(200, 150)), Hex(red));
    EXPECT_EQ(pixel(form.get(), QPoint(340, 20)), Hex(red));

    log.lines.clear();
    click(editor()->Command5);
    EXPECT_EQ(log.lines, (Lines { "Form1.WinIII shown", "Form1.q palette", "Form1.ed palette", "Form2.WinIII shown",
                                  "Form2.xx hidden", "Form1.xx hidden" }));
    EXPECT_EQ(Hex(BackColor(form->q)), "000000");
    EXPECT_EQ(Hex(BackColor(form->ed)), "000000");
    EXPECT_EQ(form->childAt(200, 150), form->WinIII);
    EXPECT_NE(pixel(form.get(), QPoint(200, 150)), Hex(red));
    // The panels keep their colour, hidden.
    EXPECT_EQ(Hex(BackColor(form->xx)), Hex(red));
    EXPECT_EQ(Hex(BackColor(form2->xx)), Hex(red));

    // A later Pick Color covers the pictures again, with the new colour.
    choose(editor()->Command6, green);
    EXPECT_TRUE(form->WinIII->isHidden() && form2->WinIII->isHidden());
    EXPECT_EQ(pixel(form.get(), QPoint(200, 150)), Hex(green));
    EXPECT_EQ(pixel(form2, QPoint(340, 140)), Hex(green));
}

TEST_F(BackgroundCommands, SolidModeTakesTheBackgroundDragAwayUntilUseTargetImage)
{
    const QPoint background(200, 150);
    ASSERT_EQ(dragMainWindowAt(form.get(), background, QPoint(30, 20)), QPoint(30, 20));
    choose(editor()->Command6, red);
    EXPECT_EQ(dragMainWindowAt(form.get(), background, QPoint(30, 20)), QPoint(0, 0));
    click(editor()->Command5);
    EXPECT_EQ(dragMainWindowAt(form.get(), background, QPoint(-10, 25)), QPoint(-10, 25));
}

TEST_F(EditorClosing, UnchecksEditModeStopsTheShowKeepsCaptionsAndLeavesAFreshEditor)
{
    QPointer<editoR> first = editor();
    choose(first->Command3, blue);
    choose(first->Command4, red);
    click(first->Command7);
    fire(first->Timer1);
    ASSERT_EQ(faces(), "#bbb.");

    first->close();
    EXPECT_FALSE(form->ed->isChecked());
    EXPECT_EQ(faces(), allBlack);
    EXPECT_EQ(captions(), "rrrrr");
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(runningTimers(), "");

    windows_test::flushDeletes();
    EXPECT_TRUE(first.isNull());
    editoR* fresh = editor();
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(fresh->isVisible());
    EXPECT_EQ(runningTimers(), "");
    EXPECT_EQ(fresh->CD->Color(), 0x000000u);

    QTest::mouseClick(form->ed, Qt::LeftButton);
    EXPECT_TRUE(fresh->isVisible());
    choose(fresh->Command2, std::nullopt);
    EXPECT_EQ(dialogStartedAt.back(), 0x000000u);
    EXPECT_EQ(Hex(ForeColor(form->Text1)), "000000");
}

TEST_F(EditorClosing, ClosingTheMainWindowRunsTheEditorsClosingStepsEvenWithoutTheShow)
{
    QPointer<editoR> e = editor();
    choose(e->Command3, blue);
    Form2::instance()->show();

    form->close();
    EXPECT_FALSE(form->ed->isChecked());
    EXPECT_EQ(faces(), allBlack);
    windows_test::flushDeletes();
    EXPECT_TRUE(e.isNull());
    EXPECT_EQ(form->editor(), nullptr);
    EXPECT_EQ(Form2::existing(), nullptr);
}
