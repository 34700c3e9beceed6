#define ZX_USE_UTF8
#include "test_support.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <ZXing/ReadBarcode.h>

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resource_extraction.h"

bool BecomeOrdinaryUser() {
    if (geteuid() != 0) {
        return false;
    }
    constexpr uid_t kUser = 4241;
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string temp = tmpdir != nullptr && *tmpdir == '/' ? tmpdir : "/tmp";
    const std::string home = temp + "/home";
    const std::string runtime = temp + "/runtime";
    const std::string smallDisk = temp + "/small-disk";
    // A container without the right to make a mount namespace: stay root;
    // the tests that need an ordinary user say so and skip.
    if (unshare(CLONE_NEWNS) != 0) {
        qWarning("no mount namespace (%s): the tests run as root", std::strerror(errno));
        return false;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", temp.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64m,mode=1777") != 0 ||
        mkdir(home.c_str(), 0700) != 0 || mkdir(runtime.c_str(), 0700) != 0 ||
        mkdir(smallDisk.c_str(), 0700) != 0 ||
        mount("tmpfs", smallDisk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
              "size=4m,mode=0700,uid=4241,gid=4241") != 0 ||
        chown(home.c_str(), kUser, kUser) != 0 || chown(runtime.c_str(), kUser, kUser) != 0 ||
        setgroups(0, nullptr) != 0 || setresgid(kUser, kUser, kUser) != 0 ||
        setresuid(kUser, kUser, kUser) != 0) {
        qFatal("cannot become an ordinary user: %s", std::strerror(errno));
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    return true;
}

QString SmallDiskFolder() {
    return QDir::tempPath() + QStringLiteral("/small-disk");
}

WindowFixture::WindowFixture(const QString& subfolder, const WindowFixture* sameFolderAs)
    : folder_(sameFolderAs != nullptr     ? sameFolderAs->folder_
              : subfolder.startsWith('/') ? subfolder
                                          : root_.path() + QLatin1Char('/') + subfolder) {
    const QString error =
        !root_.isValid() ? root_.errorString()
        : !QDir().mkpath(folder_)
            ? QStringLiteral("no folder")
            : QString::fromStdString(
                  ExtractResourceFile(folder_, kLibraryNameId, kLibraryDataId).error);
    if (!error.isEmpty()) {
        qFatal("library not written to %s: %s", qPrintable(folder_), qPrintable(error));
    }
    window_ = std::make_unique<frmQR>(folder_);
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get())) {
        qFatal("the window did not become active");
    }
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
