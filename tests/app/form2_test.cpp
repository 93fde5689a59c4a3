#include "tests/app/windowfixture.h"

namespace windows_test {
namespace {

QStringList lines(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// The incoming-IM window, reached through the main window as the user meets it.
class IMWindowTest : public MainWindowTest {
protected:
    void receiveIM(const std::string& from, const std::string& text)
    {
        sock->Receive(testing_support::Data("IM_IN_ENC2:" + from + ":F:F:T: O:F:L:en:" + text));
    }
    Form2* im() const { return Form2::existing(); }
};

TEST_F(IMWindowTest, FreshWindowHasItsLayoutAnEmptyLogAndNoVisibleDefaultButton)
{
    Form2* w = Form2::instance();
    EXPECT_FALSE(w->isVisible());
    w->show();
    const struct {
        const char* name;
        QRect geometry;
    } table[] = {
        { "WinIII", { 0, 0, 361, 241 } }, { "xx", { 0, 0, 361, 153 } },    { "List1", { 8, 8, 329, 82 } },
        { "Text1", { 8, 96, 329, 19 } },  { "Command1", { 264, 160, 33, 13 } }, { "USER", { 32, 120, 305, 19 } },
        { "Label1", { 8, 120, 25, 17 } },
    };
    for (const auto& row : table) {
        auto* control = w->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr) << row.name;
        EXPECT_EQ(control->geometry(), row.geometry) << row.name;
    }
    EXPECT_EQ(w->size(), QSize(356, 149));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Incoming IMs"));
    EXPECT_EQ(w->List1->count(), 0);
    EXPECT_EQ(w->Text1->text(), QStringLiteral("Message"));
    EXPECT_EQ(w->USER->text(), QString());
    EXPECT_EQ(w->Label1->text(), QStringLiteral("To:"));
    EXPECT_TRUE(w->Command1->text().isEmpty());
    EXPECT_FALSE(w->rect().intersects(w->Command1->geometry()));
    EXPECT_FALSE(w->xx->isVisible());
    for (QWidget* box : std::initializer_list<QWidget*> { w->List1, w->Text1, w->USER }) {
        EXPECT_EQ(ForeColor(box), 0x00FF00u) << box->objectName().toStdString();
        EXPECT_EQ(BackColor(box), 0x000000u) << box->objectName().toStdString();
    }
    EXPECT_EQ(ForeColor(w->Label1), 0x00FF00u);
    EXPECT_EQ(w->children().indexOf(w->WinIII), 0);
    EXPECT_EQ(w->children().indexOf(w->xx), 1);
    EXPECT_EQ(tabOrder(w->List1), QStringLiteral("List1 Text1 Command1 USER"));
}

TEST_F(IMWindowTest, ToLabelDrawsOnlyItsLettersOverThePictureAndOverTheSolidPanel)
{
    Form2* w = Form2::instance();
    w->show();
    const QRect label = w->Label1->geometry();
    w->Label1->hide();
    const QImage without = w->grab().toImage();
    w->Label1->show();
    const QImage with = w->grab().toImage();
    // Lime blended over the picture: red and blue can only fall, green only rise.
    int changed = 0;
    for (int y = label.top(); y <= label.bottom(); ++y) {
        for (int x = label.left(); x <= label.right(); ++x) {
            const QRgb after = with.pixel(x, y);
            const QRgb before = without.pixel(x, y);
            changed += after != before ? 1 : 0;
            EXPECT_TRUE(qRed(after) <= qRed(before) + 2 && qBlue(after) <= qBlue(before) + 2 && qGreen(after) + 2 >= qGreen(before))
                << x << "," << y;
        }
    }
    EXPECT_GT(changed, 5);

    SetBackColor(w->xx, 0xFF00FF);
    w->xx->show();
    const QImage solid = w->grab().toImage();
    EXPECT_EQ(solid.pixel(2, 2) & 0xFFFFFF, 0xFF00FFu);
    EXPECT_GT(countPixels(solid, label, [](QRgb p) { return qGreen(p) > 100 && qRed(p) < 90 && qBlue(p) < 90; }), 5);
    EXPECT_NE(solid.pixel(w->USER->geometry().center()) & 0xFFFFFF, 0xFF00FFu);
}

TEST_F(IMWindowTest, IncomingIMShowsTheTextWithoutMarkupAndTheLatestSenderBecomesTheRecipient)
{
    signOn();
    ASSERT_EQ(im(), nullptr);
    form->Text1->setText(QStringLiteral("untouched"));
    receiveIM("Bob", "<b>hello</b> <font color=red>there</font>");
    ASSERT_NE(im(), nullptr);
    EXPECT_TRUE(im()->isVisible());
    EXPECT_EQ(im()->USER->text(), QStringLiteral("Bob"));
    EXPECT_TRUE(im()->List1->item(0)->isSelected());

    // A reply being typed survives the next IM; a recipient typed by hand does not.
    im()->Text1->setText(QStringLiteral("half a repl"));
    im()->USER->setText(QStringLiteral("typed by me"));
    receiveIM("Ann", "two");
    EXPECT_EQ(lines(im()->List1), (QStringList { QStringLiteral("Bob: hello there"), QStringLiteral("Ann: two") }));
    EXPECT_EQ(im()->USER->text(), QStringLiteral("Ann"));
    EXPECT_EQ(im()->Text1->text(), QStringLiteral("half a repl"));
    EXPECT_EQ(im()->List1->currentRow(), 1);
    EXPECT_EQ(form->Text1->text(), QStringLiteral("untouched"));
}

TEST_F(IMWindowTest, EnterInEitherBoxSendsTheMessageToTheRecipientAndLogsTheAttempt)
{
    signOn();
    receiveIM("Bob", "hi");
    im()->Text1->setText(QStringLiteral("hello (you)"));
    QTest::keyClick(im()->Text1, Qt::Key_Return);
    EXPECT_EQ(im()->Text1->text(), QString());
    im()->Text1->setText(QStringLiteral("again"));
    im()->USER->setText(QStringLiteral("Ann Lee"));
    QTest::keyClick(im()->USER, Qt::Key_Enter);
    EXPECT_EQ(sentData(), (Sent { cmd("toc_send_im \"bob\" \"hello \\(you\\)\""), cmd("toc_send_im \"annlee\" \"again\"") }));
    EXPECT_EQ(lines(im()->List1), (QStringList { QStringLiteral("Bob: hi"), QStringLiteral("Attempt: hello (you)"),
                                                 QStringLiteral("Attempt: again") }));
    EXPECT_EQ(im()->List1->currentRow(), 2);
}

TEST_F(IMWindowTest, EnterWhileSignedOffStillLogsTheAttemptAndSendsTheUntouchedBox)
{
    Form2::Deliver("Bob", "hi");
    QTest::keyClick(im()->Text1, Qt::Key_Return);
    QTest::keyClick(im()->Text1, Qt::Key_Return);
    EXPECT_TRUE(sock->AllSent().empty());
    EXPECT_EQ(lines(im()->List1), (QStringList { QStringLiteral("Bob: hi"), QStringLiteral("Attempt: Message"),
                                                 QStringLiteral("Attempt: ") }));
}

TEST_F(IMWindowTest, ClosingDiscardsTheWindowAndTheNextIMOpensAFreshOne)
{
    signOn();
    receiveIM("Bob", "one");
    im()->Text1->setText(QStringLiteral("draft"));
    QPointer<Form2> first = im();
    first->close();
    EXPECT_EQ(im(), nullptr);
    receiveIM("Ann", "two");
    ASSERT_NE(im(), nullptr);
    EXPECT_NE(im(), first.data());
    EXPECT_EQ(lines(im()->List1), QStringList { QStringLiteral("Ann: two") });
    EXPECT_EQ(im()->Text1->text(), QStringLiteral("Message"));
    flushDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_NE(im(), nullptr);
}

TEST_F(IMWindowTest, ReceivedTextIsReadAsUtf8WhenValidElseLatin1AndRepliesGoOutAsUtf8)
{
    signOn();
    receiveIM("Bob", "caf\xc3\xa9");
    receiveIM("Bob", "caf\xe9 \xff");
    EXPECT_EQ(lines(im()->List1),
              (QStringList { QString::fromUtf8("Bob: caf\xc3\xa9"), QString::fromUtf8("Bob: caf\xc3\xa9 \xc3\xbf") }));
    im()->Text1->setText(QString::fromUtf8("na\xc3\xafve \xe2\x82\xac"));
    QTest::keyClick(im()->Text1, Qt::Key_Return);
    EXPECT_EQ(sentData(), (Sent { cmd("toc_send_im \"bob\" \"na\xc3\xafve \xe2\x82\xac\"") }));
}

} // namespace
} // namespace windows_test
