// The window's pure rules, and its sequences through a face and a system that record what
// they are asked to do (files as identities in memory): runs alike everywhere, Wine included.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app_folder_rule.h"
#include "message_texts.h"
#include "text_rules.h"
#include "utf.h"
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
    bool readable = true, clipboardTaken = true;
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
    bool AskToClose() override { return Log("ask", false); }
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

// Files as identities in a map, each written picture a new one; logs pictures asked for, removals.
class RecordingSystem : public SystemServices {
  public:
    explicit RecordingSystem(Calls& calls) : calls_(calls) {}
    std::string libraryError, removeFailure, reason;
    bool writes = true, textTooLong = false;
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

    void Type(int level = 2) {
        face.typed = u"  word ";
        presenter.OnLevelChosen(level);
    }
    Calls Create() {
        Type();
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

// What a Create that made its picture does.
const Calls kShown = {Make(),
                      "show " + kPicture,
                      "enable OpenButton on",
                      "enable PrintButton on",
                      "enable CopyButton on",
                      "clear"};

// The size list's items, and how halves round (to even) and words read.
TEST(TextRules, MarginIsValRoundedHalfToEven) {
    const struct {
        std::u16string text;
        int32_t margin;
    } rows[] = {{u"1", 1}, {u"25", 25}, {u"2.5", 2}, {u"3.5", 4}, {u"inf", 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(MarginFromSizeText(row.text), row.margin);
    }
}

// Only U+0020 is trimmed; Create is usable exactly while the text holds something else.
TEST(TextRules, OnlySpacesAreTrimmedAndOnlyASpacesOnlyTextIsEmpty) {
    EXPECT_EQ(TrimSpaces(u"  \tone  two\n\u00a0 "), u"\tone  two\n\u00a0");
    EXPECT_FALSE(CreateEnabledFor(u"   "));
    EXPECT_TRUE(CreateEnabledFor(u"\t"));
}

// Paths reach the library as UTF-16: every character whole, each byte that
// starts no character one U+FFFD (overlong, surrogate, cut short, too large).
TEST(TextRules, Utf8PathsBecomeUtf16) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } rows[] = {{"", u""},
                {"a\u044f\u20ac\U0001F600", u"a\u044f\u20ac\U0001F600"},
                {"\xC0\x80\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
                {"\xE2\x82x\xF4\x90\x80\x80", u"\uFFFD\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD"}};
    for (const auto& row : rows) {
        EXPECT_EQ(Utf16FromUtf8(row.utf8), row.utf16) << row.utf8;
    }
}

// The executable's folder only when it is the user's to write and nobody else may change it
// (the system's folder, root's too, is end_to_end.sh's).
TEST(FolderRule, OnlyAPrivateFolderOfTheUserHoldsTheFiles) {
    const struct {
        const char* what;
        bool shared;
        std::string perUserBase, expected;
    } rows[] = {
        {"the user's own", false, "/run/user/1000", "/opt/q"},
        {"others may change it", true, "/run/user/1000", JoinPath("/run/user/1000", "qrgenerator")},
        {"no per-user folder", true, "", ""},
    };
    for (const auto& row : rows) {
        const FolderFacts facts{.overridden = "",
                                .executableFolder = "/opt/q",
                                .executableFolderWritable = true,
                                .executableFolderShared = row.shared,
                                .executableFolderOfTheSystem = false,
                                .perUserBase = row.perUserBase};
        EXPECT_EQ(ChooseApplicationFolder(facts), row.expected) << row.what;
    }
}

// Load opens on level 2 and the first size with an empty text, and applies the text rule.
TEST(PresenterLoad, OpensOnStandardLevelWithCreateUnusableUntilTextIsTyped) {
    Window window;
    window.presenter.OnLevelChosen(0);
    window.presenter.OnLoad();
    EXPECT_EQ(window.calls, (Calls{"select 2 0", "clear", "enable CreateButton off",
                                   "enable LevelChoice off", "enable SizeList off"}));
    window.face.typed = u"  word ";
    EXPECT_EQ(window.Run(Command::Create), kShown);
}

struct ActionCase {
    const char* name;
    void (*arrange)(Window&);
    std::optional<Command> command;  // none: the window closes
    Calls expected;
};

class PresenterAction : public testing::TestWithParam<ActionCase> {};

// What the user chose reaches the library; a failed Create says why, text and buttons kept. The
// command buttons on the picture shown; closing removes only what this window made, while still so.
TEST_P(PresenterAction, Outcome) {
    Window window;
    GetParam().arrange(window);
    EXPECT_EQ(window.Run(GetParam().command), GetParam().expected);
}

void Created(Window& w) {
    ASSERT_EQ(w.Create(), kShown);
}
// QR.bmp is there before Create, and the library leaves it as it was.
void OldFileLeft(Window& w) {
    w.system.files[kPicture] = w.system.NewFile();
    w.system.writes = false;
}
void CreatedUnreadable(Window& w) {
    w.face.readable = false;
    w.Create();
}
constexpr auto Create = Command::Create, Open = Command::Open, Print = Command::Print,
               Copy = Command::Copy;
constexpr std::nullopt_t Unload = std::nullopt;
constexpr auto NoPrinter = WindowFace::Printed::NoPrinter, Failed = WindowFace::Printed::Failed;

const std::string kRemove = "remove " + kPicture;
const std::string kPrint = "print QR.bmp 1935";

// clang-format off
const ActionCase kActionCases[] = {
    {"TextTooLongIsSaid",
     [](Window& w) { w.Type(3), w.system.writes = false, w.system.textTooLong = true; }, Create,
     {Make(3), "msgTextDoesNotFit|" + Texts::TextDoesNotFit()}},
    {"FileNotWrittenGivesTheReason",
     [](Window& w) { w.Type(), w.system.writes = false, w.system.reason = "Is a directory"; },
     Create, {Make(), "msgFileNotWritten|" + Texts::FileNotWritten(kPicture, "Is a directory")}},
    {"AnOldFileLeftAsItWasIsNoPicture", [](Window& w) { OldFileLeft(w), w.Type(); }, Create,
     {Make(), "msgFileNotWritten|" + Texts::FileNotWritten(kPicture, "")}},
    {"LibraryNotLoadedGivesTheReason",
     [](Window& w) { w.Type(), w.system.libraryError = "not found"; }, Create,
     {Make(), "msgLibraryNotLoaded|" + Texts::LibraryNotLoaded(kLibrary, "not found")}},
    {"UnreadablePictureIsSaid", [](Window& w) { w.Type(), w.face.readable = false; }, Create,
     {Make(), "show " + kPicture, "msgPictureNotRead|" + Texts::PictureNotRead(kPicture)}},
    {"OpenWithoutAPictureShownDoesNothing", CreatedUnreadable, Open, {}},
    {"PrintWithoutAPrinterIsSaid", [](Window& w) { Created(w), w.face.printed = NoPrinter; }, Print,
     {kPrint, "msgNoPrinter|" + Texts::NoPrinter()}},
    {"PrintFailureNamesThePrinter", [](Window& w) { Created(w), w.face.printed = Failed; }, Print,
     {kPrint, "msgPrintFailed|Не удалось выполнить печать на принтере «Очередь»."}},
    {"CopyRefusedIsSaid", [](Window& w) { Created(w), w.face.clipboardTaken = false; }, Copy,
     {"copy", "msgClipboardUnavailable|" + Texts::ClipboardUnavailable()}},
    {"UnloadRemovesAnUnreadablePictureToo", CreatedUnreadable, Unload, {kRemove}},
    {"UnloadLeavesAPictureRewrittenSince",
     [](Window& w) { Created(w), ++w.system.files[kPicture].size; }, Unload, {}},
    {"UnloadLeavesAnOldFileAFailedCreateFound", [](Window& w) { OldFileLeft(w), w.Create(); },
     Unload, {}},
    {"UnloadSaysWhyThePictureStays",
     [](Window& w) { Created(w), w.system.removeFailure = "Permission denied"; }, Unload,
     {kRemove, "msgFileNotDeleted|" + Texts::FileNotDeleted(kPicture, "Permission denied")}},
    {"UnloadRunsOnce", [](Window& w) { Created(w), w.Run(Copy), w.Run(Unload); }, Unload, {}},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(, PresenterAction, testing::ValuesIn(kActionCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
