// The quality track bar: range, ticks and page size for the chosen output
// format, and a tooltip that says what the position means.
#pragma once

#include <QSlider>
#include <QString>

#include <cstdint>
#include <string>

namespace cadrix {

class QualitySlider : public QSlider {
    Q_OBJECT
public:
    explicit QualitySlider(QWidget* parent = nullptr);

    // Called once by the dialog after the format list is filled.
    void InitTip();
    // Points the slider at `format` with `position` (formats without a
    // quality keep the previous range and go to position 0).
    void SetFormat(int32_t format, int32_t position);
    // Rebuilds the tooltip text from the current position.
    void UpdateTip();

    int32_t Format() const { return format; }
    QString TipText() const { return QString::fromStdString(tipText); }

private:
    bool tipReady_ = false;
    int32_t lastPosition = 0;
    int32_t format = 0;
    std::string tipText;
};

}  // namespace cadrix
