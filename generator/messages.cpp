#include "messages.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace Messages {

namespace {

const QString kTitle = QStringLiteral("QR");

}  // namespace

bool AskToClose(QWidget* parent) {
    QMessageBox box(QMessageBox::Question, kTitle, QStringLiteral("Закрыть программу?"),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("msgAskToClose"));
    // Qt's own captions would be English without its translations installed.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void Warn(QWidget* parent, const QString& objectName, const QString& text) {
    QMessageBox box(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, parent);
    box.setObjectName(objectName);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("ОК"));
    box.exec();
}

QString TextDoesNotFit() {
    return QStringLiteral(
        "Текст не помещается в QR-код с выбранным качеством.\n"
        "Сократите текст или выберите более низкое качество.");
}

QString FileNotWritten(const QString& path) {
    return QStringLiteral("Не удалось записать файл:\n%1").arg(path);
}

QString PictureNotRead(const QString& path) {
    return QStringLiteral("Не удалось прочитать изображение:\n%1").arg(path);
}

QString LibraryNotLoaded(const QString& path, const QString& reason) {
    return QStringLiteral("Не удалось загрузить библиотеку:\n%1\n\n%2").arg(path, reason);
}

QString LibraryNotWritten(const QString& path, const QString& reason) {
    return QStringLiteral("Не удалось записать библиотеку:\n%1\n\n%2").arg(path, reason);
}

QString FileNotDeleted(const QString& path, const QString& reason) {
    return QStringLiteral("Не удалось удалить файл:\n%1\n\n%2").arg(path, reason);
}

QString NoPrinter() {
    return QStringLiteral("Нет доступного принтера.");
}

QString PrintFailed(const QString& printer) {
    return QStringLiteral("Не удалось выполнить печать на принтере «%1».").arg(printer);
}

QString ClipboardUnavailable() {
    return QStringLiteral("Не удалось поместить изображение в буфер обмена.");
}

}  // namespace Messages
