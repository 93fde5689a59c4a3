#pragma once

#include <cstdint>

#include <QPointer>
#include <QWidget>

class QCloseEvent;
class QLabel;
class QPushButton;
class QTimer;
class ColorDialog;
class Form1;
class XPButton;

/// The "Edit Mode" tool window: recolours the controls of Form1 and Form2, switches their
/// background between the target picture and a solid colour, and runs the light show on
/// Form1's five buttons. Closing it unchecks Edit Mode and stops the show; it deletes itself
/// on close so the main window's watcher can put a fresh one in its place.
class editoR : public QWidget {
    Q_OBJECT

public:
    /// Builds the window hidden, as a top-level window owned by (and destroyed with) mainWindow.
    explicit editoR(Form1* mainWindow);

    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QLabel* WinIII = nullptr;
    ColorDialog* CD = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* Timer4 = nullptr;
    QTimer* Timer5 = nullptr;

protected:
    /// Runs the closing steps; a close is never refused.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectControls();
    void fitCaptions();

    void onCommand1Clicked();
    void onCommand2Clicked();
    void onCommand3Clicked();
    void onCommand4Clicked();
    void onCommand5Clicked();
    void onCommand6Clicked();
    void onCommand7Clicked();
    void onCommand8Clicked();
    void onTimer1Timeout();
    void onTimer2Timeout();
    void onTimer3Timeout();
    void onTimer4Timeout();
    void onTimer5Timeout();

    void recolourTextBoxes(void (*write)(QWidget*, std::uint32_t));

    void startLightShow();
    void stopLightShow();
    void lightShowTick(int index);
    QTimer* lightTimer(int index) const;
    XPButton* lightButton(int index) const;

    QPointer<Form1> m_form1;
};
