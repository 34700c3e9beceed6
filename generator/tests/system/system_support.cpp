#include "system_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

#include <cstdio>

#include "resource_extraction.h"

bool UseXServer() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr,
                     "FAIL: no X server (DISPLAY is not set). The system tests need the X "
                     "server, print spooler and viewer that scripts/run-tests starts.\n");
        return false;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

QString ProcessResult::describe() const {
    return QStringLiteral("`%1` %2, exit code %3, stderr: %4")
        .arg(command, finished ? QStringLiteral("ended") : QStringLiteral("did not end"))
        .arg(exitCode)
        .arg(QString::fromLocal8Bit(err.trimmed()));
}

ProcessResult RunProcess(const QString& program, const QStringList& arguments, int timeoutMs) {
    ProcessResult result;
    result.command = (QStringList{program} + arguments).join(QLatin1Char(' '));
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        result.err = process.errorString().toLocal8Bit();
        return result;
    }
    process.closeWriteChannel();
    // Not waitForFinished(): it would stop this program from answering the
    // X server, and a clipboard read by `process` would never be served.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = "killed after " + QByteArray::number(timeoutMs) + " ms";
        return result;
    }
    result.finished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

MessageBoxCatcher::MessageBoxCatcher() {
    connect(&timer_, &QTimer::timeout, this, &MessageBoxCatcher::Poll);
    timer_.start(10);
}

void MessageBoxCatcher::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    const auto* box = qobject_cast<QMessageBox*>(modal);
    seen_ << Seen{
        modal->objectName(), modal->windowTitle(),
        box != nullptr ? box->text() : QString::fromLatin1(modal->metaObject()->className())};
    modal->close();
}

QString MessageBoxCatcher::describe() const {
    QStringList lines;
    for (const Seen& box : seen_) {
        lines << box.objectName + QStringLiteral(": ") + box.text;
    }
    return lines.join(QLatin1Char('\n'));
}

SystemWindow::SystemWindow(const QString& folderName) {
    if (!root_.isValid()) {
        error_ = QStringLiteral("no temporary folder: ") + root_.errorString();
        return;
    }
    folder_ = root_.path() + QLatin1Char('/') + folderName;
    if (!QDir().mkpath(folder_)) {
        error_ = QStringLiteral("cannot make the folder ") + folder_;
        return;
    }
    // What the program does before it shows its window.
    const ExtractedFile library = ExtractResourceFile(folder_, kLibraryNameId, kLibraryDataId);
    if (!library.error.isEmpty()) {
        error_ = QStringLiteral("library not written: ") + library.error;
        return;
    }
    window_ = std::make_unique<frmQR>(folder_);
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get())) {
        error_ = QStringLiteral("the window did not appear on the X server");
    }
}

SystemWindow::~SystemWindow() {
    if (window_) {
        window_->close();  // the program's own shutdown: QR.bmp goes
    }
}

QString SystemWindow::bitmapFile() const {
    return folder_ + QStringLiteral("/QR.bmp");
}

LimitedTextBox* SystemWindow::txt() const {
    return window_->findChild<LimitedTextBox*>(QStringLiteral("txt"));
}

QPushButton* SystemWindow::cmd(int index) const {
    const auto* group = window_->findChild<QButtonGroup*>(QStringLiteral("cmd"));
    return qobject_cast<QPushButton*>(group->button(index));
}

QComboBox* SystemWindow::combo() const {
    return window_->findChild<QComboBox*>(QStringLiteral("Combo1"));
}

QLabel* SystemWindow::image() const {
    return window_->findChild<QLabel*>(QStringLiteral("Image1"));
}

QString SystemWindow::Create(const QString& text, const QString& sizeItem) {
    txt()->setPlainText(text);
    if (!cmd(0)->isEnabled()) {
        return QStringLiteral("Create is not enabled after typing \"%1\"").arg(text);
    }
    const int item = combo()->findText(sizeItem);
    if (item < 0) {
        return QStringLiteral("no size item ") + sizeItem;
    }
    combo()->setCurrentIndex(item);
    MessageBoxCatcher catcher;
    QTest::mouseClick(cmd(0), Qt::LeftButton);
    if (!catcher.seen().isEmpty()) {
        return QStringLiteral("Create reported: ") + catcher.describe();
    }
    if (!QFileInfo::exists(bitmapFile())) {
        return QStringLiteral("Create wrote no ") + bitmapFile();
    }
    if (Preview().isNull()) {
        return QStringLiteral("Create showed no picture");
    }
    return {};
}

void SystemWindow::Click(int index) {
    QTest::mouseClick(cmd(index), Qt::LeftButton);
}

QImage SystemWindow::Preview() const {
    return image()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

QStringList SystemWindow::Snapshot() const {
    QStringList lines;
    lines << QStringLiteral("window \"%1\" visible %2 at %3,%4 size %5x%6")
                 .arg(window_->windowTitle())
                 .arg(window_->isVisible())
                 .arg(window_->x())
                 .arg(window_->y())
                 .arg(window_->width())
                 .arg(window_->height());
    for (const QWidget* widget : window_->findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) {
            continue;
        }
        QString line = QStringLiteral("%1 enabled %2 visible %3")
                           .arg(widget->objectName())
                           .arg(widget->isEnabled())
                           .arg(widget->isVisible());
        if (const auto* box = qobject_cast<const LimitedTextBox*>(widget)) {
            line += QStringLiteral(" text \"%1\"").arg(box->text());
        } else if (const auto* list = qobject_cast<const QComboBox*>(widget)) {
            line += QStringLiteral(" item \"%1\"").arg(list->currentText());
        } else if (const auto* option = qobject_cast<const QRadioButton*>(widget)) {
            line += QStringLiteral(" checked %1").arg(option->isChecked());
        }
        lines << line;
    }
    const QImage preview = Preview();
    lines << QStringLiteral("preview %1x%2 %3")
                 .arg(preview.width())
                 .arg(preview.height())
                 .arg(QString::fromLatin1(
                     QCryptographicHash::hash(
                         QByteArrayView(preview.constBits(), preview.sizeInBytes()),
                         QCryptographicHash::Md5)
                         .toHex()));
    lines << QStringLiteral("BitmapPath \"%1\"").arg(window_->bitmapPath());
    QStringList windows;
    for (const QWidget* topLevel : QApplication::topLevelWidgets()) {
        if (topLevel->isVisible()) {
            windows << QString::fromLatin1(topLevel->metaObject()->className()) + QLatin1Char(' ') +
                           topLevel->windowTitle();
        }
    }
    lines << QStringLiteral("top-level windows: ") + windows.join(QStringLiteral(", "));
    return lines;
}
