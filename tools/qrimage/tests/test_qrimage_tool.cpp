// qrimage as a whole process; each run loads a private copy of the library (others' colours kept).
#include <gtest/gtest.h>
#include <signal.h>

#include <numeric>
#include <regex>
#include <sstream>

#include "support.h"

namespace {

using namespace qrtest;
using Bytes = std::string;

struct Result {
    int status = -1;
    Bytes out, err;
};

class QrimageTool : public ::testing::Test {
  protected:
    Library library;      // the copy every run loads; it keeps its colours alive
    TempFolder work, io;  // the tool's folder; its standard streams

    void SetUp() override {  // the tool asks for the library by its soname
        const fs::path file(library.Path());
        fs::create_symlink(file.filename(), file.parent_path() / QRIMAGE_SONAME);
        setenv("LD_LIBRARY_PATH", file.parent_path().c_str(), 1);
    }

    // Runs the tool in `work`, `input` on stdin; `terminal`: on a pseudo-terminal, both streams in
    // Result::out. `prefix` goes before the tool in the shell command, `suffix` after redirections.
    Result Run(const std::vector<std::string>& arguments, const Bytes& input = "",
               bool terminal = false, const std::string& prefix = "",
               const std::string& suffix = "") {
        WriteFile(io / "in", input);
        std::string command =
            "cd " + Quoted(work.Path()) + " && " + prefix + " " + Quoted(QRIMAGE_TOOL);
        for (const std::string& argument : arguments) {
            command += " " + Quoted(argument);
        }
        if (terminal) {
            command = "script -qec " + Quoted(command) + " /dev/null";
        }
        const std::string streams = " <" + Quoted(io / "in") + " >" + Quoted(io / "out") + " 2>";
        const int status =
            std::system((command + streams + Quoted(io / "err") + " " + suffix).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(io / "out").value(),
                ReadFile(io / "err").value()};
    }

    // The library's own picture of the UTF-8 text.
    Picture Expected(const Bytes& utf8, int margin, int size, int level) {
        const ScopedThreadLocale locale("C.UTF-8");
        return FromBitmap(library, library.GetHBitmapA(utf8.c_str(), margin, size, level));
    }
};

// The half-block drawing read back at 4 pixels a module (for the decoder), colour escapes
// dropped: a cell holds two modules, ▀ the upper one dark, ▄ the lower, █ both.
Picture FromDrawing(std::string_view drawing) {
    const Bytes cells[] = {" ", "\u2584", "\u2580", "\u2588"}, light(16, '\xFF'),
                dark("\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF", 16);
    std::istringstream lines(
        std::regex_replace(Bytes(drawing), std::regex("\x1b\\[[0-9;]*[mK]|\r"), ""));
    std::vector<Bytes> rows;
    for (std::string line; std::getline(lines, line);) {
        Bytes upper, lower;
        for (std::size_t i = 0, length = 1; i < line.size(); i += length) {
            length = line[i] == ' ' ? 1 : 3;
            const auto cell = std::find(cells, cells + 4, line.substr(i, length)) - cells;
            upper += cell == 4 ? "?" : cell & 2 ? dark : light;
            lower += cell == 4 ? "?" : cell & 1 ? dark : light;
        }
        rows.insert(rows.end(), 4, upper);
        rows.insert(rows.end(), 4, lower);
    }
    const std::size_t side = rows.empty() ? 0 : rows[0].size() / 4;
    if (rows.size() == side + 4 && rows.back() == Bytes(4 * side, '\xFF')) {
        rows.resize(side);  // the light half row under an odd count
    }
    return {int(side), std::accumulate(rows.begin(), rows.end(), Bytes())};
}

const Bytes kCyrillic = "Привет, мир";
const std::string kLongPath = "./" + std::string(4200, '/') + "x.png";  // ./x.png
const Bytes kAstral = "QR \xF0\x9F\x98\x80 \xE2\x82\xAC";  // U+1F600 needs a surrogate pair

TEST_F(QrimageTool, EveryFormatDecodesToTheTextAndMatchesTheLibrarysPixels) {
    struct Row {
        std::vector<std::string> arguments;
        Bytes text;        // also on standard input, but for a terminal's
        std::string file;  // "" for standard output
        Picture (*read)(std::string_view);
        int margin, size, level;  // size 4 for a drawing
        bool terminal = false;
    };
    // clang-format off
    const Row rows[] = {
        {{"-o", "x.png", "-l", "H", "-m", "2", "-s", "3", kCyrillic}, kCyrillic, "x.png", FromPng, 2, 3, 3},
        {{kAstral, "-o", "x.BMP", "-l", "l"}, kAstral, "x.BMP", FromBmp, 4, 4, 0},
        {{"-o", "x.txt", "-m", "1", "-l", "Q", "abc"}, "abc", "x.txt", FromDrawing, 1, 4, 2},
        {{"-o", "-", "-s", "2"}, kAstral, "", FromPng, 4, 2, 1},
        {{"-"}, "line\nnext\n", "", FromPng, 4, 4, 1},  // not a terminal: PNG
        {{"-t", "bmp", "-m", "0", "abc"}, "abc", "", FromBmp, 0, 4, 1},
        {{"-t", "utf8", "-m", "3", "-l", "H"}, kCyrillic, "", FromDrawing, 3, 4, 3},
        {{"-m", "2", kCyrillic}, kCyrillic, "", FromDrawing, 2, 4, 1, true},  // on a terminal
        {{"-t", "png", "-o", "x.txt", "-l", "q", "abc"}, "abc", "x.txt", FromPng, 4, 4, 2},
        // longer than the file system takes whole: written, and so reported
        {{"-o", kLongPath, "abc"}, "abc", "x.png", FromPng, 4, 4, 1},
    };
    // clang-format on
    for (const Row& row : rows) {
        const Result result = Run(row.arguments, row.terminal ? "" : row.text, row.terminal);
        SCOPED_TRACE(row.arguments[0] + " " + row.file + " / " + result.err);
        ASSERT_EQ(result.status, 0);
        const Picture picture =
            row.read(row.file.empty() ? result.out : ReadFile(work / row.file).value_or(""));
        EXPECT_EQ(picture, Expected(row.text, row.margin, row.size, row.level));
        EXPECT_EQ(work.Entries().size(), row.file.empty() ? 0u : 1u);  // nothing else left
        if (!row.file.empty()) {
            fs::remove(work / row.file);
        }
    }
}

// The picture's own options reach the library's per-picture family: each output, in a file and on
// standard output, holds the bytes the library makes for the same options.
TEST_F(QrimageTool, PictureOptionsGiveTheLibrarysPerPicturePictures) {
    struct Row {
        const char* name;
        std::vector<std::string> arguments;  // the text is "abc"
        std::string file;                    // "" for standard output
        int32_t format;
        void (*change)(QrImageOptions&);  // from the defaults
    };
    // clang-format off
    const Row rows[] = {
        {"SvgFileInOwnColours", {"-o", "x.svg", "--foreground", "#000080", "--background", "FFFFFF00", "-m", "2", "abc"}, "x.svg",
         QRIMAGE_SVG, [](QrImageOptions& o) { o.foreground = 0xFF800000u; o.background = 0x00FFFFFFu; o.margin = 2; }},
        {"MicroPngOnStandardOutput", {"-t", "PNG", "-M", "-l", "Q", "-v", "2", "abc"}, "",
         QRIMAGE_PNG, [](QrImageOptions& o) { o.micro = 1; o.level = 2; o.minVersion = 2; }},
        {"BmpWithResolution", {"-o", "x.bmp", "-d", "300", "-s", "2", "abc"}, "x.bmp",
         QRIMAGE_BMP, [](QrImageOptions& o) { o.dpi = 300; o.moduleSize = 2; }},
        {"EpsFromVersion5", {"-t", "eps", "-v", "5", "--background", "FFEE0080", "abc"}, "",
         QRIMAGE_EPS, [](QrImageOptions& o) { o.minVersion = 5; o.background = 0x8000EEFFu; }},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Result result = Run(row.arguments);
        ASSERT_EQ(result.status, 0) << result.err;
        QrImageOptions options = QRIMAGE_OPTIONS_INIT;
        row.change(options);
        const Bytes expected = PngBlock(library, [&](auto... out) {
            library.QrImageGetBlockW(reinterpret_cast<const qrimage_char16*>(u"abc"), &options,
                                     row.format, out...);
        });
        EXPECT_TRUE((row.file.empty() ? result.out : ReadFile(work / row.file)) == expected);
    }
}

// A drawing file is replaced by the library's rules (its own tests try them all): a pipe is refused
// in the tool's words and stays as it was; a link stays, its target replaced keeping its mode.
TEST_F(QrimageTool, DrawingFilesAreReplacedAsTheLibraryReplacesFiles) {
    WriteFile(work / "real.txt", "earlier");
    fs::create_symlink("real.txt", work / "link.txt");
    ASSERT_EQ(mkfifo((work / "fifo.txt").c_str(), 0644) | chmod((work / "real.txt").c_str(), 0600),
              0);
    const Result piped = Run({"-t", "utf8", "-o", "fifo.txt", "abc"});
    EXPECT_EQ(piped.err,
              "qrimage: cannot write fifo.txt: it is a named pipe, not a regular file\n");
    EXPECT_TRUE(fs::is_fifo(work / "fifo.txt"));
    const Result linked = Run({"-o", "link.txt", "-m", "1", "-l", "Q", "abc"});
    EXPECT_EQ(linked.status, 0) << linked.err;
    EXPECT_TRUE(fs::is_symlink(work / "link.txt"));
    EXPECT_EQ(fs::status(work / "real.txt").permissions(), fs::perms(0600));
    EXPECT_EQ(FromDrawing(ReadFile(work / "real.txt").value_or("")), Expected("abc", 1, 4, 2));
    EXPECT_EQ(work.Entries().size(), 3u);  // no temporary file left
}

TEST_F(QrimageTool, ColoursAreShownSetAndDrawn) {
    const Result set = Run({"colours", "--foreground", "#0000ff", "--background", "FFEE00"});
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.out, "foreground 0000FF\nbackground FFEE00\n");
    EXPECT_EQ(library.GetForegroundColor(), 0xFFFF0000u);  // red in the lowest byte
    EXPECT_EQ(library.GetBackgroundColor(), 0xFF00EEFFu);
    const Result drawn = Run({"-m", "1", "abc"}, "", true);
    EXPECT_NE(drawn.out.find("\x1b[38;2;0;0;255m\x1b[48;2;255;238;0m"), Bytes::npos);
}

// A batch writes good lines, reports bad ones, in any order; here NUL-separated stdin, 3 threads.
TEST_F(QrimageTool, BatchWritesGoodLinesReportsBadOnes) {
    const Bytes lines = "first\n" + kCyrillic + "\nbad \xFF utf-8\n\n" + Bytes(1274, 'h') + "\n" +
                        kAstral + "\nlast";  // nothing after the last line
    const std::pair<int, Bytes> good[] = {{1, "first"}, {2, kCyrillic}, {6, kAstral}, {7, "last"}};
    fs::create_directory(work / "out");
    const Result result = Run({"--batch", "-", "-0", "-j", "3", "-t", "bmp", "-l", "H", "-s", "16",
                               "-o", "out/{n}-{n:3}.png"},  // -s 16: the lines overlap
                              std::regex_replace(lines, std::regex("\n"), Bytes(1, '\0')));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::ranges::count(result.err, '\n'), 3) << result.err;
    for (const std::string message : {":3: invalid UTF-8 at byte 5\n", ":4: the text is empty\n",
                                      ":5: text too long for a QR code at level H\n"}) {
        EXPECT_NE(("\n" + result.err).find("\n(standard input)" + message), Bytes::npos);
    }
    EXPECT_EQ(FolderEntries(work / "out").size(), std::size(good));
    for (const auto& [line, text] : good) {
        const std::string n = std::to_string(line);
        EXPECT_EQ(
            DecodeQrCode(FromBmp(ReadFile(work / ("out/" + n + "-00" + n + ".png")).value_or(""))),
            text);
    }
    // A list file on a terminal: each message clears the progress line, which ends at 7/7.
    WriteFile(work / "list", lines);
    const Result shown = Run({"--batch", "list", "-o", "{n}.png", "-l", "H"}, "", true);
    EXPECT_NE(shown.out.find("\r\x1b[Klist:5: text too long"), Bytes::npos) << shown.out;
    EXPECT_NE(shown.out.find("\r7/7  "), Bytes::npos) << shown.out;
}

// Prefixes of the tool's command, for root: as another user with few processes; without /dev.
const std::string asAnotherUser =
    "setpriv --reuid=47113 --regid=47113 --clear-groups --inh-caps=+dac_override "
    "--ambient-caps=+dac_override prlimit --nproc=3";
const std::string withoutDev = "unshare -m sh -c 'mount -t tmpfs none /dev && exec \"$@\"' sh";

// Failures, also of closed or broken streams, unbounded input and a poor environment: a clear
// message (for missing threads, a note) and exit status, nothing written into a file not meant
// (the library's colour object would take a closed fd 0-2), no temporary file in TMPDIR, an old
// file as it was, no other file (the batch with few threads writes its three pictures into n).
TEST_F(QrimageTool, FailuresSayWhatAndWhyAndLeaveNoTrace) {
    int ends[2];  // a pipe whose reader has gone
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    const std::string broken = ">&" + std::to_string(ends[1]);
    fs::create_directory(io / "tmp");
    fs::create_directory(work / "d");
    WriteFile(work / "few", "a\nb\nc\n");
    WriteFile(work / "kept.png", "old");
    fs::create_directory(work / "n");
    const bool root = geteuid() == 0;  // only another user meets a process limit
    struct Row {
        std::string prefix;
        std::vector<std::string> arguments;
        std::string suffix;  // after the redirections
        int status;
        std::string message;  // in standard error
    };
    // clang-format off
    const Row rows[] = {
        {"", {"-o", "x.png", "\xED\xA0\x80"}, "", 1, "qrimage: invalid UTF-8 at byte 1\n"},  // surrogate
        {"", {"-t", "png", Bytes(2954, 'a'), "-l", "L"}, "", 1, "qrimage: text too long for a QR code at level L\n"},
        {"", {"-o", "kept.png", "-s", "100000", "abc"}, "", 1, "qrimage: picture too large (its pixels would pass 2 GiB)"},
        {"", {"-o", "none/x.bmp", "abc"}, "", 1, "qrimage: cannot write none/x.bmp: No such file or directory\n"},
        {"", {"--batch", "none", "-o", "{n}.png"}, "", 1, "qrimage: cannot read none: No such file or directory\n"},
        {"", {"-o", "x.gif", "abc"}, "", 2, "cannot tell the format of x.gif"},
        {"", {"-o", "\xFF.txt", "abc"}, "", 1, "the file name is not UTF-8"},  // as for .png
        {"", {"-t", "utf8", "-m", "100000", "abc"}, "", 1, "qrimage: drawing too large (its modules would pass 2 GiB): choose a smaller margin\n"},
        {"", {"-x"}, "", 2, "qrimage: unknown option -x\nTry 'qrimage --help' for more information.\n"},
        {"", {"--batch", "list", "-o", "same.png"}, "", 2, "needs {n}"},
        {"", {"--batch", "list", "-o", "{n}.gif"}, "", 2, "extension names no format"},
        {"", {"-o", "-", "-s", "3", "hello"}, ">&-", 1, "qrimage: standard output is closed\n"},
        {"", {"colours", "--foreground", "123456"}, ">&-", 1, "qrimage: standard output is closed\n"},
        {withoutDev, {"-o", "x.png"}, "<&-", 1, "qrimage: standard input is closed\n"},
        {"", {"--batch", "-", "-o", "{n}.png"}, "<&-", 1, "cannot read (standard input): it is closed\n"},
        {"", {"-o", "none/x.png", "abc"}, "2>&-", 1, ""},
        {"", {"-t", "png", "-s", "30", "-o", "-", "abc"}, broken, 1, "qrimage: cannot write standard output: Broken pipe\n"},
#ifndef __SANITIZE_ADDRESS__  // its shadow memory needs more address space than any limit
        {"prlimit --as=120000000", {"-o", "x.png"}, "</dev/zero", 1, "qrimage: text too long for a QR code at level M\n"},
#endif
        {"", {"--batch", "d", "-o", "{n}.png", "-j", "2"}, "", 1, "qrimage: cannot read d: Is a directory\n"},
        {asAnotherUser, {"--batch", "few", "-o", "n/{n}.png", "-j", "1000"}, "", 0, "threads started (Resource temporarily unavailable)"},
    };
    // clang-format on
    for (const Row& row : rows) {
        if ((row.prefix == asAnotherUser || row.prefix == withoutDev) && !root) {
            continue;
        }
        const Result result = Run(row.arguments, "", false,
                                  "TMPDIR=" + Quoted(io / "tmp") + " " + row.prefix, row.suffix);
        SCOPED_TRACE(row.arguments[0] + " " + row.message + " " + row.suffix);
        EXPECT_EQ(result.status, row.status);
        EXPECT_NE(result.err.find(row.message), Bytes::npos) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(library.GetForegroundColor() == 0xFF000000u &&  // the defaults, kept
                    library.GetBackgroundColor() == 0xFFFFFFFFu);
        EXPECT_TRUE(FolderEntries(io / "tmp").empty());
        EXPECT_EQ(work.Entries().size(), 4u);  // d, few, kept.png and n
    }
    EXPECT_EQ(ReadFile(work / "kept.png"), "old");
    EXPECT_EQ(FolderEntries(work / "n").size(), root ? 3u : 0u);  // the batch with few threads
    close(ends[1]);
}

// SIGINT, SIGTERM and SIGHUP mid-batch: pictures being made are finished, no other is started, no
// temporary file stays, and the exit status is 128 + the signal's number.
TEST_F(QrimageTool, StopSignalsEndABatchCleanly) {
    const std::string list = work / "list";
    ASSERT_EQ(std::system(("seq -f 'line %g' 0 99999 >" + Quoted(list)).c_str()), 0);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string out = io / std::to_string(signal), pattern = out + "/{n}.png";
        fs::create_directory(out);
        const pid_t tool = fork();
        if (tool == 0) {
            execl(QRIMAGE_TOOL, QRIMAGE_TOOL, "--batch", list.c_str(), "-o", pattern.c_str(), "-j",
                  "2", static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        for (int wait = 0; wait < 3000 && FolderEntries(out).size() < 20; ++wait) {
            usleep(10000);  // until well into the batch
        }
        kill(tool, signal);
        int status = 0;
        ASSERT_EQ(waitpid(tool, &status, 0), tool);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal)
            << "signal " << signal << ", status " << status;
        const std::vector<std::string> entries = FolderEntries(out);
        EXPECT_TRUE(entries.size() >= 20 && entries.size() < 100000) << entries.size();
        EXPECT_TRUE(std::ranges::all_of(entries, [](const std::string& name) {
            return name.ends_with(".png");  // no temporary file
        }));
    }
}

// The version is written once, in CMake: the tool, its man page and qrimage.pc all name it. The
// tool loads no library from its start folder (maybe someone else's): a planted one would break it.
TEST_F(QrimageTool, TheToolItsManPageAndPkgConfigNameTheProjectsVersion) {
    const std::string version = QRIMAGE_VERSION;
    WriteFile(work / "libstdc++.so.6", "planted");
    EXPECT_EQ(Run({"--version"}).out, "qrimage " + version + "\n");
    EXPECT_TRUE(ReadFile(QRIMAGE_MAN_PAGE)
                    .value_or("")
                    .starts_with(".TH QRIMAGE 1 \"2026\" \"qrimage " + version + "\""));
    EXPECT_NE(ReadFile(QRIMAGE_PC).value_or("").find("\nVersion: " + version + "\n"), Bytes::npos);
}

}  // namespace
