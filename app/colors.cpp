#include "app/colors.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTextEdit>
#include <QWidget>

namespace {

// The classic system colour indexes, mapped onto the nearest palette role.
QColor systemColor(std::uint32_t index)
{
    const QPalette palette = QApplication::palette();
    switch (index) {
    case 0: return palette.color(QPalette::Mid);              // scroll bar
    case 1: return palette.color(QPalette::Shadow);           // desktop
    case 2: return palette.color(QPalette::Highlight);        // active caption
    case 3: return palette.color(QPalette::Inactive, QPalette::Highlight);
    case 4: return palette.color(QPalette::Window);           // menu
    case 5: return palette.color(QPalette::Base);             // window
    case 6: return palette.color(QPalette::Shadow);           // window frame
    case 7: return palette.color(QPalette::WindowText);       // menu text
    case 8: return palette.color(QPalette::Text);             // window text
    case 9: return palette.color(QPalette::HighlightedText);  // caption text
    case 10: return palette.color(QPalette::Window);          // active border
    case 11: return palette.color(QPalette::Window);          // inactive border
    case 12: return palette.color(QPalette::Dark);            // application workspace
    case 13: return palette.color(QPalette::Highlight);
    case 14: return palette.color(QPalette::HighlightedText);
    case 15: return palette.color(QPalette::Button);
    case 16: return palette.color(QPalette::Dark);            // button shadow
    case 17: return palette.color(QPalette::Disabled, QPalette::Text);
    case 18: return palette.color(QPalette::ButtonText);
    case 19: return palette.color(QPalette::Inactive, QPalette::HighlightedText);
    case 20: return palette.color(QPalette::Light);           // button highlight
    case 21: return palette.color(QPalette::Shadow);          // 3D dark shadow
    case 22: return palette.color(QPalette::Midlight);        // 3D light
    case 23: return palette.color(QPalette::ToolTipText);
    case 24: return palette.color(QPalette::ToolTipBase);
    case 26: return palette.color(QPalette::Link);            // hot-tracked item
    case 27: return palette.color(QPalette::Highlight);       // caption gradients
    case 28: return palette.color(QPalette::Inactive, QPalette::Highlight);
    case 29: return palette.color(QPalette::Highlight);       // menu highlight
    case 30: return palette.color(QPalette::Window);          // menu bar
    default: return palette.color(QPalette::WindowText);
    }
}

bool isTextBox(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractItemView*>(widget)
        || qobject_cast<const QTextEdit*>(widget);
}

} // namespace

QColor ToQColor(std::uint32_t value)
{
    if (value & 0x80000000u)
        return systemColor(value & 0xFFu);
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

std::uint32_t FromQColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | (static_cast<std::uint32_t>(rgb.green()) << 8)
        | (static_cast<std::uint32_t>(rgb.blue()) << 16);
}

void SetBackColor(QWidget* widget, std::uint32_t value)
{
    QPalette palette = widget->palette();
    const QColor color = ToQColor(value);
    if (isTextBox(widget)) {
        palette.setColor(QPalette::Base, color);
    } else {
        // Buttons (check boxes among them) fill with the Button role, the rest with Window.
        palette.setColor(QPalette::Window, color);
        palette.setColor(widget->backgroundRole(), color);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

void SetForeColor(QWidget* widget, std::uint32_t value)
{
    QPalette palette = widget->palette();
    palette.setColor(isTextBox(widget) ? QPalette::Text : QPalette::WindowText, ToQColor(value));
    widget->setPalette(palette);
}

std::uint32_t BackColor(const QWidget* widget)
{
    return FromQColor(widget->palette().color(isTextBox(widget) ? QPalette::Base : widget->backgroundRole()));
}

std::uint32_t ForeColor(const QWidget* widget)
{
    return FromQColor(widget->palette().color(isTextBox(widget) ? QPalette::Text : QPalette::WindowText));
}
