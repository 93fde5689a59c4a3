#include "app/assets.h"

#include <QLabel>
#include <QWidget>

#include <QString>
#include <QStringList>

// The resources live in a static library: nothing pulls them into the program unless something
// registers them by name. Q_INIT_RESOURCE must be used outside any namespace.
static void registerAssets()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(assets);
        return true;
    }();
    (void)registered;
}

QPixmap TargetPicture()
{
    registerAssets();
    return QPixmap(QStringLiteral(":/assets/target.jpg"));
}

QIcon AppIcon()
{
    registerAssets();
    return QIcon(QStringLiteral(":/assets/icon.png"));
}

QFont DesignFont()
{
    QFont font;
    // Arial has the metrics of the old system font; fontconfig maps it to Liberation Sans.
    font.setFamilies({ QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                       QStringLiteral("Liberation Sans") });
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

QLabel* createTargetPictureLabel(QWidget* parent, QPoint topLeft)
{
    auto* picture = new QLabel(parent);
    picture->setObjectName(QStringLiteral("WinIII"));
    picture->setGeometry(QRect(topLeft, QSize(361, 241)));
    picture->setPixmap(TargetPicture());
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return picture;
}

QWidget* createSolidPanel(QWidget* parent, const QRect& geometry)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("xx"));
    panel->setGeometry(geometry);
    panel->setAutoFillBackground(true);
    panel->hide();
    return panel;
}
