// The window's sequences through a face that records what it is asked to do,
// with the real library writing real files; natively and under Wine.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "message_texts.h"
#include "scratch_folder.h"
#include "window_presenter.h"

namespace {

// The library as the build made it; under Wine its Unix path is on drive Z.
std::string LibraryFile() {
#if defined(_WIN32)
    std::string path = "Z:" QRIMAGE_LIBRARY_FILE;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
#else
    return QRIMAGE_LIBRARY_FILE;
#endif
}

// Records each operation as a line; answers with what the test set.
class RecordingFace : public WindowFace {
  public:
    std::u16string typed, size = u"1";
    bool readable = true, clipboardTaken = true, answerYes = false;
    Printed printed = Printed::Yes;
    std::vector<std::string> calls;

    std::u16string TypedText() const override { return typed; }
    std::u16string SizeText() const override { return size; }
    void SelectLevelAndSize(int32_t level, int sizeIndex) override {
        calls.push_back("select " + std::to_string(level) + " " + std::to_string(sizeIndex));
    }
    void Enable(Control control, bool enabled) override {
        const char* names[] = {"cmd_0", "cmd_1", "cmd_2", "cmd_3", "Frame1", "Combo1"};
        calls.push_back(std::string("enable ") + names[int(control)] + (enabled ? " on" : " off"));
    }
    bool ShowPicture(const std::string& path) override { return Say("show " + path, readable); }
    void ClearAndFocusText() override {
        typed.clear();
        calls.push_back("clear");
    }
    void Warn(const Warning& warning) override {
        calls.push_back(std::string(warning.name) + "|" + warning.text);
    }
    bool AskToClose() override { return Say("ask", answerYes); }
    void Close() override { calls.push_back("close"); }
    bool CopyPicture() override { return Say("copy", clipboardTaken); }
    void EmptyClipboardIfOurs() override { calls.push_back("empty clipboard"); }
    Printed PrintPicture(const char* documentName, int sideTwips, std::string& printer) override {
        calls.push_back(std::string("print ") + documentName + " " + std::to_string(sideTwips));
        printer = "Очередь";
        return printed;
    }
    void OpenInViewer(const std::string& path) override { calls.push_back("open " + path); }

  private:
    template <typename Answer>
    Answer Say(std::string call, Answer answer) {
        calls.push_back(std::move(call));
        return answer;
    }
};

// A presenter on the scratch folder with the real library, and its face.
class Presenter : public Scratch {
  protected:
    void SetUp() override {
        Scratch::SetUp();
        bitmapFile_ = folder_ / "QR.bmp";
        bitmap_ = Narrow(bitmapFile_);
    }
    WindowPresenter& Make(const fs::path& folder, const std::string& library = LibraryFile()) {
        presenter_.emplace(face_, Narrow(folder), library);
        return *presenter_;
    }
    // Types `text`, picks the level and the size item, presses Create.
    std::vector<std::string> Create(const std::u16string& text, int level = 2,
                                    const std::u16string& size = u"1") {
        face_.typed = text;
        face_.size = size;
        presenter_->Opt_Click(level);
        return Run(WindowPresenter::kCreate);
    }
    // What the face was asked to do by cmd_Click(command), or by Unload.
    std::vector<std::string> Run(std::optional<int> command) {
        face_.calls.clear();
        command ? presenter_->cmd_Click(*command) : presenter_->Unload();
        return std::exchange(face_.calls, {});
    }
    std::vector<std::string> Unload() { return Run(std::nullopt); }
    // Makes QR.bmp one that cannot be deleted, or deletable again: read-only
    // on Windows; elsewhere its folder append-only (root may delete from a
    // read-only folder) or, for an ordinary user, read-only.
    void Undeletable(bool on) {
#if defined(_WIN32)
        SetFileAttributesW(bitmapFile_.c_str(),
                           on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
        if (geteuid() != 0) {
            fs::permissions(
                folder_, on ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_all);
            return;
        }
        const int folder = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        ASSERT_EQ(ioctl(folder, FS_IOC_GETFLAGS, &flags), 0);
        flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
        EXPECT_EQ(ioctl(folder, FS_IOC_SETFLAGS, &flags), 0) << "needs a file system with flags";
        close(folder);
#endif
    }
    std::vector<std::string> Written() const {
        return {"show " + bitmap_, "enable cmd_1 on", "enable cmd_2 on", "enable cmd_3 on",
                "clear"};
    }

    RecordingFace face_;
    std::optional<WindowPresenter> presenter_;
    fs::path bitmapFile_;
    std::string bitmap_;  // as the presenter names it
};

// The BMP's width in pixels, 0 when there is no BMP.
int32_t BitmapWidth(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    char header[22] = {};
    file.read(header, sizeof header);
    return file && header[0] == 'B' ? int32_t(uint8_t(header[18]) | uint8_t(header[19]) << 8) : 0;
}

}  // namespace

// Load opens on level 2 and the first size, with an empty text: nothing to
// create. Create, the level frame and the size list are usable exactly while
// the text holds something but spaces.
TEST_F(Presenter, LoadAndTheTextChangeRule) {
    Make(folder_).Load();
    EXPECT_EQ(face_.calls, (std::vector<std::string>{"select 2 0", "clear", "enable cmd_0 off",
                                                     "enable Frame1 off", "enable Combo1 off"}));
    EXPECT_EQ(presenter_->CurrentLevel, 2);
    const struct {
        std::u16string typed;
        bool usable;
    } rows[] = {{u"", false}, {u"   ", false}, {u" я ", true}, {u"\t", true}, {u"\u00a0", true}};
    for (const auto& row : rows) {
        face_.typed = row.typed;
        face_.calls.clear();
        presenter_->txt_Change();
        const std::string state = row.usable ? " on" : " off";
        EXPECT_EQ(face_.calls,
                  (std::vector<std::string>{"enable cmd_0" + state, "enable Frame1" + state,
                                            "enable Combo1" + state}));
    }
}

// What the user chose reaches the library: the trimmed text, the level (a
// 10-byte text takes 21 modules at L, 25 at H), the margin of the size item
// and 5 pixels a module. Each failure says why and changes nothing else.
TEST_F(Presenter, CreateOutcomes) {
    enum Setup { kNothing, kFolderNamedBitmap, kNoFolder, kNoLibrary, kUnreadable };
    const struct {
        const char* name;
        Setup setup;
        std::u16string typed;
        int level;
        std::u16string size;
        int32_t width;        // of the picture written; 0 for none
        const char* warning;  // the box shown, or nullptr
        std::string posixReason;
    } rows[] = {
        {"L, size 5", kNothing, u"  слово ", 0, u"5", (21 + 2 * 5) * 5, nullptr, ""},
        {"H, size 1", kNothing, u"слово", 3, u"1", (25 + 2 * 1) * 5, nullptr, ""},
        {"a level beyond H", kNothing, u"слово", 4, u"1", 0, nullptr, ""},
        {"too long for H", kNothing, std::u16string(1000, u'ё'), 3, u"1", 0, "msgTextDoesNotFit",
         ""},
        {"a folder named QR.bmp", kFolderNamedBitmap, u"x", 2, u"1", 0, "msgFileNotWritten",
         "Is a directory"},
        {"no application folder", kNoFolder, u"x", 2, u"1", 0, "msgFileNotWritten",
         "No such file or directory"},
        {"no library", kNoLibrary, u"x", 2, u"1", 0, "msgLibraryNotLoaded", ""},
        {"picture unreadable", kUnreadable, u"слово", 2, u"1", (21 + 2) * 5, "msgPictureNotRead",
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = row.setup == kNoFolder ? folder_ / "missing" : folder_;
        Make(folder, row.setup == kNoLibrary ? Narrow(folder_ / "missing.dll") : LibraryFile());
        face_.readable = row.setup != kUnreadable;
        if (row.setup == kFolderNamedBitmap) {
            fs::create_directory(bitmapFile_);
        }
        const std::vector<std::string> calls = Create(row.typed, row.level, row.size);
        const std::string path = Narrow(folder / "QR.bmp");
        EXPECT_EQ(BitmapWidth(folder / "QR.bmp"), row.width);
        if (row.width != 0) {
            EXPECT_EQ(presenter_->EncodedText, u"слово");
        }
        if (row.warning == nullptr) {
            EXPECT_EQ(calls, row.width == 0 ? std::vector<std::string>() : Written());
        } else {
            ASSERT_EQ(calls.size(), row.setup == kUnreadable ? 2u : 1u);
            EXPECT_EQ(calls.back().substr(0, calls.back().find('|')), row.warning);
#if !defined(_WIN32)
            if (!row.posixReason.empty()) {
                EXPECT_EQ(calls.back(), std::string(row.warning) + "|" +
                                            Texts::FileNotWritten(path, row.posixReason));
            }
#endif
        }
        EXPECT_EQ(face_.typed.empty(), row.warning == nullptr && row.width != 0);
        presenter_->Unload();  // deletes what this row wrote
        EXPECT_FALSE(fs::is_regular_file(folder / "QR.bmp"));
        fs::remove(bitmapFile_);
    }
}

// A library missing at the first Create is looked for again at the next.
TEST_F(Presenter, ALibraryPutBackIsBoundAtTheNextCreate) {
    const fs::path copy = folder_ / "copy.dll";
    Make(folder_, Narrow(copy));
    EXPECT_EQ(Create(u"x").size(), 1u);
    fs::copy_file(fs::path(LibraryFile()), copy);
    EXPECT_EQ(Create(u"x"), Written());
#if defined(_WIN32)
    FreeLibrary(GetModuleHandleW(copy.c_str()));  // else its folder cannot go
#endif
}

// Open, Print and Copy work on the picture shown: before the first one they
// do nothing. Print says why it could not print.
TEST_F(Presenter, CommandsOnThePicture) {
    Make(folder_);
    for (const int command : {1, 2, 3, 5, -1}) {  // Open, Print, Copy and no button
        EXPECT_EQ(Run(command), std::vector<std::string>()) << command;
    }
    ASSERT_EQ(Create(u"печать"), Written());
    EXPECT_EQ(Run(WindowPresenter::kOpen), std::vector<std::string>{"open " + bitmap_});
    const struct {
        WindowFace::Printed printed;
        std::vector<std::string> warnings;
    } rows[] = {
        {WindowFace::Printed::Yes, {}},
        {WindowFace::Printed::NoPrinter, {"msgNoPrinter|" + Texts::NoPrinter()}},
        {WindowFace::Printed::Failed, {"msgPrintFailed|" + Texts::PrintFailed("Очередь")}},
    };
    for (const auto& row : rows) {
        face_.printed = row.printed;
        std::vector<std::string> expected{"print QR.bmp 1935"};
        expected.insert(expected.end(), row.warnings.begin(), row.warnings.end());
        EXPECT_EQ(Run(WindowPresenter::kPrint), expected);
    }
}

// Closing empties the clipboard only when this window put its picture there
// (the face checks that it is still there); Exit closes only after a Yes.
TEST_F(Presenter, ClipboardAndExit) {
    const std::string unavailable = "msgClipboardUnavailable|" + Texts::ClipboardUnavailable();
    const struct {
        std::vector<bool> copies;  // whether each Copy got the clipboard
        std::vector<std::string> copyCalls, unloadCalls;
    } rows[] = {
        {{}, {}, {}},
        {{true}, {"copy"}, {"empty clipboard"}},
        {{false}, {"copy", unavailable}, {}},
        {{true, false}, {"copy", "copy", unavailable}, {"empty clipboard"}},
    };
    for (const auto& row : rows) {
        Make(folder_);
        ASSERT_EQ(Create(u"буфер"), Written());
        std::vector<std::string> copyCalls;
        for (const bool taken : row.copies) {
            face_.clipboardTaken = taken;
            const std::vector<std::string> calls = Run(WindowPresenter::kCopy);
            copyCalls.insert(copyCalls.end(), calls.begin(), calls.end());
        }
        EXPECT_EQ(copyCalls, row.copyCalls);
        for (const bool yes : {false, true}) {
            face_.answerYes = yes;
            const std::vector<std::string> expected{"ask", "close"};
            EXPECT_EQ(Run(WindowPresenter::kExit),
                      std::vector(expected.begin(), expected.begin() + (yes ? 2 : 1)));
        }
        EXPECT_EQ(Unload(), row.unloadCalls);
        EXPECT_EQ(Unload(), std::vector<std::string>());  // once only
    }
}

// Closing deletes QR.bmp only while it is still the picture this window
// wrote; one it cannot delete stays, and it says why.
TEST_F(Presenter, UnloadDeletesOnlyItsOwnPicture) {
    enum Story { kUntouched, kGoneAlready, kRewritten, kSecondWindow, kNeverWritten, kUndeletable };
    const struct {
        Story story;
        bool stays;
        const char* warning;
    } rows[] = {
        {kUntouched, false, nullptr},   {kGoneAlready, false, nullptr},
        {kRewritten, true, nullptr},    {kSecondWindow, true, nullptr},
        {kNeverWritten, true, nullptr}, {kUndeletable, true, "msgFileNotDeleted"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.story));
        Make(folder_);
        if (row.story == kNeverWritten) {
            std::ofstream(bitmapFile_) << "the user's own";
        } else {
            ASSERT_EQ(Create(u"наш"), Written());
        }
        RecordingFace secondFace;
        WindowPresenter second(secondFace, Narrow(folder_), LibraryFile());
        if (row.story == kGoneAlready) {
            fs::remove(bitmapFile_);
        } else if (row.story == kRewritten) {
            std::ofstream(bitmapFile_, std::ios::app) << "the user's own";
        } else if (row.story == kSecondWindow) {
            secondFace.typed = u"второе окно";
            second.cmd_Click(WindowPresenter::kCreate);
        }
        if (row.story == kUndeletable) {
            Undeletable(true);
        }
        const std::vector<std::string> calls = Unload();
        if (row.story == kUndeletable) {
            Undeletable(false);
        }
        EXPECT_EQ(fs::exists(bitmapFile_), row.stays);
        EXPECT_EQ(calls.empty(), row.warning == nullptr);
        if (row.warning != nullptr) {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].rfind(std::string(row.warning) + "|" +
                                         Texts::FileNotDeleted(bitmap_, "") + "\n\n",
                                     0),
                      0u);
        }
        if (row.story == kSecondWindow) {  // the second window deletes its own picture
            second.Unload();
            EXPECT_FALSE(fs::exists(bitmapFile_));
        }
        fs::remove(bitmapFile_);
    }
}
