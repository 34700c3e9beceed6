#include "clipboard_picture.h"

#include <QClipboard>
#include <QGuiApplication>

#include <memory>

bool ClipboardPicture::Put(const QImage& picture) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    auto data = std::make_unique<QMimeData>();
    data->setImageData(picture);
    offered_ = data.get();
    clipboard->setMimeData(data.release(), QClipboard::Clipboard);
    return StillOnClipboard();
}

bool ClipboardPicture::StillOnClipboard() const {
    // Stricter than QClipboard::ownsClipboard(), which stays true after this
    // program put other data there (a text copied from the text box), and
    // which some platforms do not report at all.
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return !offered_.isNull() && clipboard->mimeData(QClipboard::Clipboard) == offered_.data();
}

void ClipboardPicture::ClearIfStillOurs() {
    if (StillOnClipboard()) {
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    }
}
