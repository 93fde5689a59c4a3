// The yardstick for Rivir's window: a plain Qt Widgets window of the same size holding one line
// edit with the keyboard focus, and nothing else.

#include <QApplication>
#include <QLineEdit>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.setFixedSize(361, 241);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(10, 10, 200, 21);
    edit->setFocus();
    window.show();
    return QApplication::exec();
}
