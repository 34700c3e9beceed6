// The window's multi-line text box: a length limit that typing, pasting and
// dropping all respect, and the Enter keys of a window with a default button.
#pragma once

#include <QPlainTextEdit>

class LimitedTextBox : public QPlainTextEdit {
    Q_OBJECT
    Q_PROPERTY(int maxLength READ maxLength WRITE setMaxLength)

  public:
    explicit LimitedTextBox(QWidget* parent = nullptr);

    // The most UTF-16 code units the box holds (a line break counts one).
    // Input that would pass it is refused when typed and cut to fit when
    // pasted or dropped; text set by the program is not checked.
    int maxLength() const { return maxLength_; }
    void setMaxLength(int maxLength) { maxLength_ = maxLength; }

    // The text with "\n" between lines. Unlike toPlainText(), keeps
    // non-breaking spaces as they are.
    QString Text() const;

    // The current length in UTF-16 code units, as counted for maxLength.
    int Length() const;

  protected:
    // Enter and Return without Ctrl are left to the window (they press its
    // default button); Ctrl+Enter types a line break.
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

  private:
    // How many code units may still be inserted in place of the selection.
    int Room() const;
    // Replaces the selection with `text` (not checked against the limit).
    void InsertAtCursor(const QString& text);

    int maxLength_ = 32767;
};
