// Cadrix's own icon: a silver disc with an orange arrow pointing down into a
// file. One drawing serves both the pixmaps and the SVG of the install.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace cadrix {

// The icon sizes installed into the hicolor theme.
inline constexpr int APP_ICON_SIZES[] = {16, 22, 24, 32, 48, 64, 128, 256};

QImage RenderAppIcon(int size);
QIcon AppIcon();
// The same drawing as a standalone SVG document (viewBox 0 0 256 256).
QString AppIconSvg();

}  // namespace cadrix
