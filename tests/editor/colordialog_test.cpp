#include <QApplication>
#include <QColorDialog>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/colors.h"
#include "editor/colordialog.h"

namespace {

// Answers the real dialog from inside its modal loop, as a user would: picks `colour` if it is
// valid, then presses OK or Cancel. Records the colour the dialog opened at.
void answerRealDialog(QColor colour, bool ok, QColor* openedAt)
{
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        *openedAt = dialog->currentColor();
        if (colour.isValid())
            dialog->setCurrentColor(colour);
        if (ok)
            dialog->accept();
        else
            dialog->reject();
    });
}

} // namespace

TEST(ColorDialog, RealDialogStartsBlackKeepsOkAndIgnoresCancel)
{
    QWidget owner;
    owner.show();
    ColorDialog cd(&owner);
    QColor openedAt;

    answerRealDialog(QColor(0x12, 0x34, 0x56), true, &openedAt);
    EXPECT_TRUE(cd.ShowColor());
    EXPECT_EQ(openedAt, QColor(0, 0, 0));
    EXPECT_EQ(cd.Color(), 0x563412u);

    answerRealDialog(QColor(0xFF, 0xFF, 0xFF), false, &openedAt);
    EXPECT_FALSE(cd.ShowColor());
    EXPECT_EQ(openedAt, QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(cd.Color(), 0x563412u);
}
