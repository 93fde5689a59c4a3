#include "app/assets.h"

#include <QString>

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
