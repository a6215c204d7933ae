// The pictures and icons compiled into the tool, by resource path.
#pragma once

#include <QIcon>

namespace KestrinResources {

inline constexpr const char *UpperPicture = ":/kestrin/img1.jpg";
inline constexpr const char *BannerPicture = ":/kestrin/img2.jpg";
inline constexpr const char *ScalableIcon = ":/kestrin/icons/kestrin.svg";

// The icon sizes rendered as PNG, smallest first.
inline constexpr int IconSizes[] = {16, 32, 48, 64, 128, 256};

// The resource path of the PNG icon of one of IconSizes.
QString iconPath(int size);

// The application icon with every PNG size, plus the SVG when an SVG
// image plugin is installed, so that each place picks the sharpest image.
QIcon applicationIcon();

} // namespace KestrinResources
