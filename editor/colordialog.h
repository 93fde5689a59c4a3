#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QColor>
#include <QObject>

class QWidget;

/// The editor's one colour chooser. It remembers the last confirmed colour, starting at
/// black; the chooser itself is a modal QColorDialog over the owning window.
class ColorDialog : public QObject {
    Q_OBJECT

public:
    /// Answers the dialog in place of a user: gets the initial colour, returns the choice or
    /// std::nullopt for Cancel. An empty function restores the real dialog.
    using Chooser = std::function<std::optional<QColor>(QColor initial)>;

    explicit ColorDialog(QWidget* owner);

    /// Opens the chooser modally at Color(). OK stores the chosen colour; Cancel keeps Color().
    /// Returns whether a colour was confirmed.
    bool ShowColor();

    /// The last confirmed colour as 0x00BBGGRR.
    std::uint32_t Color() const { return m_color; }
    void SetColor(std::uint32_t value) { m_color = value; }

    static void setChooserForTesting(Chooser chooser);

private:
    QWidget* m_owner;
    std::uint32_t m_color = 0x000000;
};
