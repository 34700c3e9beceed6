#include "limited_text_box.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextDocument>

#include <algorithm>

namespace {

// The first `room` code units of `text`, not splitting a surrogate pair.
QString CutToFit(const QString& text, int room) {
    if (text.size() <= room) {
        return text;
    }
    qsizetype cut = room;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate()) {
        --cut;
    }
    return text.first(cut);
}

}  // namespace

LimitedTextBox::LimitedTextBox(QWidget* parent) : QPlainTextEdit(parent) {}

QString LimitedTextBox::Text() const {
    // Blocks of the document are joined by U+2029 in the raw text.
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, u'\n');
    return raw;
}

int LimitedTextBox::Length() const {
    // characterCount() includes the paragraph separator after the last block.
    return document()->characterCount() - 1;
}

int LimitedTextBox::Room() const {
    const QTextCursor cursor = textCursor();
    const int selected = cursor.selectionEnd() - cursor.selectionStart();
    return std::max(0, maxLength_ - (Length() - selected));
}

void LimitedTextBox::InsertAtCursor(const QString& text) {
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void LimitedTextBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    if (enter) {
        if (Room() >= 1) {
            InsertAtCursor(QStringLiteral("\n"));
        } else {
            QApplication::beep();
        }
        return;
    }
    const QString typed = event->text();
    const bool typesText = !typed.isEmpty() && typed.at(0).isPrint() &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    if (typesText && !isReadOnly() && typed.size() > Room()) {
        QApplication::beep();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedTextBox::insertFromMimeData(const QMimeData* source) {
    if (source == nullptr || !source->hasText()) {
        return;
    }
    const QString text = CutToFit(source->text(), Room());
    if (text.size() < source->text().size()) {
        QApplication::beep();
    }
    if (!text.isEmpty() || textCursor().hasSelection()) {
        InsertAtCursor(text);
    }
}

void LimitedTextBox::inputMethodEvent(QInputMethodEvent* event) {
    const int room = Room();
    if (event->commitString().size() <= room) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent cut(event->preeditString(), event->attributes());
    cut.setCommitString(CutToFit(event->commitString(), room), event->replacementStart(),
                        event->replacementLength());
    QApplication::beep();
    QPlainTextEdit::inputMethodEvent(&cut);
}
