// The window's message boxes, titled "QR", with the texts of message_texts.h.
// Every box carries an object name, so that tests and desktop tools can tell
// which one is open.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace Messages {

// Asks "Закрыть программу?" with Yes and No, Yes the default. Returns true
// for Yes. Modal; GUI thread.
bool AskToClose(QWidget* parent);

// Shows the UTF-8 `text` as a warning with one OK button. Modal; GUI thread.
void Warn(QWidget* parent, const QString& objectName, const std::string& text);

// A Qt string (a path, a reason) as UTF-8 for the texts.
std::string Utf8(const QString& text);

}  // namespace Messages
