// The picture that this program puts on the system clipboard.
#pragma once

#include <QImage>
#include <QMimeData>
#include <QPointer>

class ClipboardPicture {
  public:
    // Empties the clipboard, then offers `picture` on it in every image
    // format the platform knows (on X11: image/bmp, image/png and more).
    // Returns false when the clipboard could not be taken. GUI thread.
    bool Put(const QImage& picture);

    // True while the clipboard still holds the picture of the last Put: not
    // when another program, or this one with other data, has taken it since.
    bool StillOnClipboard() const;

    // Empties the clipboard, but only while it still holds that picture;
    // what the user copied in other programs since is left alone.
    void ClearIfStillOurs();

  private:
    // The clipboard owns the data; it deletes it when it is replaced, which
    // clears this pointer.
    QPointer<QMimeData> offered_;
};
