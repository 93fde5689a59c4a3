#include "editor/colordialog.h"

#include <utility>

#include <QColorDialog>
#include <QWidget>

#include "app/colors.h"

namespace {

ColorDialog::Chooser& testChooser()
{
    static ColorDialog::Chooser chooser;
    return chooser;
}

} // namespace

ColorDialog::ColorDialog(QWidget* owner)
    : QObject(owner)
    , m_owner(owner)
{
}

bool ColorDialog::ShowColor()
{
    const QColor initial = ToQColor(m_color);
    std::optional<QColor> chosen;
    if (testChooser()) {
        chosen = testChooser()(initial);
    } else {
        // getColor runs its own modal loop; an invalid colour means Cancel.
        const QColor picked = QColorDialog::getColor(initial, m_owner);
        if (picked.isValid())
            chosen = picked;
    }
    if (!chosen || !chosen->isValid())
        return false;
    m_color = FromQColor(*chosen);
    return true;
}

void ColorDialog::setChooserForTesting(Chooser chooser)
{
    testChooser() = std::move(chooser);
}
