// Dialog units to pixels, the way Windows lays out dialog templates: one
// horizontal unit is a quarter of the font's average character width, one
// vertical unit an eighth of its height, each conversion rounded (MulDiv).
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace cadrix {

// The font dialog templates ask for ("MS Sans Serif", 8 pt), resolved to a
// metric-compatible font of this system (Liberation Sans, then DejaVu Sans).
QFont DialogTemplateFont();

class DluMapper {
public:
    explicit DluMapper(const QFont& font);
    DluMapper(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    int X(int dluX) const { return MulDiv(dluX, baseX_, 4); }
    int Y(int dluY) const { return MulDiv(dluY, baseY_, 8); }
    QRect Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }
    QSize Size(int cx, int cy) const { return QSize(X(cx), Y(cy)); }
    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }

    // a * b / c rounded half away from zero, as Win32's MulDiv.
    static int MulDiv(int a, int b, int c);

private:
    int baseX_ = 6;
    int baseY_ = 13;
};

}  // namespace cadrix
