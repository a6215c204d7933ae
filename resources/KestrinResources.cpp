#include "KestrinResources.h"

#include <QImageReader>

namespace KestrinResources {

QString iconPath(int size)
{
    return QStringLiteral(":/kestrin/icons/kestrin-%1.png").arg(size);
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : IconSizes)
        icon.addFile(iconPath(size), QSize(size, size));
    // Without the qt6-svg plugin the SVG would add an image that never
    // loads, and QIcon may pick it over a PNG for large sizes.
    if (QImageReader::supportedImageFormats().contains("svg"))
        icon.addFile(QString::fromLatin1(ScalableIcon));
    return icon;
}

} // namespace KestrinResources
