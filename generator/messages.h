// What the window says to the user: its question and its reports, in
// message boxes titled "QR". Every box carries an object name, so that
// tests and desktop tools can tell which one is open.
#pragma once

#include <QString>

class QWidget;

namespace Messages {

// Asks "Закрыть программу?" with Yes and No, Yes the default. Returns true
// for Yes. Modal; GUI thread.
bool AskToClose(QWidget* parent);

// Shows a warning with one OK button. Modal; GUI thread.
void Warn(QWidget* parent, const QString& objectName, const QString& text);

// The texts of the reports. `path` and `reason` are shown as given.
QString TextDoesNotFit();
QString FileNotWritten(const QString& path);
QString PictureNotRead(const QString& path);
QString LibraryNotLoaded(const QString& path, const QString& reason);
QString LibraryNotWritten(const QString& path, const QString& reason);
QString FileNotDeleted(const QString& path, const QString& reason);
QString NoPrinter();
QString PrintFailed(const QString& printer);
QString ClipboardUnavailable();

}  // namespace Messages
