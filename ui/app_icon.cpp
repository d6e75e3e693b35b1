#include "app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <vector>

namespace cadrix {

namespace {

// Every layer is a path in a 256 x 256 square with a fill and an outline.
struct Layer {
    QPainterPath path;
    QColor fill;            // ignored when gradient is set
    bool gradient = false;  // the disc's silver radial gradient
    QColor stroke;          // no outline when invalid
    double strokeWidth = 0;
};

constexpr QPointF CENTER(128, 120);
constexpr double DISC_R = 108;
constexpr double HOLE_R = 15;
constexpr double LABEL_R = 38;

QPainterPath Circle(double r) {
    QPainterPath path;
    path.addEllipse(CENTER, r, r);
    return path;
}

QPainterPath Annulus(double outer, double inner) {
    QPainterPath path = Circle(outer);
    path.addPath(Circle(inner));
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

QPainterPath Wedge(double startDeg, double spanDeg, double outer, double inner) {
    QPainterPath pie;
    pie.moveTo(CENTER);
    pie.arcTo(QRectF(CENTER.x() - outer, CENTER.y() - outer, 2 * outer, 2 * outer), startDeg, spanDeg);
    pie.closeSubpath();
    return pie.subtracted(Circle(inner));
}

std::vector<Layer> Layers() {
    std::vector<Layer> layers;
    layers.push_back({Annulus(DISC_R, HOLE_R), {}, true, QColor(0x4b, 0x55, 0x61), 6});
    layers.push_back({Wedge(25, 50, DISC_R - 6, LABEL_R + 6), QColor(110, 175, 255, 110), false, {}, 0});
    layers.push_back({Wedge(205, 50, DISC_R - 6, LABEL_R + 6), QColor(255, 140, 200, 100), false, {}, 0});
    layers.push_back({Wedge(115, 30, DISC_R - 6, LABEL_R + 6), QColor(150, 235, 170, 90), false, {}, 0});
    layers.push_back({Annulus(LABEL_R, HOLE_R), QColor(0xe4, 0xe8, 0xec), false, QColor(0x86, 0x90, 0x9b), 3});
    QPainterPath arrow;
    arrow.moveTo(176, 126);
    arrow.lineTo(216, 126);
    arrow.lineTo(216, 180);
    arrow.lineTo(244, 180);
    arrow.lineTo(196, 244);
    arrow.lineTo(148, 180);
    arrow.lineTo(176, 180);
    arrow.closeSubpath();
    layers.push_back({arrow, QColor(0xf0, 0x8a, 0x24), false, QColor(0x7a, 0x3d, 0x06), 7});
    return layers;
}

QRadialGradient DiscGradient() {
    QRadialGradient gradient(QPointF(98, 86), 160);
    gradient.setColorAt(0, QColor(0xff, 0xff, 0xff));
    gradient.setColorAt(0.55, QColor(0xdc, 0xe2, 0xe8));
    gradient.setColorAt(1, QColor(0xa4, 0xae, 0xba));
    return gradient;
}

QString SvgColor(const QColor& c) { return c.name(QColor::HexRgb); }

QString SvgPathData(const QPainterPath& path) {
    QString d;
    auto num = [](double v) { return QString::number(v, 'f', 2); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            if (i > 0) d += QStringLiteral("Z ");
            d += QStringLiteral("M%1 %2 ").arg(num(e.x), num(e.y));
        } else if (e.isLineTo()) {
            d += QStringLiteral("L%1 %2 ").arg(num(e.x), num(e.y));
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6 ")
                     .arg(num(e.x), num(e.y), num(c2.x), num(c2.y), num(end.x), num(end.y));
            i += 2;
        }
    }
    d += QLatin1Char('Z');
    return d;
}

}  // namespace

QImage RenderAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    const double minimumPen = 256.0 / size;  // keep outlines at least a pixel wide
    for (const Layer& layer : Layers()) {
        if (layer.gradient) painter.setBrush(DiscGradient());
        else painter.setBrush(layer.fill);
        if (layer.stroke.isValid()) {
            QPen pen(layer.stroke, std::max(layer.strokeWidth, minimumPen));
            pen.setJoinStyle(Qt::RoundJoin);
            painter.setPen(pen);
        } else {
            painter.setPen(Qt::NoPen);
        }
        painter.drawPath(layer.path);
    }
    painter.end();
    return image;
}

QIcon AppIcon() {
    static const QIcon icon = [] {
        QIcon built;
        for (int size : APP_ICON_SIZES) built.addPixmap(QPixmap::fromImage(RenderAppIcon(size)));
        return built;
    }();
    return icon;
}

QString AppIconSvg() {
    const QRadialGradient g = DiscGradient();
    QString svg =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
            "  <defs>\n"
            "    <radialGradient id=\"silver\" gradientUnits=\"userSpaceOnUse\" cx=\"%1\" cy=\"%2\" r=\"%3\">\n")
            .arg(g.center().x())
            .arg(g.center().y())
            .arg(g.radius());
    for (const QGradientStop& stop : g.stops()) {
        svg += QStringLiteral("      <stop offset=\"%1\" stop-color=\"%2\"/>\n")
                   .arg(stop.first)
                   .arg(SvgColor(stop.second));
    }
    svg += QStringLiteral("    </radialGradient>\n  </defs>\n");
    for (const Layer& layer : Layers()) {
        QString attributes;
        if (layer.gradient) {
            attributes = QStringLiteral("fill=\"url(#silver)\"");
        } else {
            attributes = QStringLiteral("fill=\"%1\"").arg(SvgColor(layer.fill));
            if (layer.fill.alpha() != 255) {
                attributes += QStringLiteral(" fill-opacity=\"%1\"").arg(layer.fill.alphaF(), 0, 'f', 3);
            }
        }
        attributes += QStringLiteral(" fill-rule=\"evenodd\"");
        if (layer.stroke.isValid()) {
            attributes += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linejoin=\"round\"")
                              .arg(SvgColor(layer.stroke))
                              .arg(layer.strokeWidth);
        }
        svg += QStringLiteral("  <path %1 d=\"%2\"/>\n").arg(attributes, SvgPathData(layer.path));
    }
    svg += QStringLiteral("</svg>\n");
    return svg;
}

}  // namespace cadrix
