#include "dlu_layout.h"

#include <QFontMetrics>
#include <QStringList>

namespace cadrix {

QFont DialogTemplateFont() {
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DluMapper::DluMapper(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded, as GetDialogBaseUnits.
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (width / 26 + 1) / 2;
    baseY_ = metrics.height();
    if (baseX_ <= 0) baseX_ = 6;
    if (baseY_ <= 0) baseY_ = 13;
}

int DluMapper::MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long product = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    const long long rounded = (product >= 0) == (c > 0) ? (product + (c > 0 ? half : -half)) / c
                                                        : (product - (c > 0 ? half : -half)) / c;
    return static_cast<int>(rounded);
}

}  // namespace cadrix
