#include "window_presenter.h"

#include <iterator>

#include "app_folder_rule.h"
#include "message_texts.h"
#include "resource_file.h"
#include "text_rules.h"
#include "utf.h"

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

WindowPresenter::WindowPresenter(WindowFace& face, std::string applicationFolder,
                                 std::string libraryPath)
    : face_(face),
      applicationFolder_(std::move(applicationFolder)),
      library_(std::move(libraryPath)) {}

void WindowPresenter::Load() {
    CurrentLevel = kDefaultLevel;
    face_.SelectLevelAndSize(CurrentLevel, 0);
    face_.ClearAndFocusText();
    txt_Change();
}

void WindowPresenter::cmd_Click(int Index) {
    // In the order of the buttons' indexes.
    constexpr void (WindowPresenter::*kCommands[])() = {
        &WindowPresenter::Create, &WindowPresenter::Open, &WindowPresenter::Print,
        &WindowPresenter::Copy, &WindowPresenter::Exit};
    if (Index >= 0 && Index < int(std::size(kCommands))) {
        (this->*kCommands[Index])();
    }
}

void WindowPresenter::Opt_Click(int Index) {
    CurrentLevel = Index;
}

void WindowPresenter::txt_Change() {
    const bool usable = CreateEnabledFor(face_.TypedText());
    for (const auto control :
         {WindowFace::Control::cmd_0, WindowFace::Control::Frame1, WindowFace::Control::Combo1}) {
        face_.Enable(control, usable);
    }
}

void WindowPresenter::Create() {
    BitmapPath = JoinPath(applicationFolder_, kBitmapFileName);
    EncodedText = TrimSpaces(face_.TypedText());
    const int32_t margin = MarginFromSizeText(face_.SizeText());
    if (CurrentLevel < 0 || CurrentLevel > 3) {
        return;  // the level buttons give 0 to 3 only
    }
    if (const std::string reason = library_.Bind(); !reason.empty()) {
        face_.Warn({"msgLibraryNotLoaded", Texts::LibraryNotLoaded(library_.Path(), reason)});
        return;
    }
    // The library reports a failure through its reason only; the file's
    // identity tells whether a new picture is there.
    const FileIdentity before = IdentityOf(BitmapPath);
    const LibraryBinding::Reason reason = library_.GenerateBMPW(
        Utf16FromUtf8(BitmapPath), EncodedText, margin, kModuleSize, CurrentLevel);
    const FileIdentity after = IdentityOf(BitmapPath);
    // On a failure text, level, size, preview and buttons stay as they were,
    // so the user can change what is wrong and try again.
    switch (JudgeCreate(reason.textTooLong, before, after)) {
        case CreateResult::TextDoesNotFit:
            return face_.Warn({"msgTextDoesNotFit", Texts::TextDoesNotFit()});
        case CreateResult::FileNotWritten:
            return face_.Warn(
                {"msgFileNotWritten", Texts::FileNotWritten(BitmapPath, reason.text)});
        case CreateResult::Written:
            break;
    }
    written_ = after;
    if (!face_.ShowPicture(BitmapPath)) {
        return face_.Warn({"msgPictureNotRead", Texts::PictureNotRead(BitmapPath)});
    }
    pictureShown_ = true;
    for (const auto control :
         {WindowFace::Control::cmd_1, WindowFace::Control::cmd_2, WindowFace::Control::cmd_3}) {
        face_.Enable(control, true);
    }
    face_.ClearAndFocusText();  // runs the text-change rule: Create is disabled again
}

void WindowPresenter::Open() {
    // What the viewer does with the file is its own business.
    if (pictureShown_) {
        face_.OpenInViewer(BitmapPath);
    }
}

void WindowPresenter::Print() {
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

void WindowPresenter::Copy() {
    if (!pictureShown_) {
        return;
    }
    if (!face_.CopyPicture()) {
        return face_.Warn({"msgClipboardUnavailable", Texts::ClipboardUnavailable()});
    }
    copied_ = true;
}

void WindowPresenter::Exit() {
    if (face_.AskToClose()) {
        face_.Close();
    }
}

void WindowPresenter::Unload() {
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
    if (ShouldDeleteOnClose(written_, IdentityOf(BitmapPath))) {
        if (const std::string reason = RemoveFile(BitmapPath); !reason.empty()) {
            face_.Warn({"msgFileNotDeleted", Texts::FileNotDeleted(BitmapPath, reason)});
        }
    }
}

PreparedStart PrepareStart(std::string_view libraryName, std::string_view content) {
    const PreparedFolder folder = PrepareApplicationFolder();
    if (!folder.error.empty()) {
        return {folder.folder, "",
                Warning{"msgFolderNotUsable", Texts::FolderNotUsable(folder.folder, folder.error)}};
    }
    // The program carries its library; it is written out before the window
    // can ask for it.
    const ExtractedFile library = ExtractResourceFile(folder.folder, libraryName, content);
    if (!library.error.empty()) {
        return {
            folder.folder, library.path,
            Warning{"msgLibraryNotWritten", Texts::LibraryNotWritten(library.path, library.error)}};
    }
    return {folder.folder, library.path, std::nullopt};
}
