// qrimage as a whole process: every output format read back by zxing-cpp and
// compared with the library's pixels, errors and exit statuses, and batches.
// Each run loads a private copy of the library, so the shared colours of
// other programs are never touched.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <regex>
#include <set>
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
    Library library;  // the copy every run loads; it keeps its colours alive
    TempFolder work;

    void SetUp() override {
        // The tool asks for the library by its soname.
        fs::create_symlink(fs::path(library.Path()).filename(),
                           fs::path(library.Path()).parent_path() / QRIMAGE_SONAME);
    }

    // Runs the tool in `work` with `input` on standard input; with
    // `terminal`, on a pseudo-terminal (util-linux script), standard output
    // and standard error both in Result::out.
    Result Run(const std::vector<std::string>& arguments, const Bytes& input = "",
               bool terminal = false) {
        WriteFile(work / ".in", input);
        std::string command = Quoted(QRIMAGE_TOOL);
        for (const std::string& argument : arguments) {
            command += " " + Quoted(argument);
        }
        if (terminal) {
            command = "script -qec " + Quoted(command) + " /dev/null";
        }
        const int status = std::system(("cd " + Quoted(work.Path()) + " && LD_LIBRARY_PATH=" +
                                        Quoted(fs::path(library.Path()).parent_path()) + " " +
                                        command + " <.in >.out 2>.err")
                                           .c_str());
        Result result{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                      ReadFile(work / ".out").value_or(""), ReadFile(work / ".err").value_or("")};
        for (const char* scratch : {".in", ".out", ".err"}) {
            fs::remove(work / scratch);
        }
        return result;
    }

    // The library's own picture of the UTF-8 text.
    Picture Expected(const Bytes& utf8, int margin, int size, int level) {
        const ScopedThreadLocale locale("C.UTF-8");
        return FromBitmap(library, library.GetHBitmapA(utf8.c_str(), margin, size, level));
    }
};

// The half-block drawing rasterised back: one pixel per module, glyph halves
// black, the rest white. Colour escapes are dropped.
Picture FromDrawing(const Bytes& drawing) {
    const std::string plain = std::regex_replace(drawing, std::regex("\x1b\\[[0-9;]*[mK]|\r"), "");
    const std::map<std::string, std::pair<bool, bool>> cells = {{" ", {false, false}},
                                                                {"\u2580", {true, false}},
                                                                {"\u2584", {false, true}},
                                                                {"\u2588", {true, true}}};
    std::vector<std::vector<bool>> rows;
    std::istringstream lines(plain);
    for (std::string line; std::getline(lines, line);) {
        rows.resize(rows.size() + 2);
        for (std::size_t i = 0; i < line.size();) {
            const std::size_t length = line[i] == ' ' ? 1 : 3;
            const auto cell = cells.find(line.substr(i, length));
            if (cell == cells.end()) {
                return {};
            }
            rows[rows.size() - 2].push_back(cell->second.first);
            rows[rows.size() - 1].push_back(cell->second.second);
            i += length;
        }
    }
    Picture picture{rows.empty() ? 0 : int(rows[0].size()), {}};
    if (rows.size() == std::size_t(picture.side) + 1) {
        rows.pop_back();  // the light half row under an odd count
    }
    for (const auto& row : rows) {
        for (bool dark : row) {
            picture.bgra += dark ? Bytes("\0\0\0\xFF", 4) : Bytes(4, '\xFF');
        }
    }
    return rows.size() == std::size_t(picture.side) ? picture : Picture{};
}

// zxing-cpp's reading of a picture, at 4 pixels a module or more.
std::optional<Bytes> Decode(const Picture& picture, int size) {
    const int scale = std::max(1, 4 / size), side = picture.side * scale;
    Bytes scaled;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            scaled += picture.bgra.substr(4 * ((y / scale) * picture.side + x / scale), 4);
        }
    }
    return DecodeQrCode(scaled, side);
}

const Bytes kCyrillic = "Привет, мир";
const Bytes kAstral = "QR \xF0\x9F\x98\x80 \xE2\x82\xAC";  // U+1F600 needs a surrogate pair

// ---- every format, to files and to standard output --------------------------

TEST_F(QrimageTool, EveryFormatDecodesToTheTextAndMatchesTheLibrarysPixels) {
    struct Row {
        std::vector<std::string> arguments;
        Bytes text;        // on standard input when the arguments end otherwise
        std::string file;  // where the picture goes; "" for standard output
        Picture (*read)(const Bytes&);
        int margin, size, level;
        bool terminal = false;
    };
    // clang-format off
    const Row rows[] = {
        {{"-o", "x.png", "-l", "H", "-m", "2", "-s", "3", kCyrillic}, kCyrillic, "x.png", FromPng, 2, 3, 3},
        {{kAstral, "-o", "x.BMP", "-l", "l"}, kAstral, "x.BMP", FromBmp, 4, 4, 0},
        {{"-o", "x.txt", "-m", "1", "-l", "Q", "abc"}, "abc", "x.txt", FromDrawing, 1, 1, 2},
        {{"-o", "-", "-s", "2"}, kAstral, "", FromPng, 4, 2, 1},
        {{"-"}, "line\nnext\n", "", FromPng, 4, 4, 1},  // not a terminal: PNG
        {{"-t", "bmp", "-m", "0", "abc"}, "abc", "", FromBmp, 0, 4, 1},
        {{"-t", "utf8", "-m", "3", "-l", "H"}, kCyrillic, "", FromDrawing, 3, 1, 3},
        {{"-m", "2", kCyrillic}, kCyrillic, "", FromDrawing, 2, 1, 1, true},  // on a terminal
        {{"-t", "png", "-o", "x.txt", "-l", "q", "abc"}, "abc", "x.txt", FromPng, 4, 4, 2},
    };
    // clang-format on
    for (const Row& row : rows) {
        const bool textGiven =
            std::find(row.arguments.begin(), row.arguments.end(), row.text) != row.arguments.end();
        const Result result = Run(row.arguments, textGiven ? "" : row.text, row.terminal);
        SCOPED_TRACE(row.arguments[0] + " " + row.file + " / " + result.err);
        ASSERT_EQ(result.status, 0);
        const Bytes output = row.file.empty() ? result.out : ReadFile(work / row.file).value_or("");
        const Picture picture = row.read(output);
        EXPECT_EQ(picture, Expected(row.text, row.margin, row.size, row.level));
        EXPECT_EQ(Decode(picture, row.size), row.text);
        if (row.terminal) {  // the drawing brings its own colours to the terminal
            EXPECT_NE(output.find("\x1b[38;2;0;0;0m\x1b[48;2;255;255;255m"), Bytes::npos);
        }
        EXPECT_EQ(work.Entries().size(), row.file.empty() ? 0u : 1u);  // nothing else left
        if (!row.file.empty()) {
            fs::remove(work / row.file);
        }
    }
}

// ---- failures ---------------------------------------------------------------

TEST_F(QrimageTool, FailuresSayWhatAndWhyWithTheirExitStatus) {
    fs::create_directory(work / "locked");
    fs::permissions(work / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    WriteFile(work / "kept.png", "old");
    struct Row {
        std::vector<std::string> arguments;
        Bytes input;
        int status;
        std::string message;  // in standard error
    };
    const Bytes tooLarge =
        "qrimage: picture too large (its pixels would pass 2 GiB): choose a smaller size or "
        "margin\n";
    // clang-format off
    const Row rows[] = {
        {{"-o", "x.png", "a\xFF" "b"}, "", 1, "qrimage: invalid UTF-8 at byte 2\n"},
        {{"-o", "x.png"}, "\xED\xA0\x80", 1, "qrimage: invalid UTF-8 at byte 1\n"},  // surrogate
        {{"-o", "x.png"}, "\xC0\xAF", 1, "qrimage: invalid UTF-8 at byte 1\n"},      // overlong
        {{"-o", "x.png"}, Bytes("a\0b", 3), 1, "qrimage: the text holds a NUL byte at byte 2\n"},
        {{"-o", "x.png", ""}, "", 1, "qrimage: the text is empty\n"},
        {{"-o", "kept.png", "-l", "H", Bytes(1274, 'a')}, "", 1, "qrimage: text too long for a QR code at level H\n"},
        {{"-t", "png", Bytes(2954, 'a'), "-l", "L"}, "", 1, "qrimage: text too long for a QR code at level L\n"},
        {{"-o", "kept.png", "-s", "100000", "abc"}, "", 1, tooLarge},
        {{"-o", "none/x.png", "abc"}, "", 1, "qrimage: cannot write none/x.png: No such file or directory\n"},
        {{"-o", "kept.png/x.bmp", "abc"}, "", 1, "qrimage: cannot write kept.png/x.bmp: Not a directory\n"},
        {{"-o", "/sys/x.png", "abc"}, "", 1, "qrimage: cannot write /sys/x.png: "},  // root too
        {{"-o", "x.gif", "abc"}, "", 2, "cannot tell the format of x.gif"},
        {{"-x"}, "", 2, "qrimage: unknown option -x\nTry 'qrimage --help' for more information.\n"},
        {{"--level"}, "", 2, "qrimage: option --level needs a value\n"},
        {{"-s", "0", "abc"}, "", 2, "the size must be"},
        {{"-m", "-1", "abc"}, "", 2, "the margin must be"},
        {{"-t", "gif", "abc"}, "", 2, "unknown type 'gif'"},
        {{"a", "b"}, "", 2, "one text only"},
        {{"-j", "2", "abc"}, "", 2, "-0 and -j work only with --batch"},
        {{"--batch", "list"}, "", 2, "--batch needs -o"},
        {{"--batch", "list", "-o", "same.png"}, "", 2, "needs {n}"},
        {{"--batch", "list", "-o", "{n}.gif"}, "", 2, "extension names no format"},
        {{"--batch", "list", "-o", "{n:0}.png"}, "", 2, "the width in {n:W} must be 1 to 20"},
        {{"colours", "--foreground", "12345"}, "", 2, "a colour is written RRGGBB"},
    };
    // clang-format on
    if (geteuid() != 0) {  // permissions do not stop root
        ASSERT_EQ(Run({"-o", "locked/x.png", "abc"}).err,
                  "qrimage: cannot write locked/x.png: Permission denied\n");
    }
    for (const Row& row : rows) {
        const Result result = Run(row.arguments, row.input);
        SCOPED_TRACE(row.arguments[0] + " " + row.message);
        EXPECT_EQ(result.status, row.status);
        EXPECT_NE(result.err.find(row.message), Bytes::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(ReadFile(work / "kept.png"), "old");  // a failure leaves the old file
    EXPECT_EQ(work.Entries(), (std::vector<std::string>{"kept.png", "locked"}));
    const Result help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: qrimage"), Bytes::npos);
    EXPECT_EQ(Run({"--version"}).out, "qrimage 1.0.0\n");
}

// ---- colours ----------------------------------------------------------------

TEST_F(QrimageTool, ColoursAreShownSetAndDrawn) {
    EXPECT_EQ(Run({"colours"}).out, "foreground 000000\nbackground FFFFFF\n");
    const Result set = Run({"colours", "--foreground", "#0000ff", "--background", "FFEE00"});
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.out, "foreground 0000FF\nbackground FFEE00\n");
    EXPECT_EQ(library.GetForegroundColor(), 0xFFFF0000u);  // red in the lowest byte
    EXPECT_EQ(library.GetBackgroundColor(), 0xFF00EEFFu);
    ASSERT_EQ(Run({"-o", "x.bmp", "-m", "1", "-s", "1", "abc"}).status, 0);
    const Picture picture = FromBmp(ReadFile(work / "x.bmp").value());
    EXPECT_EQ(picture.bgra.substr(4 * picture.side, 8),  // quiet zone, then a dark module
              Bytes("\x00\xEE\xFF\xFF\xFF\x00\x00\xFF", 8));
    const Result drawn = Run({"-m", "1", "abc"}, "", true);
    EXPECT_NE(drawn.out.find("\x1b[38;2;0;0;255m\x1b[48;2;255;238;0m"), Bytes::npos);
}

// ---- batches ----------------------------------------------------------------

TEST_F(QrimageTool, BatchWritesGoodLinesReportsBadOnesAndAnyJobCountGivesTheSameFiles) {
    const std::vector<Bytes> records = {"first", kCyrillic, "bad \xFF utf-8", "", Bytes(1274, 'h'),
                                        kAstral, "last"};
    const std::vector<Bytes> good = {"first", kCyrillic, kAstral, "last"};
    const std::vector<std::string> names = {"001.png", "002.png", "006.png", "007.png"};
    Bytes lines, nulRecords;
    for (const Bytes& record : records) {
        lines += record + "\n";
        nulRecords += record + Bytes(1, '\0');
    }
    WriteFile(work / "list", lines);
    WriteFile(work / "list0", nulRecords);
    const std::string expectedErrors =
        "LIST:3: invalid UTF-8 at byte 5\nLIST:4: the text is empty\n"
        "LIST:5: text too long for a QR code at level H\n";
    // Standard error's lines, sorted, the list's name replaced by LIST.
    auto errorsOf = [](const Result& result, const std::string& list) {
        std::istringstream in(
            std::regex_replace(result.err, std::regex("(^|\n)" + list + ":"), "$1LIST:"));
        std::multiset<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.insert(line + "\n");
        }
        return std::accumulate(lines.begin(), lines.end(), std::string());
    };
    struct Row {
        std::vector<std::string> arguments;
        Bytes input;
        std::string listName;
    };
    const Row rows[] = {
        {{"--batch", "list", "-j", "1"}, "", "list"},
        {{"--batch", "list", "-j", "4"}, "", "list"},
        {{"--batch", "-", "-j", "3"}, lines, "\\(standard input\\)"},
        {{"--batch", "list0", "-0"}, "", "list0"},
    };
    std::map<std::string, Bytes> first;
    for (const Row& row : rows) {
        fs::create_directory(work / "out");
        std::vector<std::string> arguments = row.arguments;
        arguments.insert(arguments.end(), {"-l", "H", "-o", "out/{n:3}.png"});
        const Result result = Run(arguments, row.input);
        SCOPED_TRACE(row.arguments[1] + " " + row.arguments.back());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(errorsOf(result, row.listName), expectedErrors);
        ASSERT_EQ(FolderEntries(work / "out"), names);
        std::map<std::string, Bytes> files;
        for (std::size_t k = 0; k < names.size(); ++k) {
            files[names[k]] = ReadFile(work / ("out/" + names[k])).value();
            EXPECT_EQ(Decode(FromPng(files[names[k]]), 4), good[k]);
        }
        if (first.empty()) {
            first = files;
        }
        EXPECT_EQ(files, first);  // byte for byte, whatever the threads did
        fs::remove_all(work / "out");
    }
    // On a terminal: the messages above a progress line that ends at 7/7.
    fs::create_directory(work / "out");
    const Result shown = Run({"--batch", "list", "-o", "out/{n}.png", "-l", "H"}, "", true);
    EXPECT_NE(shown.out.find("\r\x1b[Klist:5: text too long"), Bytes::npos) << shown.out;
    EXPECT_NE(shown.out.find("\r7/7  "), Bytes::npos) << shown.out;
    fs::remove_all(work / "out");
    WriteFile(work / "fine", "one\ntwo");  // no newline after the last line
    fs::create_directory(work / "out");
    const Result fine = Run({"--batch", "fine", "-o", "out/{n}-{n:2}.bmp"});
    EXPECT_EQ(fine.status, 0);
    EXPECT_EQ(fine.err, "");
    EXPECT_EQ(FolderEntries(work / "out"), (std::vector<std::string>{"1-01.bmp", "2-02.bmp"}));
    EXPECT_EQ(Decode(FromBmp(ReadFile(work / "out/2-02.bmp").value()), 4), "two");
    // A folder that cannot take the files: each line fails, nothing is left.
    const Result blocked = Run({"--batch", "fine", "-o", "fine/{n}.png"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(errorsOf(blocked, "fine"),
              "LIST:1: cannot write fine/1.png: Not a directory\n"
              "LIST:2: cannot write fine/2.png: Not a directory\n");
    const Result missing = Run({"--batch", "nothing", "-o", "out/{n}.png"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "qrimage: cannot read nothing: No such file or directory\n");
}

}  // namespace
