#include "frmQR.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMarginsF>
#include <QMessageBox>
#include <QPageLayout>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QUrl>

#include "message_texts.h"
#include "ui_frmQR.h"

namespace {

constexpr double kTwipsPerInch = 1440.0;

// A path of the presenter's (file system bytes) as Qt's string; Qt's text as
// the presenter's UTF-16.
QString FromBytes(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

std::u16string ToU16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())};
}

}  // namespace

frmQR::frmQR(const std::string& applicationFolder, const std::string& libraryPath, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::frmQR>()),
      commandButtons_(this),
      levelButtons_(this),
      escape_(QKeySequence(Qt::Key_Escape), this),
      system_(libraryPath),
      presenter_(*this, system_, applicationFolder) {
    ui_->setupUi(this);
    textBox_ = ui_->txt;
    levelChoice_ = ui_->Frame1;
    sizeList_ = ui_->Combo1;
    preview_ = ui_->Image1;
    // A fixed frame with a title, a system menu and a close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    // The groups keep the form's names for those who look the window over.
    commandButtons_.setObjectName(QStringLiteral("cmd"));
    commandButtons_.setExclusive(false);
    levelButtons_.setObjectName(QStringLiteral("Opt"));
    int index = 0;
    for (QAbstractButton* button : {ui_->cmd_0, ui_->cmd_1, ui_->cmd_2, ui_->cmd_3, ui_->cmd_4}) {
        commandButtons_.addButton(button, index++);  // in Command's order
    }
    index = 0;
    for (QAbstractButton* button : {ui_->Opt_0, ui_->Opt_1, ui_->Opt_2, ui_->Opt_3}) {
        levelButtons_.addButton(button, index++);
    }

    connect(&commandButtons_, &QButtonGroup::idClicked, this,
            [this](int index) { presenter_.OnCommand(Command(index)); });
    connect(&levelButtons_, &QButtonGroup::idClicked, this,
            [this](int level) { presenter_.OnLevelChosen(level); });
    connect(textBox_, &QPlainTextEdit::textChanged, this, [this] { presenter_.OnTextChanged(); });
    // Esc presses Exit wherever the focus is in the window.
    connect(&escape_, &QShortcut::activated, CommandButton(Command::Exit), &QAbstractButton::click);

    presenter_.OnLoad();
}

QAbstractButton* frmQR::CommandButton(Command command) const {
    return commandButtons_.button(int(command));
}

frmQR::~frmQR() = default;

std::u16string frmQR::TypedText() const {
    return ToU16(textBox_->Text());
}

std::u16string frmQR::SizeText() const {
    return ToU16(sizeList_->currentText());
}

void frmQR::SelectLevelAndSize(int32_t level, int sizeIndex) {
    levelButtons_.button(level)->setChecked(true);
    sizeList_->setCurrentIndex(sizeIndex);
}

void frmQR::Enable(Control control, bool enabled) {
    // In the order of WindowFace::Control.
    QWidget* const controls[] = {CommandButton(Command::Create),
                                 CommandButton(Command::Open),
                                 CommandButton(Command::Print),
                                 CommandButton(Command::Copy),
                                 levelChoice_,
                                 sizeList_};
    controls[int(control)]->setEnabled(enabled);
}

bool frmQR::ShowPicture(const std::string& path) {
    const QImage picture(FromBytes(path));
    if (!picture.isNull()) {
        preview_->setPixmap(QPixmap::fromImage(picture));
    }
    return !picture.isNull();
}

void frmQR::ClearAndFocusText() {
    textBox_->clear();
    textBox_->setFocus();
}

void frmQR::ShowWarning(QWidget* parent, const Warning& warning) {
    QMessageBox box(QMessageBox::Warning, Texts::kTitle, QString::fromStdString(warning.text),
                    QMessageBox::Ok, parent);
    box.setObjectName(QString::fromLatin1(warning.name));
    box.button(QMessageBox::Ok)->setText(QStringLiteral("ОК"));
    box.exec();
}

void frmQR::Warn(const Warning& warning) {
    ShowWarning(this, warning);
}

bool frmQR::AskToClose() {
    QMessageBox box(QMessageBox::Question, Texts::kTitle,
                    QString::fromStdString(Texts::AskToClose()), QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setObjectName(QStringLiteral("msgAskToClose"));
    // Qt's own captions would be English without its translations installed.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void frmQR::Close() {
    close();
}

bool frmQR::CopyPicture() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    // Every image format the platform knows (on X11: image/bmp, image/png
    // and more). The clipboard owns the data and deletes it when it is
    // replaced, which clears offered_.
    auto data = std::make_unique<QMimeData>();
    data->setImageData(preview_->pixmap().toImage());
    offered_ = data.get();
    clipboard->setMimeData(data.release(), QClipboard::Clipboard);
    return PictureStillOnClipboard();
}

bool frmQR::PictureStillOnClipboard() const {
    // Stricter than QClipboard::ownsClipboard(), which stays true after this
    // program put other data there (a text copied from the text box), and
    // which some platforms do not report at all.
    return !offered_.isNull() &&
           QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard) == offered_.data();
}

void frmQR::EmptyClipboardIfOurs() {
    if (PictureStillOnClipboard()) {
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    }
}

WindowFace::Printed frmQR::PrintPicture(const char* documentName, int sideTwips,
                                        std::string& printer) {
    // The default printer without a dialog, its settings unchanged but the
    // page margins: the picture's corner at the printable area's corner.
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    printer = defaultPrinter.printerName().toStdString();
    if (defaultPrinter.isNull()) {
        return Printed::NoPrinter;
    }
    QPrinter device(defaultPrinter, QPrinter::HighResolution);
    // Without a usable printer Qt falls back to writing a PDF to no file at
    // all; that is no printer for the user.
    if (!device.isValid() || device.outputFormat() != QPrinter::NativeFormat) {
        return Printed::NoPrinter;
    }
    device.setDocName(QString::fromLatin1(documentName));
    device.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    QPainter painter;
    if (!painter.begin(&device)) {
        return Printed::Failed;
    }
    // Qt's print path would otherwise embed the picture as JPEG, greying and
    // blurring the module edges: every module prints exact.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const double side = sideTwips / kTwipsPerInch * device.resolution();
    painter.drawImage(QRectF(0, 0, side, side), preview_->pixmap().toImage());
    return painter.end() ? Printed::Yes : Printed::Failed;
}

void frmQR::OpenInViewer(const std::string& path) {
    // The desktop's association for the file type (xdg-open).
    QDesktopServices::openUrl(QUrl::fromLocalFile(FromBytes(path)));
}

void frmQR::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QAbstractButton* const create = CommandButton(Command::Create);
    if (enter && create->isEnabled()) {
        create->click();
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
    presenter_.OnUnload();
    event->accept();
}
