#include <QSignalSpy>

#include "tests/app/windowfixture.h"

namespace {

QRgb faceAt(XPButton& button)
{
    return button.grab().toImage().pixel(3, button.height() / 2) & 0xFFFFFF;
}

TEST(XPButton, ReportsEveryMouseButtonWithShiftAndPositionWhenItGoesDown)
{
    XPButton button(QStringLiteral("Sign On"));
    button.resize(57, 17);
    QSignalSpy spy(&button, &XPButton::pressed);
    QTest::mousePress(&button, Qt::RightButton, Qt::ShiftModifier, QPoint(7, 9));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(spy[0][1].value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);
    EXPECT_EQ(spy[0][2].toInt(), 7);
    EXPECT_EQ(spy[0][3].toInt(), 9);
    QTest::mouseRelease(&button, Qt::RightButton, Qt::ShiftModifier, QPoint(7, 9));
    EXPECT_EQ(spy.count(), 1);
    QTest::mousePress(&button, Qt::MiddleButton, Qt::NoModifier, QPoint(1, 1));
    EXPECT_EQ(spy.count(), 2);
}

TEST(XPButton, FaceAndCaptionTakeTheirColoursAtOnce)
{
    XPButton button(QStringLiteral("Join"));
    button.resize(57, 17);
    EXPECT_EQ(faceAt(button), 0x000000u);
    QSignalSpy writes(&button, &XPButton::bcolChanged);
    button.setBcol(0xC0C0C0);
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(faceAt(button), 0xC0C0C0u);
    // 0x00BBGGRR: the low byte is red.
    button.setBcol(0x0000FF);
    EXPECT_EQ(faceAt(button), 0xFF0000u);

    button.setBcol(0x000000);
    button.setFcol(0xFFFFFF);
    const QImage shot = button.grab().toImage();
    const QRect caption(2, 2, 53, 13);
    EXPECT_GT(windows_test::countPixels(shot, caption, [](QRgb p) { return qRed(p) > 100 && qGreen(p) > 100 && qBlue(p) > 100; }), 5);
    EXPECT_EQ(windows_test::countPixels(shot, caption, [](QRgb p) { return qGreen(p) > 60 && qRed(p) < 30; }), 0);
}

} // namespace
