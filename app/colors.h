#pragma once

#include <cstdint>

#include <QColor>

class QWidget;

/// 0x00BBGGRR to a colour. A value with the top bit set names a system colour by the index in its
/// low byte (7 menu text, 14 highlight text, ...), taken from the application's palette.
QColor ToQColor(std::uint32_t value);
/// A colour as 0x00BBGGRR (alpha dropped).
std::uint32_t FromQColor(const QColor& color);

/// The background a user sees: Base for text and list boxes, the filled background role (Window,
/// or Button for check boxes) for the rest.
void SetBackColor(QWidget* widget, std::uint32_t value);
/// The text colour: Text for text and list boxes, WindowText for the rest.
void SetForeColor(QWidget* widget, std::uint32_t value);
std::uint32_t BackColor(const QWidget* widget);
std::uint32_t ForeColor(const QWidget* widget);
