#include "tests/app/windowfixture.h"

namespace {

TEST(Colors, LowByteIsRedAndTheTopBitNamesASystemColour)
{
    EXPECT_EQ(ToQColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(0x00C000), QColor(0, 192, 0));
    EXPECT_EQ(ToQColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(ToQColor(0x80000007), QApplication::palette().color(QPalette::WindowText));
    EXPECT_EQ(ToQColor(0x8000000E), QApplication::palette().color(QPalette::HighlightedText));
    EXPECT_TRUE(ToQColor(0x800000FF).isValid());
    for (std::uint32_t value : { 0x000000u, 0xC0C0C0u, 0x123456u, 0xFFFFFFu, 0x00FF00u })
        EXPECT_EQ(FromQColor(ToQColor(value)), value);
    EXPECT_EQ(FromQColor(QColor(0x12, 0x34, 0x56, 0x10)), 0x563412u);
}

TEST(Colors, BoxesTakeBaseAndTextOthersAFilledWindowAndWindowText)
{
    QLineEdit box;
    SetBackColor(&box, 0x0000FF);
    SetForeColor(&box, 0x00FF00);
    EXPECT_EQ(box.palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(box.palette().color(QPalette::Text), QColor(0, 255, 0));
    EXPECT_EQ(BackColor(&box), 0x0000FFu);
    EXPECT_EQ(ForeColor(&box), 0x00FF00u);

    QListWidget list;
    SetBackColor(&list, 0x112233);
    EXPECT_EQ(list.palette().color(QPalette::Base), QColor(0x33, 0x22, 0x11));

    QCheckBox check;
    SetBackColor(&check, 0xC0C0C0);
    SetForeColor(&check, 0x00FF00);
    check.resize(80, 17);
    EXPECT_EQ(check.grab().toImage().pixel(78, 1) & 0xFFFFFF, 0xC0C0C0u);
    EXPECT_EQ(check.palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(BackColor(&check), 0xC0C0C0u);
}

} // namespace
