#include "about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app_icon.h"
#include "dlu_layout.h"
#include "util/build_info.h"

namespace cadrix {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Cadrix"));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogTemplateFont());
    const DluMapper dlu(font());
    setFixedSize(dlu.Size(235, 55));

    // Controls in template order.
    auto* icon = new QLabel(this);
    const int iconSize = 32;
    icon->setPixmap(AppIcon().pixmap(iconSize, iconSize));
    icon->setGeometry(dlu.X(11), dlu.Y(17), iconSize, iconSize);

    auto addLine = [&](const QString& text, QRect rect) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(rect);
        return label;
    };
    const std::string_view version = ClientVersion();
    addLine(QString::fromUtf8(ABOUT_LINE_1) + QString::fromUtf8(version.data(), static_cast<qsizetype>(version.size())),
            dlu.Rect(43, 12, 119, 8));
    addLine(QString::fromUtf8(ABOUT_LINE_2), dlu.Rect(43, 23, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(dlu.Rect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    addLine(QString::fromUtf8(ABOUT_LINE_3), dlu.Rect(43, 33, 90, 8));
}

}  // namespace cadrix
