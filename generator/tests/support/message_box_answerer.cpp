#include "message_box_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>

MessageBoxAnswerer::MessageBoxAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    connect(&timer_, &QTimer::timeout, this, &MessageBoxAnswerer::Poll);
    timer_.start(10);
}

void MessageBoxAnswerer::Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
        return;
    }
    SeenMessageBox seen{box->objectName(), box->windowTitle(), box->text(), box->icon(), {}, {}};
    if (box->defaultButton() != nullptr) {
        seen.defaultButton = box->defaultButton()->text();
    }
    for (const QAbstractButton* button : box->buttons()) {
        seen.buttons << button->text();
    }
    seen_ << seen;
    QAbstractButton* button = box->button(answer_);
    if (button != nullptr) {
        button->click();
    } else {
        box->reject();
    }
}
