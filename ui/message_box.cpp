#include "message_box.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "app_icon.h"

namespace cadrix {

namespace {

MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

}  // namespace

QString ProgramName() {
    const QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty()) return QStringLiteral("cadrix");
    return QFileInfo(path).completeBaseName();
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (Hook()) {
        Hook()(parent, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, ProgramName(), text, QMessageBox::Ok, parent);
    box.setWindowIcon(AppIcon());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

MessageHook SetMessageHook(MessageHook hook) {
    MessageHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

}  // namespace cadrix
