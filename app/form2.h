#pragma once

#include <string>

#include <QWidget>

class DesktopNotifier;
class QLabel;
class QListWidget;
class QLineEdit;
class QPushButton;

/// "Incoming IMs": one conversation window for every correspondent. It logs each incoming IM and
/// each reply, fills the recipient with the latest sender, and sends the message box on Enter.
/// Closing it discards it; the next use builds a fresh one.
class Form2 : public QWidget {
    Q_OBJECT

public:
    ~Form2() override;

    /// The window, or nullptr when it does not exist (never opened, or closed).
    static Form2* existing();
    /// The window, created hidden when it does not exist.
    static Form2* instance();
    /// Shows the window (creating it) and logs "sender: message" with the markup removed; the
    /// sender becomes the recipient and the new line is selected. The message box is left alone.
    /// While the window is not the active one, the desktop is told too, through `notifier`.
    static void Deliver(const std::string& sender, const std::string& message);
    /// Where Deliver tells the desktop (nullptr: nowhere); choosing a notification raises the
    /// window with its sender as the recipient.
    static void SetNotifier(DesktopNotifier* notifier);

    QLabel* WinIII = nullptr;
    QWidget* xx = nullptr;
    QListWidget* List1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QLineEdit* USER = nullptr;
    QLabel* Label1 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    Form2();
    void createControls();
    void connectControls();
    void selectLastLine();

    void onCommand1Clicked();
};
