#pragma once

#include <cstdint>

#include <QString>
#include <QWidget>

/// The skinned push button of the main window: a face of colour `bcol` with an embossed edge and a
/// caption of colour `fcol` in Times New Roman 8.25 pt. It reports every mouse press, of any
/// button, the moment the button goes down; what the press does is its owner's business.
class XPButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(uint bcol READ bcol WRITE setBcol NOTIFY bcolChanged)
    Q_PROPERTY(uint fcol READ fcol WRITE setFcol NOTIFY fcolChanged)

public:
    explicit XPButton(const QString& caption, QWidget* parent = nullptr);

    /// Face colour, 0x00BBGGRR; repaints at once.
    void setBcol(std::uint32_t value);
    std::uint32_t bcol() const { return m_bcol; }
    /// Caption colour, 0x00BBGGRR; repaints at once.
    void setFcol(std::uint32_t value);
    std::uint32_t fcol() const { return m_fcol; }
    QString caption() const { return m_caption; }

    QSize sizeHint() const override;

signals:
    /// A mouse button went down on the button. Space on a focused button reports Qt::NoButton.
    void pressed(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void bcolChanged(uint value);
    void fcolChanged(uint value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_caption;
    std::uint32_t m_bcol = 0x000000;
    std::uint32_t m_fcol = 0x00C000;
    bool m_down = false;
};
