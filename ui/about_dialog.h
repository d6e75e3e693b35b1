// The "About Cadrix" box: the icon, the version line, a notice of origin,
// the suite the program belongs to, and OK.
#pragma once

#include <QDialog>

namespace cadrix {

// Line 1 is "Cadrix version " and the build's version.
inline constexpr const char* ABOUT_LINE_1 = "Cadrix version ";
inline constexpr const char* ABOUT_LINE_2 = "\u00a9 2026 the Cadrix authors";
inline constexpr const char* ABOUT_LINE_3 = "Zephyrtone media suite";

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace cadrix
