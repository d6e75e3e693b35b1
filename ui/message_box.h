// The program's message box: one OK button, the warning icon and the
// program's name as caption. Tests replace the box through a hook so that
// nothing waits for a click.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace cadrix {

using MessageHook = std::function<void(QWidget* parent, const QString& text)>;

// Shows `text` modally (or hands it to the installed hook).
void ShowMessage(QWidget* parent, const QString& text);

// Installs a replacement for the box; an empty hook restores the real box.
// Returns the previous hook.
MessageHook SetMessageHook(MessageHook hook);

// The caption: the program file's name without extension.
QString ProgramName();

}  // namespace cadrix
