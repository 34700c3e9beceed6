#include "messages.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "message_texts.h"

namespace Messages {

bool AskToClose(QWidget* parent) {
    QMessageBox box(QMessageBox::Question, Texts::kTitle,
                    QString::fromStdString(Texts::AskToClose()), QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setObjectName(QStringLiteral("msgAskToClose"));
    // Qt's own captions would be English without its translations installed.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void Warn(QWidget* parent, const QString& objectName, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, Texts::kTitle, QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    box.setObjectName(objectName);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("ОК"));
    box.exec();
}

std::string Utf8(const QString& text) {
    return text.toStdString();
}

}  // namespace Messages
