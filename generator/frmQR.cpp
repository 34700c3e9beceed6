#include "frmQR.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include "application_folder.h"
#include "create_decisions.h"
#include "message_texts.h"
#include "messages.h"
#include "print_picture.h"
#include "resource_extraction.h"
#include "trim_and_val.h"
#include "ui_frmQR.h"

namespace {

const QString kBitmapFileName = QStringLiteral("QR.bmp");
// Every module of the picture is this many pixels square.
constexpr int32_t kModuleSize = 5;
// The window's design unit: positions in the form are twips, 15 to a pixel.
constexpr double kTwipsPerPixel = 15.0;
constexpr double kTwipsPerInch = 1440.0;

}  // namespace

frmQR::frmQR(const QString& applicationFolder, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmQR>()),
      cmd(this),
      Opt(this),
      escape_(QKeySequence(Qt::Key_Escape), this),
      applicationFolder_(applicationFolder),
      library_(JoinPath(applicationFolder, LoadResString(kLibraryNameId))) {
    ui->setupUi(this);
    // A fixed frame with a title, a system menu and a close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    cmd.setObjectName(QStringLiteral("cmd"));
    cmd.addButton(ui->cmd_0, kCreate);
    cmd.addButton(ui->cmd_1, kOpen);
    cmd.addButton(ui->cmd_2, kPrint);
    cmd.addButton(ui->cmd_3, kCopy);
    cmd.addButton(ui->cmd_4, kExit);
    cmd.setExclusive(false);
    Opt.setObjectName(QStringLiteral("Opt"));
    Opt.addButton(ui->Opt_0, 0);
    Opt.addButton(ui->Opt_1, 1);
    Opt.addButton(ui->Opt_2, 2);
    Opt.addButton(ui->Opt_3, 3);

    connect(&cmd, &QButtonGroup::idClicked, this, &frmQR::cmd_Click);
    connect(&Opt, &QButtonGroup::idClicked, this, &frmQR::Opt_Click);
    connect(ui->txt, &QPlainTextEdit::textChanged, this, &frmQR::txt_Change);
    // Esc presses Exit wherever the focus is in the window.
    connect(&escape_, &QShortcut::activated, ui->cmd_4, &QAbstractButton::click);

    Load();
}

frmQR::~frmQR() = default;

void frmQR::Load() {
    CurrentLevel = 2;
    ui->Combo1->setCurrentIndex(0);
    ui->txt->setFocus();
}

void frmQR::Opt_Click(int Index) {
    CurrentLevel = Index;
}

void frmQR::txt_Change() {
    // Each flag is read back from Create, so the three always agree.
    ui->cmd_0->setEnabled(!TrimSpaces(ui->txt->text()).isEmpty());
    ui->Frame1->setEnabled(ui->cmd_0->isEnabled());
    ui->Combo1->setEnabled(ui->cmd_0->isEnabled());
}

void frmQR::cmd_Click(int Index) {
    switch (Index) {
        case kCreate:
            Create();
            break;
        case kOpen:
            Open();
            break;
        case kPrint:
            Print();
            break;
        case kCopy:
            Copy();
            break;
        case kExit:
            Exit();
            break;
        default:
            break;
    }
}

void frmQR::Create() {
    BitmapPath = JoinPath(applicationFolder_, kBitmapFileName);
    EncodedText = TrimSpaces(ui->txt->text());
    const int32_t margin = RoundToInt32HalfEven(Val(ui->Combo1->currentText()));
    if (CurrentLevel < 0 || CurrentLevel > 3) {
        return;  // the level buttons give 0 to 3 only
    }
    if (!library_.Bind()) {
        Messages::Warn(this, QStringLiteral("msgLibraryNotLoaded"),
                       Texts::LibraryNotLoaded(Messages::Utf8(library_.fileName()),
                                               Messages::Utf8(library_.errorString())));
        return;
    }

    // The library reports a failure through errno only; the file's identity
    // tells whether a new picture is there.
    const std::string path = QFile::encodeName(BitmapPath).toStdString();
    const FileIdentity before = IdentityOf(path);
    errno = 0;
    library_.GenerateBMPW(reinterpret_cast<const char16_t*>(BitmapPath.utf16()),
                          reinterpret_cast<const char16_t*>(EncodedText.utf16()), margin,
                          kModuleSize, CurrentLevel);
    const int reason = errno;
    const FileIdentity after = IdentityOf(path);
    // On a failure text, level, size, preview and buttons stay as they were,
    // so the user can change what is wrong and try again.
    switch (JudgeCreate(reason, before, after)) {
        case CreateResult::TextDoesNotFit:
            Messages::Warn(this, QStringLiteral("msgTextDoesNotFit"), Texts::TextDoesNotFit());
            return;
        case CreateResult::FileNotWritten:
            Messages::Warn(this, QStringLiteral("msgFileNotWritten"),
                           Texts::FileNotWritten(Messages::Utf8(BitmapPath),
                                                 reason != 0 ? std::strerror(reason) : ""));
            return;
        case CreateResult::Written:
            break;
    }
    written_ = after;
    const QImage picture(BitmapPath);
    if (picture.isNull()) {
        Messages::Warn(this, QStringLiteral("msgPictureNotRead"),
                       Texts::PictureNotRead(Messages::Utf8(BitmapPath)));
        return;
    }

    ui->cmd_1->setEnabled(true);
    ui->cmd_2->setEnabled(true);
    ui->cmd_3->setEnabled(true);
    ui->Image1->setPixmap(QPixmap::fromImage(picture));
    ui->txt->clear();  // runs the text-change rule: Create is disabled again
    ui->txt->setFocus();
}

void frmQR::Open() {
    // The desktop's association for the file type (xdg-open); what it does
    // with the file is its own business, so the result is not read.
    QDesktopServices::openUrl(QUrl::fromLocalFile(BitmapPath));
}

void frmQR::Print() {
    const QImage picture = ui->Image1->pixmap().toImage();
    const QSizeF sizeInInches(ui->Image1->width() * kTwipsPerPixel / kTwipsPerInch,
                              ui->Image1->height() * kTwipsPerPixel / kTwipsPerInch);
    QString printer;
    switch (PrintPicture(picture, sizeInInches, kBitmapFileName, &printer)) {
        case PrintOutcome::Printed:
            break;
        case PrintOutcome::NoPrinter:
            Messages::Warn(this, QStringLiteral("msgNoPrinter"), Texts::NoPrinter());
            break;
        case PrintOutcome::NotStarted:
        case PrintOutcome::NotFinished:
            Messages::Warn(this, QStringLiteral("msgPrintFailed"),
                           Texts::PrintFailed(Messages::Utf8(printer)));
            break;
    }
}

void frmQR::Copy() {
    if (!clipboard_.Put(ui->Image1->pixmap().toImage())) {
        Messages::Warn(this, QStringLiteral("msgClipboardUnavailable"),
                       Texts::ClipboardUnavailable());
    }
}

void frmQR::Exit() {
    if (Messages::AskToClose(this)) {
        close();
    }
}

void frmQR::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && ui->cmd_0->isEnabled()) {
        ui->cmd_0->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmQR::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_ || screen() == nullptr) {
        return;
    }
    centred_ = true;
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
}

void frmQR::closeEvent(QCloseEvent* event) {
    Unload();
    event->accept();
}

void frmQR::Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    // Only the picture this program put there; what the user copied in
    // other programs since stays.
    clipboard_.ClearIfStillOurs();
    // Only the picture this window wrote, and only while it is still that
    // file: another window's picture or the user's own file stays.
    if (!TrimSpaces(BitmapPath).isEmpty() &&
        ShouldDeleteOnClose(written_, IdentityOf(QFile::encodeName(BitmapPath).toStdString()))) {
        QFile bitmap(BitmapPath);
        if (!bitmap.remove() && bitmap.exists()) {
            Messages::Warn(this, QStringLiteral("msgFileNotDeleted"),
                           Texts::FileNotDeleted(Messages::Utf8(BitmapPath),
                                                 Messages::Utf8(bitmap.errorString())));
        }
    }
}
