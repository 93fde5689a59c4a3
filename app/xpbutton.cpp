#include "app/xpbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "app/colors.h"

namespace {
// The edge colours the buttons were designed with: silver and white emboss.
constexpr std::uint32_t EmbossDark = 0xC0C0C0;
constexpr std::uint32_t EmbossLight = 0xFFFFFF;
} // namespace

XPButton::XPButton(const QString& caption, QWidget* parent)
    : QWidget(parent)
    , m_caption(caption)
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    setFont(font);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void XPButton::setBcol(std::uint32_t value)
{
    m_bcol = value;
    update();
    emit bcolChanged(value);
}

void XPButton::setFcol(std::uint32_t value)
{
    m_fcol = value;
    update();
    emit fcolChanged(value);
}

QSize XPButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(m_caption) + 12, metrics.height() + 4);
}

void XPButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, ToQColor(m_bcol));

    // A raised edge at rest, sunk while held down.
    const QColor light = ToQColor(m_down ? EmbossDark : EmbossLight);
    const QColor dark = ToQColor(m_down ? EmbossLight : EmbossDark);
    p.setPen(light);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(dark);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    p.setPen(ToQColor(m_fcol));
    p.setFont(font());
    const QRect textRect = m_down ? r.translated(1, 1) : r;
    p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, m_caption);

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(2, 2, -2, -2);
        option.backgroundColor = ToQColor(m_bcol);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

void XPButton::mousePressEvent(QMouseEvent* event)
{
    m_down = true;
    update();
    const QPoint at = event->position().toPoint();
    emit pressed(event->button(), event->modifiers(), at.x(), at.y());
}

void XPButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::NoButton) {
        m_down = false;
        update();
    }
}

void XPButton::leaveEvent(QEvent*)
{
    // A press that handed the pointer to a window move never sees its release here.
    if (m_down) {
        m_down = false;
        update();
    }
}

void XPButton::keyPressEvent(QKeyEvent* event)
{
    // A focused button answers Space like a press, as any push button does.
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        emit pressed(Qt::NoButton, event->modifiers(), width() / 2, height() / 2);
        return;
    }
    QWidget::keyPressEvent(event);
}
