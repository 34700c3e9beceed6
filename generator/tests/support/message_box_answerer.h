// Answers the modal message boxes that the window opens while a test
// drives it, and records what they said.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

struct SeenMessageBox {
    QString objectName;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString defaultButton;  // the default button's caption
    QStringList buttons;    // captions, in the box's order
};

class MessageBoxAnswerer : public QObject {
  public:
    // Clicks `answer` in every message box that becomes the active modal
    // window while this object lives.
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer);

    const QList<SeenMessageBox>& seen() const { return seen_; }

  private:
    void Poll();

    QMessageBox::StandardButton answer_;
    QTimer timer_;
    QList<SeenMessageBox> seen_;
};
