#include "window_fixture.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QTest>

#include "application_folder.h"
#include "resource_extraction.h"

// A fixture that cannot be set up makes every check after it meaningless.
WindowFixture::WindowFixture(const QString& folderSuffix) {
    if (!dir_.isValid()) {
        qFatal("no temporary folder: %s", qPrintable(dir_.errorString()));
    }
    folder_ = dir_.path() + folderSuffix;
    qputenv(kApplicationFolderVariable, folder_.toUtf8());
    const ExtractedFile library =
        ExtractResourceFile(ApplicationFolder(), kLibraryNameId, kLibraryDataId);
    if (!library.error.isEmpty()) {
        qFatal("library not written: %s", qPrintable(library.error));
    }
    window_ = std::make_unique<frmQR>(ApplicationFolder());
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get())) {
        qFatal("the window did not become active");
    }
}

WindowFixture::~WindowFixture() {
    qunsetenv(kApplicationFolderVariable);
}

QString WindowFixture::libraryFile() const {
    return JoinPath(folder_, LoadResString(kLibraryNameId));
}

LimitedTextBox* WindowFixture::txt() const {
    return window_->findChild<LimitedTextBox*>(QStringLiteral("txt"));
}

QPushButton* WindowFixture::cmd(int index) const {
    const auto* group = window_->findChild<QButtonGroup*>(QStringLiteral("cmd"));
    return qobject_cast<QPushButton*>(group->button(index));
}

QRadioButton* WindowFixture::opt(int index) const {
    const auto* group = window_->findChild<QButtonGroup*>(QStringLiteral("Opt"));
    return qobject_cast<QRadioButton*>(group->button(index));
}

QComboBox* WindowFixture::combo() const {
    return window_->findChild<QComboBox*>(QStringLiteral("Combo1"));
}

QGroupBox* WindowFixture::frame() const {
    return window_->findChild<QGroupBox*>(QStringLiteral("Frame1"));
}

QLabel* WindowFixture::image() const {
    return window_->findChild<QLabel*>(QStringLiteral("Image1"));
}

void WindowFixture::Type(const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, txt(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void WindowFixture::Paste(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(txt(), Qt::Key_V, Qt::ControlModifier);
}

void WindowFixture::Create(const QString& text, int level, int sizeIndex) {
    Type(text);
    QTest::mouseClick(opt(level), Qt::LeftButton);
    combo()->setCurrentIndex(sizeIndex);
    QTest::mouseClick(cmd(0), Qt::LeftButton);
}
