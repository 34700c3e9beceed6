// Window test helpers: own folder, message boxes answered, programs run, QR codes read by zxing.
#pragma once

#define ZX_USE_UTF8
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ZXing/ReadBarcode.h>

#include <functional>
#include <memory>

#include "frmQR.h"
#include "limited_text_box.h"
#include "resource_file.h"
#include "resources.h"

// Runs `action`, answering each message box with `answer` (or closing it); returns the boxes as
// "objectName|title|text".
inline QStringList Answering(QMessageBox::StandardButton answer,
                             const std::function<void()>& action) {
    QStringList seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible()) {
            seen << box->objectName() + '|' + box->windowTitle() + '|' + box->text();
            box->button(answer) ? box->button(answer)->click() : box->reject();
        }
    });
    timer.start(10);
    action();
    return seen;
}

// The window, shown and active, on folder `folder` (as given) in a fresh temp dir with the library.
class WindowFixture {
  public:
    explicit WindowFixture(const QString& folder = QStringLiteral("app"))
        : folder_(root_.path() + '/' + folder) {
        QDir().mkpath(folder_);  // writing the library fails without it
        const QByteArray library = LoadResData(kLibraryDataId);
        const ExtractedFile written =
            ExtractResourceFile(folder_.toStdString(), LoadResString(kLibraryNameId).toStdString(),
                                std::string_view(library.constData(), std::size_t(library.size())));
        window_ = std::make_unique<frmQR>(folder_.toStdString(), written.path);
        window_->show();
        window_->activateWindow();
        (void)QTest::qWaitForWindowActive(window_.get());  // what needs the focus fails without
    }

    frmQR& Window() { return *window_; }
    QString BitmapFile() const { return folder_ + QStringLiteral("/QR.bmp"); }
    LimitedTextBox* txt() const { return window_->findChild<LimitedTextBox*>("txt"); }
    QComboBox* Combo1() const { return window_->findChild<QComboBox*>("Combo1"); }
    // cmd_<index>: 0 Create, 1 Open, 2 Print, 3 Copy, 4 Exit.
    QPushButton* cmd(int index) const {
        return window_->findChild<QPushButton*>(QString("cmd_%1").arg(index));
    }
    QImage Preview() const {  // as 32-bit RGB
        return window_->findChild<QLabel*>("Image1")->pixmap().toImage().convertToFormat(
            QImage::Format_RGB32);
    }
    // Types `text`, clicks Opt_<level> (L,M,Q,H), picks size `sizeIndex`, Creates; returns boxes.
    QStringList Create(const QString& text, int level = 2, int sizeIndex = 0) {
        txt()->insertPlainText(text);
        QTest::mouseClick(window_->findChild<QWidget*>(QString("Opt_%1").arg(level)),
                          Qt::LeftButton);
        Combo1()->setCurrentIndex(sizeIndex);
        return Click(0);
    }
    QStringList Click(int index, QMessageBox::StandardButton answer = QMessageBox::Ok) {
        return Answering(answer, [&] { QTest::mouseClick(cmd(index), Qt::LeftButton); });
    }

  private:
    QTemporaryDir root_;
    QString folder_;
    std::unique_ptr<frmQR> window_;
};

struct ProcessResult {
    bool ok = false;  // ended by itself in time with exit code 0
    QByteArray out;
    QString error;  // the command and how it failed, for test messages
};

// Runs `program` (30 s at most) turning the event loop, so we answer its clipboard reads meanwhile.
inline ProcessResult RunProcess(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    const bool ended =
        QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000);
    return {ended && process.error() == QProcess::UnknownError && process.exitCode() == 0,
            process.readAllStandardOutput(),
            program + ": " + process.errorString() + ": " + process.readAllStandardError()};
}

// Reads a QR picture with zxing-cpp (not ours): raw content and level ("L".."H"; "" for none).
inline std::pair<QByteArray, QString> Decode(const QImage& picture) {
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::Result result = ZXing::ReadBarcode(
        ZXing::ImageView(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                         static_cast<int>(grey.bytesPerLine())),
        ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
    const ZXing::ByteArray& bytes = result.bytes();
    return {QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
            QString::fromStdString(result.isValid() ? result.ecLevel() : "")};
}
