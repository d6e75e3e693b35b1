// Build-time helper: writes Cadrix's icon as SVG and as PNGs in the hicolor
// layout (<out>/hicolor/<n>x<n>/apps/cadrix.png, <out>/hicolor/scalable/apps/cadrix.svg).
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdio>

#include "app_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : cadrix::APP_ICON_SIZES) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        if (!QDir().mkpath(dir) || !cadrix::RenderAppIcon(size).save(dir + QStringLiteral("/cadrix.png"), "PNG")) {
            std::fprintf(stderr, "cannot write the %dpx icon\n", size);
            return 1;
        }
    }
    const QString scalable = out + QStringLiteral("/hicolor/scalable/apps");
    QFile svg(scalable + QStringLiteral("/cadrix.svg"));
    if (!QDir().mkpath(scalable) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(cadrix::AppIconSvg().toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write the SVG icon\n");
        return 1;
    }
    return 0;
}
