#include "quality_slider.h"

#include <QCursor>
#include <QToolTip>

#include "output/output_format.h"
#include "output/quality_tip.h"

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
    const OutputFormatInfo* info = FindOutputFormat(newFormat);
    if (info != nullptr && info->HasQuality()) {
        setRange(0, info->sliderMax);
        setTickInterval(info->tickStep);
        setPageStep(info->pageStep);
        setSingleStep(1);
        setValue(position);
    } else {
        setValue(0);
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
