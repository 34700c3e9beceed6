// The window's sequences through a face and a system that record what they
// are asked to do, files kept as identities in memory: no toolkit, no file,
// no library, so they run alike everywhere, emulated 32-bit Wine included.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app_folder_rule.h"
#include "message_texts.h"
#include "window_presenter.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kFolder = "папка qr";
const std::string kPicture = JoinPath(kFolder, "QR.bmp");
const std::string kLibrary = "qrimage.dll";

// Logs each operation as a line; answers with what the test set.
class RecordingFace : public WindowFace {
  public:
    explicit RecordingFace(Calls& calls) : calls_(calls) {}
    std::u16string typed, size = u"5";
    bool readable = true, clipboardTaken = true, answerYes = false;
    Printed printed = Printed::Yes;

    std::u16string TypedText() const override { return typed; }
    std::u16string SizeText() const override { return size; }
    void SelectLevelAndSize(int32_t level, int sizeIndex) override {
        Log("select " + std::to_string(level) + " " + std::to_string(sizeIndex), 0);
    }
    void Enable(Control control, bool enabled) override {
        const char* names[] = {"CreateButton", "OpenButton",  "PrintButton",
                               "CopyButton",   "LevelChoice", "SizeList"};
        Log(std::string("enable ") + names[int(control)] + (enabled ? " on" : " off"), 0);
    }
    bool ShowPicture(const std::string& path) override { return Log("show " + path, readable); }
    void ClearAndFocusText() override { typed = Log("clear", std::u16string()); }
    void Warn(const Warning& warning) override { Log(warning.name + ("|" + warning.text), 0); }
    bool AskToClose() override { return Log("ask", answerYes); }
    void Close() override { Log("close", 0); }
    bool CopyPicture() override { return Log("copy", clipboardTaken); }
    void EmptyClipboardIfOurs() override { Log("empty clipboard", 0); }
    Printed PrintPicture(const char* documentName, int sideTwips, std::string& printer) override {
        printer = "Очередь";
        return Log(std::string("print ") + documentName + " " + std::to_string(sideTwips), printed);
    }
    void OpenInViewer(const std::string& path) override { Log("open " + path, 0); }

  private:
    template <typename Answer>
    Answer Log(std::string call, Answer answer) {
        calls_.push_back(std::move(call));
        return answer;
    }
    Calls& calls_;
};

// Files are identities in a map; each picture the library writes is a new
// one. Logs the picture asked for and each removal.
class RecordingSystem : public SystemServices {
  public:
    explicit RecordingSystem(Calls& calls) : calls_(calls) {}
    std::string libraryError, removeFailure;
    bool writes = true, textTooLong = false;
    std::string reason;
    std::map<std::string, FileIdentity> files;

    FileIdentity NewFile() { return {.exists = true, .inode = ++lastInode_}; }

    const std::string& LibraryPath() const override { return kLibrary; }
    PictureCall MakePicture(const std::string& path, const std::u16string& encoded, int32_t margin,
                            int32_t moduleSize, int32_t level) override {
        calls_.push_back("make " + path + " '" + std::string(encoded.begin(), encoded.end()) +
                         "' margin " + std::to_string(margin) + " module " +
                         std::to_string(moduleSize) + " level " + std::to_string(level));
        if (writes && libraryError.empty()) {
            files[path] = NewFile();
        }
        return {libraryError, textTooLong, reason};
    }
    FileIdentity IdentityOf(const std::string& path) const override {
        const auto file = files.find(path);
        return file != files.end() ? file->second : FileIdentity{};
    }
    std::string RemoveFile(const std::string& path) override {
        calls_.push_back("remove " + path);
        if (removeFailure.empty()) {
            files.erase(path);
        }
        return removeFailure;
    }

  private:
    Calls& calls_;
    uint64_t lastInode_ = 0;
};

// A presenter over the two doubles; each action returns what followed it.
struct Window {
    Calls calls;
    RecordingFace face{calls};
    RecordingSystem system{calls};
    WindowPresenter presenter{face, system, kFolder};

    // Types a word between spaces, picks `level`, presses Create.
    Calls Create(int level = 2) {
        face.typed = u"  word ";
        presenter.OnLevelChosen(level);
        return Run(Command::Create);
    }
    // Presses the button of `command`; none: closes the window.
    Calls Run(std::optional<Command> command) {
        calls.clear();
        command ? presenter.OnCommand(*command) : presenter.OnUnload();
        return std::exchange(calls, {});
    }
};

std::string Make(int level = 2) {
    return "make " + kPicture + " 'word' margin 5 module 5 level " + std::to_string(level);
}

const Calls kShown = {"show " + kPicture, "enable OpenButton on", "enable PrintButton on",
                      "enable CopyButton on", "clear"};

Calls Then(Calls calls, const Calls& more) {
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
}

// The name gtest shows for a case of a table below, in test names and failures.
template <typename Case>
std::string NameOf(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}
template <typename Case>
void PrintTo(const Case& testCase, std::ostream* out) requires requires {
    testCase.name;
}
{ *out << testCase.name; }

// Load opens on level 2 and the first size with an empty text, and applies
// the text-change rule.
TEST(PresenterLoad, OpensOnStandardLevelWithCreateUnusableUntilTextIsTyped) {
    Window window;
    window.presenter.OnLevelChosen(0);
    window.presenter.OnLoad();
    EXPECT_EQ(window.calls, (Calls{"select 2 0", "clear", "enable CreateButton off",
                                   "enable LevelChoice off", "enable SizeList off"}));
    window.face.typed = u"  word ";
    EXPECT_EQ(window.Run(Command::Create), Then({Make(2)}, kShown));
}

struct TypedCase {
    const char* name;
    std::u16string typed;
    bool usable;
};

class PresenterTextChange : public testing::TestWithParam<TypedCase> {};

// Create, the level choice and the size list are usable exactly while the
// text holds a character other than a space.
TEST_P(PresenterTextChange, Rule) {
    Window window;
    window.face.typed = GetParam().typed;
    window.presenter.OnTextChanged();
    const std::string state = GetParam().usable ? " on" : " off";
    EXPECT_EQ(window.calls, (Calls{"enable CreateButton" + state, "enable LevelChoice" + state,
                                   "enable SizeList" + state}));
}

const TypedCase kTypedCases[] = {
    {"SpacesOnlyDisable", u"   ", false},
    {"ATabIsNoSpace", u"\t", true},
};
INSTANTIATE_TEST_SUITE_P(, PresenterTextChange, testing::ValuesIn(kTypedCases), NameOf<TypedCase>);

struct CreateCase {
    const char* name;
    void (*arrange)(Window&);
    int level;
    Calls expected;
};

class PresenterCreate : public testing::TestWithParam<CreateCase> {};

// What the user chose reaches the library: the text trimmed of spaces, the
// level, the margin of the size item, 5 pixels a module. A failure says why
// and leaves the text and the buttons as they were.
TEST_P(PresenterCreate, Outcome) {
    Window window;
    GetParam().arrange(window);
    EXPECT_EQ(window.Create(GetParam().level), GetParam().expected);
}

const CreateCase kCreateCases[] = {
    {"ChoicesReachTheLibraryAndThePictureIsShown", [](Window&) {}, 0, Then({Make(0)}, kShown)},
    {"LevelBeyondHighMakesNothing", [](Window&) {}, 4, {}},
    {"TextTooLongIsSaid",
     [](Window& w) { w.system.writes = false, w.system.textTooLong = true; },
     3,
     {Make(3), std::string("msgTextDoesNotFit|") + Texts::TextDoesNotFit()}},
    {"FileNotWrittenGivesTheReason",
     [](Window& w) { w.system.writes = false, w.system.reason = "Is a directory"; },
     2,
     {Make(), "msgFileNotWritten|" + Texts::FileNotWritten(kPicture, "Is a directory")}},
    {"AnOldFileLeftAsItWasIsNoPicture",
     [](Window& w) { w.system.files[kPicture] = w.system.NewFile(), w.system.writes = false; },
     2,
     {Make(), "msgFileNotWritten|" + Texts::FileNotWritten(kPicture, "")}},
    {"LibraryNotLoadedGivesTheReason",
     [](Window& w) { w.system.libraryError = "not found"; },
     2,
     {Make(), "msgLibraryNotLoaded|" + Texts::LibraryNotLoaded(kLibrary, "not found")}},
    {"UnreadablePictureIsSaid",
     [](Window& w) { w.face.readable = false; },
     2,
     {Make(), "show " + kPicture, "msgPictureNotRead|" + Texts::PictureNotRead(kPicture)}},
};
INSTANTIATE_TEST_SUITE_P(, PresenterCreate, testing::ValuesIn(kCreateCases), NameOf<CreateCase>);

struct ActionCase {
    const char* name;
    void (*arrange)(Window&);
    std::optional<Command> command;  // none: the window closes
    Calls expected;
};

class PresenterAction : public testing::TestWithParam<ActionCase> {};

// The command buttons on the picture shown, and what closing removes: only
// what this window made, and only while it is still that.
TEST_P(PresenterAction, Outcome) {
    Window window;
    GetParam().arrange(window);
    EXPECT_EQ(window.Run(GetParam().command), GetParam().expected);
}

void Nothing(Window&) {}
void Created(Window& w) {
    ASSERT_EQ(w.Create(), Then({Make()}, kShown));
}
void CreatedUnreadable(Window& w) {
    w.face.readable = false;
    w.Create();
}
constexpr auto Open = Command::Open, Print = Command::Print, Copy = Command::Copy,
               Exit = Command::Exit;
constexpr std::nullopt_t Unload = std::nullopt;

const std::string kRemove = "remove " + kPicture;
const std::string kPrint = "print QR.bmp 1935";

const ActionCase kActionCases[] = {
    {"OpenWithoutAPictureShownDoesNothing", CreatedUnreadable, Open, {}},
    {"PrintWithoutAPictureDoesNothing", Nothing, Print, {}},
    {"CopyWithoutAPictureDoesNothing", Nothing, Copy, {}},
    {"OpenGivesThePictureToTheViewer", Created, Open, {"open " + kPicture}},
    {"PrintSendsThePictureAtThePreviewsSide", Created, Print, {kPrint}},
    {"PrintWithoutAPrinterIsSaid",
     [](Window& w) { Created(w), w.face.printed = WindowFace::Printed::NoPrinter; },
     Print,
     {kPrint, "msgNoPrinter|" + Texts::NoPrinter()}},
    {"PrintFailureNamesThePrinter",
     [](Window& w) { Created(w), w.face.printed = WindowFace::Printed::Failed; },
     Print,
     {kPrint, "msgPrintFailed|" + Texts::PrintFailed("Очередь")}},
    {"CopyRefusedIsSaid",
     [](Window& w) { Created(w), w.face.clipboardTaken = false; },
     Copy,
     {"copy", "msgClipboardUnavailable|" + Texts::ClipboardUnavailable()}},
    {"ExitAnsweredNoStaysOpen", Nothing, Exit, {"ask"}},
    {"ExitAnsweredYesCloses", [](Window& w) { w.face.answerYes = true; }, Exit, {"ask", "close"}},
    {"UnloadRemovesItsOwnPicture", Created, Unload, {kRemove}},
    {"UnloadRemovesAnUnreadablePictureToo", CreatedUnreadable, Unload, {kRemove}},
    {"UnloadLeavesAPictureGoneAlready",
     [](Window& w) { Created(w), w.system.files.clear(); },
     Unload,
     {}},
    {"UnloadLeavesAPictureRewrittenSince",
     [](Window& w) { Created(w), ++w.system.files[kPicture].size; },
     Unload,
     {}},
    {"UnloadLeavesAnOldFileAFailedCreateFound",
     [](Window& w) {
         w.system.files[kPicture] = w.system.NewFile(), w.system.writes = false;
         w.Create();
     },
     Unload,
     {}},
    {"UnloadSaysWhyThePictureStays",
     [](Window& w) { Created(w), w.system.removeFailure = "Permission denied"; },
     Unload,
     {kRemove, "msgFileNotDeleted|" + Texts::FileNotDeleted(kPicture, "Permission denied")}},
    {"UnloadEmptiesTheClipboardAfterACopy",
     [](Window& w) { Created(w), w.Run(Copy); },
     Unload,
     {"empty clipboard", kRemove}},
    {"UnloadLeavesTheClipboardAfterACopyRefused",
     [](Window& w) { Created(w), w.face.clipboardTaken = false, w.Run(Copy); },
     Unload,
     {kRemove}},
    {"UnloadRunsOnce", [](Window& w) { Created(w), w.Run(Copy), w.Run(Unload); }, Unload, {}},
};
INSTANTIATE_TEST_SUITE_P(, PresenterAction, testing::ValuesIn(kActionCases), NameOf<ActionCase>);

}  // namespace
