#define ZX_USE_UTF8
#include "test_support.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <ZXing/ReadBarcode.h>

#include "resource_extraction.h"

WindowFixture::WindowFixture(const QString& subfolder)
    : folder_(root_.path() + QLatin1Char('/') + subfolder) {
    if (!root_.isValid() || !QDir().mkpath(folder_) ||
        !ExtractResourceFile(folder_, kLibraryNameId, kLibraryDataId).error.isEmpty()) {
        qFatal("library not written to %s", qPrintable(folder_));
    }
    window_ = std::make_unique<frmQR>(folder_);
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get())) {
        qFatal("the window did not become active");
    }
}

WindowFixture::~WindowFixture() {
    window_.reset();
}

QString WindowFixture::libraryFile() const {
    return folder_ + QLatin1Char('/') + LoadResString(kLibraryNameId);
}

QImage WindowFixture::preview() const {
    return window_->findChild<QLabel*>("Image1")->pixmap().toImage().convertToFormat(
        QImage::Format_RGB32);
}

QStringList WindowFixture::Create(const QString& text, int level, int sizeIndex) {
    txt()->insertPlainText(text);
    QTest::mouseClick(window_->findChild<QWidget*>(QString("Opt_%1").arg(level)), Qt::LeftButton);
    combo()->setCurrentIndex(sizeIndex);
    return Click(0);
}

QStringList WindowFixture::Click(int index, QMessageBox::StandardButton answer) {
    return Answering(answer, [&] { QTest::mouseClick(cmd(index), Qt::LeftButton); });
}

QStringList Answering(QMessageBox::StandardButton answer, const std::function<void()>& action) {
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

ProcessResult RunProcess(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    // Not waitForFinished(): it would stop this program from serving the X
    // server, and a clipboard read by `process` would never be answered.
    const bool ended =
        QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000);
    return {ended && process.error() == QProcess::UnknownError && process.exitCode() == 0,
            process.readAllStandardOutput(),
            program + ": " + process.errorString() + ": " + process.readAllStandardError()};
}

DecodedSymbol Decode(const QImage& picture) {
    if (picture.isNull()) {
        return {};
    }
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(),
                                ZXing::ImageFormat::Lum, static_cast<int>(grey.bytesPerLine()));
    const ZXing::Result result =
        ZXing::ReadBarcode(view, ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
    if (!result.isValid()) {
        return {};
    }
    const ZXing::ByteArray& bytes = result.bytes();
    return {QByteArray(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<qsizetype>(bytes.size())),
            QString::fromStdString(result.ecLevel())};
}
