#include "window_presenter.h"

#include "app_folder_rule.h"
#include "message_texts.h"
#include "text_rules.h"

namespace {

enum class CreateResult { Written, TextDoesNotFit, FileNotWritten };

// A call of GenerateBMPW judged by the file's identity before and after it:
// a new file is the success (the library writes through a temporary file, so
// a failed call never leaves one). Otherwise only the library's "no symbol
// holds the text" means the text is too long; any other reason, none at all
// included, means the file could not be written.
CreateResult JudgeCreate(bool textTooLong, const FileIdentity& before, const FileIdentity& after) {
    if (after.exists && after != before) {
        return CreateResult::Written;
    }
    return textTooLong ? CreateResult::TextDoesNotFit : CreateResult::FileNotWritten;
}

// Closing deletes the file only when this window wrote it and it is still
// that very file: one that another window, the user or a failed Create put
// there stays.
bool ShouldDeleteOnClose(const std::optional<FileIdentity>& written, const FileIdentity& now) {
    return written.has_value() && now.exists && *written == now;
}

}  // namespace

WindowPresenter::WindowPresenter(WindowFace& face, SystemServices& system,
                                 std::string applicationFolder)
    : face_(face), system_(system), picturePath_(JoinPath(applicationFolder, kBitmapFileName)) {}

void WindowPresenter::OnLoad() {
    level_ = kDefaultLevel;
    face_.SelectLevelAndSize(level_, 0);
    face_.ClearAndFocusText();
    OnTextChanged();
}

void WindowPresenter::OnCommand(Command command) {
    switch (command) {
        case Command::Create:
            return OnCreate();
        case Command::Open:
            return OnOpen();
        case Command::Print:
            return OnPrint();
        case Command::Copy:
            return OnCopy();
        case Command::Exit:
            return OnExit();
    }
}

void WindowPresenter::OnLevelChosen(int32_t level) {
    level_ = level;
}

void WindowPresenter::OnTextChanged() {
    const bool usable = CreateEnabledFor(face_.TypedText());
    using Control = WindowFace::Control;
    for (const auto control : {Control::CreateButton, Control::LevelChoice, Control::SizeList}) {
        face_.Enable(control, usable);
    }
}

void WindowPresenter::OnCreate() {
    encodedText_ = TrimSpaces(face_.TypedText());
    const int32_t margin = MarginFromSizeText(face_.SizeText());
    if (level_ < 0 || level_ > 3) {
        return;  // the level buttons give 0 to 3 only
    }
    // The library reports a failure through its reason only; the file's
    // identity tells whether a new picture is there.
    const FileIdentity before = system_.IdentityOf(picturePath_);
    const PictureCall call =
        system_.MakePicture(picturePath_, encodedText_, margin, kModuleSize, level_);
    if (!call.libraryError.empty()) {
        return face_.Warn({"msgLibraryNotLoaded",
                           Texts::LibraryNotLoaded(system_.LibraryPath(), call.libraryError)});
    }
    const FileIdentity after = system_.IdentityOf(picturePath_);
    // On a failure text, level, size, preview and buttons stay as they were,
    // so the user can change what is wrong and try again.
    switch (JudgeCreate(call.textTooLong, before, after)) {
        case CreateResult::TextDoesNotFit:
            return face_.Warn({"msgTextDoesNotFit", Texts::TextDoesNotFit()});
        case CreateResult::FileNotWritten:
            return face_.Warn(
                {"msgFileNotWritten", Texts::FileNotWritten(picturePath_, call.reason)});
        case CreateResult::Written:
            break;
    }
    written_ = after;
    if (!face_.ShowPicture(picturePath_)) {
        return face_.Warn({"msgPictureNotRead", Texts::PictureNotRead(picturePath_)});
    }
    pictureShown_ = true;
    using Control = WindowFace::Control;
    for (const auto control : {Control::OpenButton, Control::PrintButton, Control::CopyButton}) {
        face_.Enable(control, true);
    }
    face_.ClearAndFocusText();  // runs the text-change rule: Create is disabled again
}

void WindowPresenter::OnOpen() {
    // What the viewer does with the file is its own business.
    if (pictureShown_) {
        face_.OpenInViewer(picturePath_);
    }
}

void WindowPresenter::OnPrint() {
    if (!pictureShown_) {
        return;
    }
    std::string printer;
    switch (face_.PrintPicture(kBitmapFileName, kPreviewSideTwips, printer)) {
        case WindowFace::Printed::Yes:
            return;
        case WindowFace::Printed::NoPrinter:
            return face_.Warn({"msgNoPrinter", Texts::NoPrinter()});
        case WindowFace::Printed::Failed:
            return face_.Warn({"msgPrintFailed", Texts::PrintFailed(printer)});
    }
}

void WindowPresenter::OnCopy() {
    if (!pictureShown_) {
        return;
    }
    if (!face_.CopyPicture()) {
        return face_.Warn({"msgClipboardUnavailable", Texts::ClipboardUnavailable()});
    }
    copied_ = true;
}

void WindowPresenter::OnExit() {
    if (face_.AskToClose()) {
        face_.Close();
    }
}

void WindowPresenter::OnUnload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    // Only the picture this window put there; what the user copied in other
    // programs since stays.
    if (copied_) {
        face_.EmptyClipboardIfOurs();
    }
    // Only the picture this window wrote, and only while it is still that
    // file: another window's picture or the user's own file stays.
    if (ShouldDeleteOnClose(written_, system_.IdentityOf(picturePath_))) {
        if (const std::string reason = system_.RemoveFile(picturePath_); !reason.empty()) {
            face_.Warn({"msgFileNotDeleted", Texts::FileNotDeleted(picturePath_, reason)});
        }
    }
}
