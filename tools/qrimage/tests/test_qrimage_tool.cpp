// qrimage as a whole process: its pictures read back by zxing-cpp and compared
// with the library's pixels, its failures, colours and batches. Each run loads
// a private copy of the library: other programs' shared colours stay as they are.
#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <numeric>
#include <regex>
#include <sstream>

#include "pictures.h"

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
    std::string runAs;    // a command that runs the tool as another user, or ""

    void SetUp() override {  // the tool asks for the library by its soname
        const fs::path file(library.Path());
        fs::create_symlink(file.filename(), file.parent_path() / QRIMAGE_SONAME);
        setenv("LD_LIBRARY_PATH", file.parent_path().c_str(), 1);
    }

    // Runs the tool in `work` with `input` on standard input; with
    // `terminal`, on a pseudo-terminal (util-linux script), which takes both
    // standard output and standard error into Result::out.
    Result Run(const std::vector<std::string>& arguments, const Bytes& input = "",
               bool terminal = false) {
        WriteFile(io / "in", input);
        std::string command = "cd " + Quoted(work.Path()) + " && " + runAs + Quoted(QRIMAGE_TOOL);
        for (const std::string& argument : arguments) {
            command += " " + Quoted(argument);
        }
        if (terminal) {
            command = "script -qec " + Quoted(command) + " /dev/null";
        }
        const std::string streams = " <" + Quoted(io / "in") + " >" + Quoted(io / "out") + " 2>";
        const int status = std::system((command + streams + Quoted(io / "err")).c_str());
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
Picture FromDrawing(const Bytes& drawing) {
    const Bytes cells[] = {" ", "\u2584", "\u2580", "\u2588"}, light(16, '\xFF'),
                dark("\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF", 16);
    std::istringstream lines(std::regex_replace(drawing, std::regex("\x1b\\[[0-9;]*[mK]|\r"), ""));
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
const Bytes kAstral = "QR \xF0\x9F\x98\x80 \xE2\x82\xAC";  // U+1F600 needs a surrogate pair

TEST_F(QrimageTool, EveryFormatDecodesToTheTextAndMatchesTheLibrarysPixels) {
    struct Row {
        std::vector<std::string> arguments;
        Bytes text;        // on standard input when the arguments do not hold it
        std::string file;  // where the picture goes; "" for standard output
        Picture (*read)(const Bytes&);
        int margin, size, level;  // size: 4 for a drawing, read back at 4 pixels a module
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
    };
    // clang-format on
    for (const Row& row : rows) {
        const bool textGiven = std::ranges::count(row.arguments, row.text) != 0;
        const Result result = Run(row.arguments, textGiven ? "" : row.text, row.terminal);
        SCOPED_TRACE(row.arguments[0] + " " + row.file + " / " + result.err);
        ASSERT_EQ(result.status, 0);
        const Picture picture =
            row.read(row.file.empty() ? result.out : ReadFile(work / row.file).value_or(""));
        EXPECT_EQ(picture, Expected(row.text, row.margin, row.size, row.level));
        EXPECT_EQ(DecodeQrCode(picture.bgra, picture.side), row.text);  // zxing-cpp
        EXPECT_EQ(work.Entries().size(), row.file.empty() ? 0u : 1u);   // nothing else left
        if (!row.file.empty()) {
            fs::remove(work / row.file);
        }
    }
}

TEST_F(QrimageTool, FailuresSayWhatAndWhyWithTheirExitStatus) {
    WriteFile(work / "kept.png", "old");
    struct Row {
        std::vector<std::string> arguments;
        Bytes input;
        int status;
        std::string message;  // in standard error
    };
    // clang-format off
    const Row rows[] = {
        {{"-o", "x.png"}, "\xED\xA0\x80", 1, "qrimage: invalid UTF-8 at byte 1\n"},  // surrogate
        {{"-o", "x.png"}, "\xC0\xAF", 1, "qrimage: invalid UTF-8 at byte 1\n"},      // overlong
        {{"-o", "x.png"}, Bytes("a\0b", 3), 1, "qrimage: the text holds a NUL byte at byte 2\n"},
        {{"-t", "png", Bytes(2954, 'a'), "-l", "L"}, "", 1, "qrimage: text too long for a QR code at level L\n"},
        {{"-o", "kept.png", "-s", "100000", "abc"}, "", 1, "qrimage: picture too large (its pixels would pass 2 GiB)"},
        {{"-o", "none/x.bmp", "abc"}, "", 1, "qrimage: cannot write none/x.bmp: No such file or directory\n"},
        {{"--batch", "none", "-o", "{n}.png"}, "", 1, "qrimage: cannot read none: No such file or directory\n"},
        {{"-o", "x.gif", "abc"}, "", 2, "cannot tell the format of x.gif"},
        {{"-x"}, "", 2, "qrimage: unknown option -x\nTry 'qrimage --help' for more information.\n"},
        {{"-s", "0", "abc"}, "", 2, "the size must be"},
        {{"a", "b"}, "", 2, "one text only"},
        {{"-j", "2", "abc"}, "", 2, "-0 and -j work only with --batch"},
        {{"--batch", "list"}, "", 2, "--batch needs -o"},
        {{"--batch", "list", "-o", "same.png"}, "", 2, "needs {n}"},
        {{"--batch", "list", "-o", "{n}.gif"}, "", 2, "extension names no format"},
        {{"--batch", "list", "-o", "{n:0}.png"}, "", 2, "the width in {n:W} must be 1 to 20"},
        {{"colours", "--foreground", "12345"}, "", 2, "a colour is written RRGGBB"},
    };
    // clang-format on
    for (const Row& row : rows) {
        const Result result = Run(row.arguments, row.input);
        SCOPED_TRACE(row.arguments[0] + " " + row.message);
        EXPECT_EQ(result.status, row.status);
        EXPECT_NE(result.err.find(row.message), Bytes::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(work.Entries(), std::vector<std::string>{"kept.png"});  // nothing new, and
    EXPECT_EQ(ReadFile(work / "kept.png"), "old");                    // the old file as it was
}

// A drawing file is replaced by the library's rules, by a user who is not root
// (as root the tool runs as user 12345): a pipe, a device and a read-only file
// are refused and stay as they were; a link stays, and its target is replaced
// and keeps its mode.
TEST_F(QrimageTool, DrawingFilesAreReplacedAsTheLibraryReplacesFiles) {
    const bool root = geteuid() == 0;
    const auto in = [&](const char* name) { return work / name; };
    WriteFile(in("readonly.txt"), "earlier");
    WriteFile(in("real.txt"), "earlier");
    fs::create_symlink("real.txt", in("link.txt"));
    ASSERT_EQ(mkfifo(in("fifo.txt").c_str(), 0644) | chmod(in("readonly.txt").c_str(), 0444) |
                  chmod(in("real.txt").c_str(), 0600),
              0);
    if (root) {
        runAs = "setpriv --reuid=12345 --regid=12345 --clear-groups ";
        ASSERT_EQ(mknod(in("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) |
                      chown(work.Path().c_str(), 12345, 12345) |
                      chown(in("real.txt").c_str(), 12345, 12345) |
                      chmod(fs::path(library.Path()).parent_path().c_str(), 0755),
                  0);
    }
    const auto kind = [&](const char* name) { return fs::symlink_status(in(name)).type(); };
    struct Row {
        std::vector<std::string> arguments;
        int status;
        std::function<bool()> kept;
    };
    std::vector<Row> rows = {
        {{"-o", "fifo.txt"}, 1, [&] { return kind("fifo.txt") == fs::file_type::fifo; }},
        {{"-o", "readonly.txt"}, 1, [&] { return ReadFile(in("readonly.txt")) == "earlier"; }},
        {{"-o", "link.txt", "-m", "1", "-l", "Q"}, 0, [&] {
             return kind("link.txt") == fs::file_type::symlink &&
                    fs::status(in("real.txt")).permissions() == fs::perms(0600) &&
                    FromDrawing(ReadFile(in("real.txt")).value_or("")) == Expected("abc", 1, 4, 2);
         }}};
    if (root) {  // /dev/null as a file of the folder's
        rows.push_back({{"-t", "utf8", "-o", "null"}, 1, [&] {
                            return kind("null") == fs::file_type::character;
                        }});
    }
    for (Row& row : rows) {
        row.arguments.push_back("abc");
        const Result result = Run(row.arguments);
        SCOPED_TRACE(row.arguments[1] + " / " + result.err);
        EXPECT_EQ(result.status, row.status);
        EXPECT_TRUE(row.kept());
    }
    EXPECT_EQ(work.Entries().size(), root ? 5u : 4u);  // no temporary file left
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

TEST_F(QrimageTool, BatchWritesGoodLinesReportsBadOnesWhateverTheJobCount) {
    const Bytes lines = "first\n" + kCyrillic + "\nbad \xFF utf-8\n\n" + Bytes(1274, 'h') + "\n" +
                        kAstral + "\nlast";  // nothing after the last line
    const std::pair<int, Bytes> good[] = {{1, "first"}, {2, kCyrillic}, {6, kAstral}, {7, "last"}};
    WriteFile(work / "list", lines);
    WriteFile(work / "list0", std::regex_replace(lines, std::regex("\n"), Bytes(1, '\0')));
    struct Row {
        std::vector<std::string> arguments;
        std::string listName;
        Picture (*read)(const Bytes&);
    };
    const Row rows[] = {
        {{"--batch", "list", "-j", "4"}, "list", FromPng},
        {{"--batch", "-", "-j", "3", "-t", "bmp"}, "(standard input)", FromBmp},  // the list
        {{"--batch", "list0", "-0"}, "list0", FromPng},
    };
    for (const Row& row : rows) {
        fs::create_directory(work / "out");
        std::vector<std::string> arguments = row.arguments;  // -s 16: the lines overlap
        arguments.insert(arguments.end(), {"-l", "H", "-s", "16", "-o", "out/{n}-{n:3}.png"});
        const Result result = Run(arguments, lines);
        SCOPED_TRACE(row.arguments[1] + " " + row.arguments[2]);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(std::ranges::count(result.err, '\n'), 3) << result.err;  // in any order:
        for (const char* message : {":3: invalid UTF-8 at byte 5\n", ":4: the text is empty\n",
                                    ":5: text too long for a QR code at level H\n"}) {
            EXPECT_NE(("\n" + result.err).find("\n" + row.listName + message), Bytes::npos);
        }
        EXPECT_EQ(FolderEntries(work / "out").size(), std::size(good));
        for (const auto& [line, text] : good) {
            const std::string n = std::to_string(line);
            const Picture picture =
                row.read(ReadFile(work / ("out/" + n + "-00" + n + ".png")).value_or(""));
            EXPECT_EQ(DecodeQrCode(picture.bgra, picture.side), text);
        }
        fs::remove_all(work / "out");
    }
    // On a terminal: each message clears the progress line, which ends at 7/7.
    const Result shown = Run({"--batch", "list", "-o", "{n}.png", "-l", "H"}, "", true);
    EXPECT_NE(shown.out.find("\r\x1b[Klist:5: text too long"), Bytes::npos) << shown.out;
    EXPECT_NE(shown.out.find("\r7/7  "), Bytes::npos) << shown.out;
}

}  // namespace
