#include "quality_slider.h"

#include <QCursor>
#include <QToolTip>

#include "output_format.h"
#include "quality_tip.h"

namespace cadrix {

QualitySlider::QualitySlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::TicksBelow);
    setFocusPolicy(Qt::StrongFocus);
}

void QualitySlider::InitTip() {
    tipReady_ = true;
    tipText = "Quality";
    setToolTip(TipText());
    UpdateTip();
}

void QualitySlider::SetFormat(int32_t newFormat, int32_t position) {
    format = newFormat;
    auto setup = [this, position](int maximum, int step) {
        setRange(0, maximum);
        setTickInterval(step);
        setPageStep(step);
        setSingleStep(1);
        setValue(position);
    };
    switch (newFormat) {
    case FORMAT_OGG:
        setup(110, 10);
        break;
    case FORMAT_WMA:
        setup(9, 1);
        break;
    case FORMAT_WMA_VBR:
        setup(5, 1);
        break;
    default:
        setValue(0);
        break;
    }
    UpdateTip();
}

void QualitySlider::UpdateTip() {
    lastPosition = value();
    tipText = QualityTipText(format, lastPosition, tipText);
    if (!tipReady_) return;
    const QString text = TipText();
    setToolTip(text);
    // A tooltip already on screen (the user hovers or drags) follows at once.
    if (QToolTip::isVisible() && underMouse()) QToolTip::showText(QCursor::pos(), text, this);
}

}  // namespace cadrix
