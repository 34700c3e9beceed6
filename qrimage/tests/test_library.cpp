// The library through its exports, against oracles nobody here wrote: a
// direct QRcode_encodeString call drawn pixel by pixel, the zxing-cpp decoder
// and the qrencode tool; then file layouts, colours, refusals and replacement.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <qrencode.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <tuple>
#include <type_traits>

#include "pictures.h"

namespace {

using namespace qrtest;
using Bytes = std::string;
using Names = std::vector<std::string>;

const Bytes kBlack("\0\0\0\xFF", 4), kWhite(4, '\xFF');  // blue, green, red, alpha

// The direct encoder call with the expected bytes, drawn by the rule of the
// header: quiet zone and light modules `light`, dark modules `dark`.
Picture Model(const Bytes& encoded, int margin, int size, int level, const Bytes& dark = kBlack,
              const Bytes& light = kWhite) {
    QRcode* code = QRcode_encodeString(encoded.c_str(), 0, QRecLevel(level), QR_MODE_8, 1);
    Picture model{code != nullptr ? (code->width + 2 * margin) * size : 0, {}};
    for (int y = 0; y < model.side; ++y) {
        for (int x = 0; x < model.side; ++x) {
            const int column = x / size - margin, row = y / size - margin, w = code->width;
            const bool inside = column >= 0 && row >= 0 && column < w && row < w;
            model.bgra += inside && (code->data[row * w + column] & 1) != 0 ? dark : light;
        }
    }
    QRcode_free(code);
    return model;
}

template <class Char, class Get>
Bytes PngBlock(const Library& library, Get get, const Char* text, int margin, int size, int level) {
    return qrtest::PngBlock(library, [&](auto... out) { get(text, margin, size, level, out...); });
}

// The picture through the bitmap, BMP and PNG file exports of one flavour (W:
// UTF-16, A: bytes), files written into `folder`; GetPNGW gives the PNG file.
template <class Char>
std::vector<std::pair<Bytes, Picture>> EveryOutput(const Library& library, const TempFolder& folder,
                                                   const Char* text, int margin, int size,
                                                   int level) {
    const Bytes bmp = folder / "p.bmp", png = folder / "p.png";
    HBITMAP bitmap = nullptr;
    if constexpr (std::is_same_v<Char, char>) {
        bitmap = library.GetHBitmapA(text, margin, size, level);
        library.GenerateBMPA(bmp.c_str(), text, margin, size, level);
        library.GeneratePNGA(png.c_str(), text, margin, size, level);
    } else {
        bitmap = library.GetHBitmapW(text, margin, size, level);
        library.GenerateBMPW(Wide(bmp).c_str(), text, margin, size, level);
        library.GeneratePNGW(Wide(png).c_str(), text, margin, size, level);
        const Bytes block = PngBlock(library, library.GetPNGW, text, margin, size, level);
        EXPECT_EQ(block.empty() ? "" : ReadFile(png).value_or(""), block) << "PNG file and block";
    }
    return {{"bitmap", FromBitmap(library, bitmap)},
            {"BMP", FromBmp(ReadFile(bmp).value_or(""))},
            {"PNG", FromPng(ReadFile(png).value_or(""))}};
}

// Every output equals the model, reads back as the text's UTF-8, and equals
// what the qrencode tool draws with its own code from the same encoder call.
TEST(Pictures, EveryOutputDrawsTheDirectEncodingOfTheUtf8) {
    // clang-format off
    const struct { std::u16string text; Bytes utf8; int margin, size, level; } cases[] = {
        {u"abc", "abc", 1, 5, 0},
        {u"Привет, мир", "Привет, мир", 2, 3, 2},
        // An unpaired surrogate becomes U+FFFD; the unit after it stays.
        {{u'a', char16_t(0xD800), u'b', char16_t(0xD83D), char16_t(0xDE00)},
         "a\xEF\xBF\xBD" "b\xF0\x9F\x98\x80", 0, 4, 1},
        // Version 40: its BMP fills two 256 KiB write blocks and part of a third.
        {std::u16string(1273, u'a'), Bytes(1273, 'a'), 3, 2, 3}};
    // clang-format on
    const Library library;
    const TempFolder folder;
    for (const auto& c : cases) {
        const Picture model = Model(c.utf8, c.margin, c.size, c.level);
        for (const auto& [output, picture] :
             EveryOutput(library, folder, c.text.c_str(), c.margin, c.size, c.level)) {
            EXPECT_TRUE(picture == model) << c.utf8.substr(0, 20) << " as " << output;
            EXPECT_EQ(DecodeQrCode(picture.bgra, picture.side), c.utf8) << output;
        }
        ASSERT_EQ(RunProgram({"qrencode", "-l", Bytes(1, "LMQH"[c.level]), "-s",
                              std::to_string(c.size), "-m", std::to_string(c.margin), "-t", "PNG",
                              "-o", folder / "q.png", c.utf8}),
                  0);
        EXPECT_TRUE(FromPng(ReadFile(folder / "q.png").value_or("")) == model) << c.utf8;
    }
}

// The A exports widen from the calling thread's LC_CTYPE locale and then draw
// what W draws; GetPNGA alone encodes the caller's bytes unchanged.
TEST(Pictures, NarrowTextFollowsTheThreadLocale) {
    const std::tuple<const char*, Bytes, std::u16string> cases[] = {
        {"C", "Hello, World 42", u"Hello, World 42"},
        {"ru_RU.CP1251", "\xFF", u"я"},
        {"C", "a\xFFz", u"a\uFFFDz"}};  // the last: a byte the character set lacks
    const Library library;
    for (const auto& [name, narrow, wide] : cases) {
        const ScopedThreadLocale locale(name);
        const TempFolder folder;
        EXPECT_TRUE(EveryOutput(library, folder, narrow.c_str(), 1, 3, 2) ==
                    EveryOutput(library, folder, wide.c_str(), 1, 3, 2))
            << name << " " << narrow;
        const Picture raw = FromPng(PngBlock(library, library.GetPNGA, narrow.c_str(), 1, 3, 2));
        EXPECT_TRUE(raw == Model(narrow, 1, 3, 2)) << narrow;
    }
}

// The smallest symbol's side, or nothing at all: no picture, the earlier
// files as they were, nothing new beside them, out-parameters untouched.
TEST(Pictures, SideOrNothing) {
    const std::u16string a1273(1273, u'a'), a1274(1274, u'a'), ya636(636, u'я'), ya637(637, u'я');
    // clang-format off
    const struct {
        const char16_t* text;
        int margin, size, level, side;  // side 0: nothing
    } cases[] = {
        {u"abc", 1, 5, 0, 115}, {u"abc", 1, 5, 3, 115}, {a1273.c_str(), 0, 1, 3, 177},
        {a1274.c_str(), 0, 1, 3, 0}, {ya636.c_str(), 0, 1, 3, 177}, {ya637.c_str(), 0, 1, 3, 0},
        {u"abc", 1, 5, 4, 0}, {u"abc", 1, 5, -1, 0}, {u"", 1, 5, 0, 0}, {nullptr, 1, 5, 0, 0},
        {u"abc", -1, 5, 0, 0}, {u"abc", INT_MIN, 5, 0, 0}, {u"abc", 1, 0, 0, 0},
        {u"abc", 1, INT_MAX, 0, 0}, {u"abc", INT_MAX, 1, 0, 0},
        {u"abc", 0, 1104, 0, 0},  // 23184 pixels a side: over 2^31 - 1 bytes
        // Fuzz findings: (width + 2 * margin) * size overflowed 64 bits; a side
        // of 1.68e9 pixels passed the side limit and 4 * side * side overflowed.
        {u"abc", INT_MAX, INT_MAX, 2, 0}, {u"abc", 0, 80000000, 2, 0}, {u"abc", 0, INT_MAX / 21, 2, 0}};
    // clang-format on
    const Library library;
    for (const auto& c : cases) {
        const TempFolder folder;
        WriteFile(folder / "p.bmp", "earlier");
        WriteFile(folder / "p.png", "earlier");
        for (const auto& [output, picture] :
             EveryOutput(library, folder, c.text, c.margin, c.size, c.level)) {
            EXPECT_EQ(picture.side, c.side)
                << output << " margin " << c.margin << " size " << c.size << " level " << c.level;
        }
        EXPECT_EQ(folder.Entries(), (Names{"p.bmp", "p.png"}));
        if (c.side == 0) {
            EXPECT_EQ(ReadFile(folder / "p.bmp").value() + ReadFile(folder / "p.png").value(),
                      "earlierearlier");
        }
    }
    // The other pointers, and the narrow flavour's own checks.
    const TempFolder folder;
    for (const auto& [output, picture] : EveryOutput<char>(library, folder, nullptr, 1, 5, 0)) {
        EXPECT_EQ(picture.side, 0) << output;
    }
    EXPECT_EQ(PngBlock(library, library.GetPNGA, "abc", 1, 5, 4), "");
    unsigned char* block = nullptr;
    uint32_t length = 0;
    library.GetPNGW(u"abc", 1, 5, 0, nullptr, &block);
    library.GetPNGW(u"abc", 1, 5, 0, &length, nullptr);
    library.DestroyBuffer(nullptr);
    library.GenerateBMPW(nullptr, u"abc", 1, 5, 0);
    library.GeneratePNGA(nullptr, "abc", 1, 5, 0);
    EXPECT_TRUE(block == nullptr && length == 0 && folder.Entries().empty());
    // Case-sensitive: "ABC" is alphanumeric, "abc" 8-bit.
    EXPECT_FALSE(FromBitmap(library, library.GetHBitmapW(u"abc", 1, 5, 2)) ==
                 FromBitmap(library, library.GetHBitmapW(u"ABC", 1, 5, 2)));
}

TEST(Pictures, BitmapHandlesAreKnownUntilDeleted) {
    const Library library;
    const HBITMAP bitmap = library.GetHBitmapW(u"abc", 1, 1, 0);
    BITMAP info{};
    DIBSECTION section{};
    EXPECT_EQ(library.GetObjectW(bitmap, 0, nullptr), int32_t(sizeof info));
    EXPECT_EQ(library.GetObjectW(bitmap, sizeof info - 1, &info), 0);
    ASSERT_EQ(library.GetObjectW(bitmap, sizeof info, &info), int32_t(sizeof info));
    EXPECT_TRUE(info.bmWidth == 23 && info.bmHeight == 23 && info.bmBitsPixel == 32);
    ASSERT_EQ(library.GetObjectW(bitmap, sizeof section, &section), int32_t(sizeof section));
    EXPECT_EQ(section.dsBmih.biHeight, -23);  // top row first
    int notABitmap = 0;
    EXPECT_EQ(library.DeleteObject(reinterpret_cast<HBITMAP>(&notABitmap)), 0);
    EXPECT_EQ(library.DeleteObject(nullptr), 0);
    EXPECT_NE(library.DeleteObject(bitmap), 0);
    EXPECT_EQ(library.DeleteObject(bitmap), 0);
    EXPECT_EQ(library.GetObjectW(bitmap, sizeof info, &info), 0);
    // A stale handle never names a newer bitmap, even one of the same size
    // made right after (its memory could be the released one's).
    const HBITMAP newer = library.GetHBitmapW(u"abc", 1, 1, 0);
    EXPECT_NE(newer, bitmap);
    EXPECT_EQ(library.DeleteObject(bitmap), 0);
    EXPECT_EQ(library.GetObjectW(newer, sizeof info, &info), int32_t(sizeof info));
    EXPECT_NE(library.DeleteObject(newer), 0);
}

TEST(Pictures, BmpLayoutOfAbc) {
    const Library library;
    const TempFolder folder;
    const std::u16string path = Wide(folder / "QR.bmp");
    library.GenerateBMPW(path.c_str(), std::u16string(1273, u'a').c_str(), 4, 5, 3);
    // "BM", file size 52954, pixels at 54; info header of 40 bytes: 115 x 115
    // (positive: bottom row first), 1 plane, 32 bits, BI_RGB, 52900 pixel
    // bytes, then 16 zero bytes (no resolution, no palette).
    const Bytes header(
        "BM\xDA\xCE\0\0\0\0\0\0\x36\0\0\0"  // 14 bytes, then 24 of 40
        "\x28\0\0\0\x73\0\0\0\x73\0\0\0\1\0\x20\0\0\0\0\0\xA4\xCE\0\0",
        38);
    library.GenerateBMPW(path.c_str(), u"abc", 1, 5, 2);  // replaces the larger file
    const Bytes bmp = ReadFile(folder / "QR.bmp").value_or("");
    ASSERT_EQ(bmp.size(), 52954u);
    EXPECT_EQ(bmp.substr(0, 54), header + Bytes(16, '\0'));
    EXPECT_EQ(bmp.substr(54, 115 * 4), Bytes(115 * 4, '\xFF'));  // bottom row: quiet zone
    EXPECT_EQ(folder.Entries(), Names{"QR.bmp"});
    // Without a margin the bottom row crosses the bottom-left finder: 7 dark
    // modules, then the light separator.
    library.GenerateBMPW(path.c_str(), u"abc", 0, 5, 2);
    const Bytes unframed = ReadFile(folder / "QR.bmp").value_or("");
    for (int x = 0; x <= 35; ++x) {
        EXPECT_EQ(unframed.substr(54 + 4 * x, 4), x < 35 ? kBlack : kWhite) << "pixel " << x;
    }
}

// library_peer in its own process, started in `folder`: Held() waits for its
// "hold" step, Finish() ends its input and returns its exit status (128 +
// the signal when a signal ended it).
class Peer {
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;

  public:
    explicit Peer(const std::vector<std::string>& arguments, const std::string& folder = "/") {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("no pipe");
        }
        std::vector<std::string> all{QRIMAGE_LIBRARY_PEER, folder};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            execv(argv[0], argv.data());
            std::_Exit(127);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~Peer() {
        if (pid_ > 0) {
            Kill();
        }
        close(output_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Held() {
        char said[5] = {};
        return read(output_, said, sizeof said) == 5 && Bytes(said, 5) == "held\n";
    }
    int Finish() {
        close(std::exchange(input_, -1));
        return Wait();
    }
    int Wait() {
        int status = 0;
        waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Kill() {
        kill(pid_, SIGKILL);
        return Finish();
    }
};

// Sets an environment variable for a scope (unset: null).
class ScopedEnvironment {
    std::string name_;
    std::optional<std::string> previous_;

  public:
    ScopedEnvironment(const std::string& name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name.c_str())) {
            previous_ = old;
        }
        value != nullptr ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
    }
    ~ScopedEnvironment() {
        previous_ ? setenv(name_.c_str(), previous_->c_str(), 1) : unsetenv(name_.c_str());
    }
};

TEST(Pictures, ColoursAreStoredWholeSharedAndDrawnWithoutTheFourthByte) {
    const Library library;
    const auto peer = [&](const char* command, const char* foreground, const char* background) {
        return Peer({library.Path(), command, foreground, background}).Finish();
    };
    EXPECT_EQ(library.GetForegroundColor(), 0xFF000000u);
    EXPECT_EQ(library.GetBackgroundColor(), 0xFFFFFFFFu);
    EXPECT_EQ(peer("expect", "ff000000", "ffffffff"), 0);  // a fresh process sees them too
    library.SetForegroundColor(0x80000001u);               // every byte returned, to others as well
    library.SetBackgroundColor(0u);
    EXPECT_EQ(peer("expect", "80000001", "00000000"), 0);
    EXPECT_EQ(peer("set", "abcdef01", "12345678"), 0);
    EXPECT_EQ(library.GetForegroundColor(), 0xABCDEF01u);
    EXPECT_EQ(library.GetBackgroundColor(), 0x12345678u);

    const std::tuple<COLORREF, COLORREF, Bytes, Bytes> cases[] = {
        {0x00FF0000u, 0xFFFFFFFFu, Bytes("\xFF\0\0\xFF", 4), kWhite},
        {0xAB00FF00u, 0x00345678u, Bytes("\0\xFF\0\xFF", 4), "\x34\x56\x78\xFF"}};
    for (const auto& [foreground, background, dark, light] : cases) {
        library.SetForegroundColor(foreground);
        library.SetBackgroundColor(background);
        for (const auto& [output, picture] : EveryOutput(library, TempFolder(), u"abc", 1, 2, 0)) {
            EXPECT_TRUE(picture == Model("abc", 1, 2, 0, dark, light)) << output;
        }
    }
}

uint32_t BigEndian32(const Bytes& bytes, std::size_t at) {
    return uint32_t(uint8_t(bytes.at(at))) << 24 | uint8_t(bytes.at(at + 1)) << 16 |
           uint8_t(bytes.at(at + 2)) << 8 | uint8_t(bytes.at(at + 3));
}

Bytes BigEndian(uint32_t word) {
    return {char(word >> 24), char(word >> 16), char(word >> 8), char(word)};
}

Bytes Chunk(const Bytes& type, const Bytes& data) {  // length, type, data, CRC
    const Bytes covered = type + data;
    return BigEndian(data.size()) + covered +
           BigEndian(crc32(0, reinterpret_cast<const Bytef*>(covered.data()), covered.size()));
}

// 21 modules, margin 4, module size 1: 29 pixels, so each stored row ends in
// 3 bits after its last pixel, which are set like the background's.
TEST(Pictures, PngChunksAndPaddingBits) {
    const Library library;
    library.SetForegroundColor(0x00FF0000u);  // blue: palette entry 0
    library.SetBackgroundColor(0x12345678u);  // entry 1
    const Bytes png = PngBlock(library, library.GetPNGW, u"abc", 4, 1, 0);
    const Bytes head = "\x89PNG\r\n\x1A\n" +
                       Chunk("IHDR", Bytes("\0\0\0\x1D\0\0\0\x1D\1\3\0\0\0", 13)) +
                       Chunk("PLTE", Bytes("\0\0\xFF\x78\x56\x34", 6)) + Chunk("tRNS", "\xFF\xFF");
    ASSERT_EQ(png.substr(0, head.size()), head);
    ASSERT_EQ(png.substr(png.size() - 12), Chunk("IEND", ""));
    Bytes compressed;  // nothing but image data in between
    for (std::size_t at = head.size(); at < png.size() - 12; at += 12 + BigEndian32(png, at)) {
        EXPECT_EQ(png.substr(at + 4, 4), "IDAT");
        compressed += png.substr(at + 8, BigEndian32(png, at));
    }
    // libpng's default for palette pictures: no row filter, so each row is a
    // 0 byte and 4 bytes of pixels.
    Bytes rows(29 * 5, '\0');
    uLongf length = rows.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &length,
                         reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()),
              Z_OK);
    ASSERT_EQ(length, rows.size());
    for (int y = 0; y < 29; ++y) {
        EXPECT_TRUE(rows[y * 5] == 0 && (rows[y * 5 + 4] & 7) == 7) << "row " << y;
    }
}

TEST(Files, LinkTargetIsReplacedAndKeepsItsModeNewFilesFollowTheUmask) {
    const Library library;
    const TempFolder folder;
    WriteFile(folder / "real.png", "earlier");
    ASSERT_EQ(chmod((folder / "real.png").c_str(), 0604), 0);
    fs::create_symlink("real.png", folder / "link.png");
    library.GeneratePNGW(Wide(folder / "link.png").c_str(), u"abc", 1, 5, 0);
    EXPECT_EQ(ReadFile(folder / "real.png").value().substr(0, 4), "\x89PNG");
    EXPECT_EQ(fs::status(folder / "real.png").permissions(), fs::perms(0604));
    EXPECT_TRUE(fs::is_symlink(folder / "link.png"));

    const mode_t previous = umask(027);
    library.GenerateBMPW(Wide(folder / "new.bmp").c_str(), u"abc", 1, 5, 0);
    umask(previous);
    EXPECT_EQ(fs::status(folder / "new.bmp").permissions(), fs::perms(0640));
    EXPECT_EQ(folder.Entries(), (Names{"link.png", "new.bmp", "real.png"}));
}

// Gives this process a private mount namespace with a small tmpfs on
// `folder`: as root directly, otherwise as root of a new user namespace (what
// `unshare -rm` does).
bool MountSmallTmpfs(const std::string& folder, const char* size = "64k") {
    const std::string uid = std::to_string(geteuid()), gid = std::to_string(getegid());
    if (unshare(uid == "0" ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        return false;
    }
    if (uid != "0") {
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " + uid + " 1";
        std::ofstream("/proc/self/gid_map") << "0 " + gid + " 1";
    }
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + std::string(size)).c_str()) == 0;
}

// How a child process ends: what went wrong on stderr, exit status 0 if nothing.
void Report(const std::string& problems) {
    std::fputs(problems.c_str(), stderr);
    std::_Exit(problems.empty() ? 0 : 1);
}

// ... and says why (ENOSPC, then EROFS once the folder is read-only), while
// libpng prints nothing: stderr stays empty.
TEST(FilesDeathTest, AFullFileSystemKeepsTheEarlierFilesAndNoTemporaryFile) {
    const Library library;
    const TempFolder folder;
    const auto writeUntilFull = [&] {
        if (!MountSmallTmpfs(folder.Path())) {
            Report("cannot mount a tmpfs");
        }
        const std::u16string bmp = Wide(folder / "QR.bmp"), png = Wide(folder / "QR.png");
        library.GenerateBMPW(bmp.c_str(), u"earlier", 0, 1, 0);
        library.GeneratePNGW(png.c_str(), u"earlier", 1, 2, 0);
        const auto contents = [&] {
            return ReadFile(folder / "QR.bmp").value_or("") +
                   ReadFile(folder / "QR.png").value_or("");
        };
        const std::string before = contents();
        // Neither 5 MB of BMP nor some 280 KB of PNG fit: both fail midway.
        const std::u16string large(1273, u'a');
        library.GenerateBMPW(bmp.c_str(), large.c_str(), 25, 5, 3);
        const int bmpError = errno;
        library.GeneratePNGW(png.c_str(), large.c_str(), 4, 40, 3);
        const int pngError = errno;
        const bool readOnly =
            mount(nullptr, folder.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        library.GenerateBMPW(Wide(folder / "new.bmp").c_str(), u"abc", 1, 1, 0);
        Report(std::string(before.size() > 1000 ? "" : "no earlier files; ") +
               (contents() == before ? "" : "a file changed; ") +
               (folder.Entries() == Names{"QR.bmp", "QR.png"} ? "" : "a file was left; ") +
               (bmpError == ENOSPC && pngError == ENOSPC ? "" : "not ENOSPC; ") +
               (readOnly && errno == EROFS ? "" : "not EROFS"));
    };
    EXPECT_EXIT(writeUntilFull(), testing::ExitedWithCode(0), "^$");
}

// Root ignores permission bits, so as root the child process becomes user
// nobody first; anyone else stays who they are. The test fails, never skips.
TEST(FilesDeathTest, NothingIsWrittenWhereTheCallerMayNot) {
    const bool root = geteuid() == 0;
    const Library library;
    const TempFolder folder;
    // "open" is the caller's, with a read-only file in it; "closed" is not.
    fs::create_directory(folder / "open");
    fs::create_directory(folder / "closed");
    WriteFile(folder / "open/readonly", "earlier");
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755) | chmod((folder / "closed").c_str(), 0555) |
                  chmod((folder / "open/readonly").c_str(), 0444) |
                  (root ? chown((folder / "open").c_str(), 65534, 65534) : 0),
              0);
    const auto writeAsCaller = [&] {
        if (root && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                     setresuid(65534, 65534, 65534) != 0)) {
            Report("cannot become user nobody");
        }
        // "open/new" is the control: the caller can write at all.
        const std::pair<const char*, int> targets[] = {{"open/new", 0},
                                                       {"open/readonly", EACCES},
                                                       {"closed/new", EACCES},
                                                       {"missing/new", ENOENT}};
        std::string reasons;
        for (const auto& [target, reason] : targets) {
            const bool control = reason == 0;
            for (const char* type : {".bmp", ".png"}) {
                const std::u16string name = Wide(folder / target + (control ? type : ""));
                errno = 0;
                (type == std::string(".bmp") ? library.GenerateBMPW : library.GeneratePNGW)(
                    name.c_str(), u"abc", 1, 5, 0);
                reasons += errno == reason ? "" : std::string("wrong errno for ") + target + "; ";
            }
        }
        Report(reasons + (ReadFile(folder / "open/readonly") == "earlier" ? "" : "changed; ") +
               (FolderEntries(folder / "open") == Names{"new.bmp", "new.png", "readonly"}
                    ? ""
                    : "not as expected: open; ") +
               (FolderEntries(folder / "closed").empty() ? "" : "written: closed"));
    };
    EXPECT_EXIT(writeAsCaller(), testing::ExitedWithCode(0), "");
    ASSERT_EQ(chmod((folder / "closed").c_str(), 0755), 0);
}

// A rewrite by a member of the file's group, not its owner, keeps the group.
TEST(FilesDeathTest, ARewriteByAMemberOfTheFilesGroupKeepsTheGroup) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to make a file of another owner";
    }
    const Library library;
    const TempFolder folder;
    const std::string shared = folder / "shared.bmp";
    WriteFile(shared, "earlier");
    ASSERT_EQ(chmod(folder.Path().c_str(), 0777) | chown(shared.c_str(), 23456, 4242) |
                  chmod(shared.c_str(), 0664),
              0);
    const auto rewriteAsMember = [&] {
        const gid_t groups[] = {4242};
        if (setgroups(1, groups) != 0 || setresgid(12345, 12345, 12345) != 0 ||
            setresuid(12345, 12345, 12345) != 0) {
            Report("cannot become user 12345");
        }
        library.GenerateBMPW(Wide(shared).c_str(), u"abc", 1, 1, 0);
        struct stat status {};
        Report(stat(shared.c_str(), &status) != 0 || status.st_size < 54 ? "not rewritten"
               : status.st_gid != 4242                                   ? "group lost"
               : (status.st_mode & 07777) != 0664                        ? "mode lost"
                                                                         : "");
    };
    EXPECT_EXIT(rewriteAsMember(), testing::ExitedWithCode(0), "");
}

// A names are bytes, whatever the locale; W names are UTF-8 on disk, and one
// with an unpaired surrogate makes nothing. No two names write one file.
TEST(Files, NamesAreUsedAsGiven) {
    const Library library;
    const TempFolder folder;
    const struct {
        const char* locale;
        Bytes narrow;         // an A name, or
        std::u16string wide;  // a W name
        Bytes onDisk;         // "": nothing made, EINVAL
    } cases[] = {
        {"C", "фото.bmp", u"", "фото.bmp"},
        {"C", "иной.bmp", u"", "иной.bmp"},
        {"C", "\xF4\xEE\xF2\xEE.bmp", u"", "\xF4\xEE\xF2\xEE.bmp"},  // "фото" in CP1251
        {"ru_RU.CP1251", "\xE8\xED\xEE\xE9.bmp", u"", "\xE8\xED\xEE\xE9.bmp"},  // "иной"
        {"ru_RU.CP1251", "снимок.bmp", u"", "снимок.bmp"},
        {"ru_RU.CP1251", "", u"кадр.bmp", "кадр.bmp"},
        {"C", "", u"рамка.bmp", "рамка.bmp"},
        {"C", "", {u'a', char16_t(0xD800), u'.', u'b'}, ""},
        {"C", "", {u'a', char16_t(0xDC00), u'.', u'b'}, ""},
    };
    Names expected;
    for (const auto& c : cases) {
        const ScopedThreadLocale locale(c.locale);
        for (const Bytes type : {"", ".png"}) {
            errno = 0;
            if (!c.narrow.empty()) {
                const Bytes name = folder / c.narrow + type;
                (type.empty() ? library.GenerateBMPA : library.GeneratePNGA)(name.c_str(), "abc", 1,
                                                                             1, 0);
            } else {
                const std::u16string name = Wide(folder.Path() + "/") + c.wide + Wide(type);
                (type.empty() ? library.GenerateBMPW : library.GeneratePNGW)(name.c_str(), u"abc",
                                                                             1, 1, 0);
            }
            EXPECT_EQ(errno, c.onDisk.empty() ? EINVAL : 0) << c.onDisk << type;
            if (!c.onDisk.empty()) {
                expected.push_back(c.onDisk + type);
            }
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.Entries(), expected);
}

// Every failure sets errno to its reason; a call that succeeds leaves the
// caller's value.
TEST(Failures, ErrnoNamesTheReasonAndSuccessKeepsTheCallersValue) {
    constexpr int kCallers = 4242;
    const Library q;
    const TempFolder folder;
    fs::create_directory(folder / "dir");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    const std::u16string a1274(1274, u'a'), bmp = Wide(folder / "p.bmp"),
                                            dir = Wide(folder / "dir");
    const Bytes png = folder / "p.png", missing = folder / "missing/p.png";
    const char16_t lone[] = {u'x', char16_t(0xDBFF), 0};
    const HBITMAP stale = q.GetHBitmapW(u"abc", 1, 1, 0), live = q.GetHBitmapW(u"abc", 1, 1, 0);
    q.DeleteObject(stale);
    uint32_t size = 0;
    unsigned char* block = nullptr;
    BITMAP info{};
    // clang-format off
    const std::pair<int, std::function<void()>> cases[] = {
        {kCallers, [&] { q.DeleteObject(q.GetHBitmapA("abc", 1, 1, 0)); }},
        {kCallers, [&] { q.GenerateBMPW(bmp.c_str(), u"abc", 1, 1, 0); }},
        {kCallers, [&] { q.GeneratePNGA(png.c_str(), "abc", 1, 1, 0); }},
        {kCallers, [&] { q.GetPNGW(u"abc", 1, 1, 0, &size, &block); q.DestroyBuffer(block); }},
        {kCallers, [&] { q.SetForegroundColor(q.GetBackgroundColor()); }},
        {kCallers, [&] { q.GetObjectW(live, sizeof info, &info); }},
        {EINVAL, [&] { q.GetHBitmapW(nullptr, 1, 1, 0); }},
        {EINVAL, [&] { q.GetHBitmapA(nullptr, 1, 1, 0); }},
        {EINVAL, [&] { q.GetHBitmapW(u"", 1, 1, 0); }},
        {EINVAL, [&] { q.GetPNGA("", 1, 1, 0, &size, &block); }},
        {EINVAL, [&] { q.GetHBitmapW(u"abc", 1, 1, 4); }},
        {EINVAL, [&] { q.GetHBitmapA("abc", 1, 1, -1); }},
        {EINVAL, [&] { q.GetHBitmapW(u"abc", -1, 1, 0); }},
        {EINVAL, [&] { q.GeneratePNGW(Wide(png).c_str(), u"abc", 1, 0, 0); }},
        {EINVAL, [&] { q.GetPNGW(u"abc", 1, 1, 0, nullptr, &block); }},
        {EINVAL, [&] { q.GetPNGA("abc", 1, 1, 0, &size, nullptr); }},
        {EINVAL, [&] { q.GenerateBMPW(nullptr, u"abc", 1, 1, 0); }},
        {EINVAL, [&] { q.GenerateBMPA("", "abc", 1, 1, 0); }},
        {EINVAL, [&] { q.GeneratePNGW(lone, u"abc", 1, 1, 0); }},
        {EINVAL, [&] { q.GenerateBMPA((folder / "fifo").c_str(), "abc", 1, 1, 0); }},
        {EINVAL, [&] { q.DeleteObject(stale); }},
        {EINVAL, [&] { q.DeleteObject(nullptr); }},
        {EINVAL, [&] { q.GetObjectW(stale, sizeof info, &info); }},
        {EINVAL, [&] { q.GetObjectW(live, sizeof info - 1, &info); }},
        {ERANGE, [&] { q.GetHBitmapW(a1274.c_str(), 0, 1, 3); }},
        {ERANGE, [&] { q.GetPNGA(Bytes(2954, 'a').c_str(), 0, 1, 0, &size, &block); }},
        {EFBIG, [&] { q.GetHBitmapW(u"abc", 0, 1104, 0); }},
        {EFBIG, [&] { q.GenerateBMPW(bmp.c_str(), u"abc", INT_MAX, INT_MAX, 0); }},
        {EISDIR, [&] { q.GenerateBMPW(dir.c_str(), u"abc", 1, 1, 0); }},
        {EISDIR, [&] { q.GeneratePNGA((folder / "new/").c_str(), "abc", 1, 1, 0); }},
        {ENOENT, [&] { q.GeneratePNGA(missing.c_str(), "abc", 1, 1, 0); }},
    };
    // clang-format on
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        errno = kCallers;
        cases[row].second();
        const int reason = errno;
        EXPECT_EQ(reason, cases[row].first) << "row " << row;
    }
    q.DeleteObject(live);
    EXPECT_EQ(folder.Entries(), (Names{"dir", "fifo", "p.bmp", "p.png"}));
}

#if !defined(__SANITIZE_ADDRESS__)
// Memory that runs out: ENOMEM. (The sanitizers' allocators ignore the limit.)
TEST(FailuresDeathTest, MemoryThatRunsOutIsEnomem) {
    const Library library;
    const auto withLittleMemory = [&] {
        std::ifstream statm("/proc/self/statm");
        rlim_t pages = 0;
        statm >> pages;
        const rlim_t limit = pages * sysconf(_SC_PAGESIZE) + (rlim_t(256) << 20);
        const rlimit little{limit, limit};
        if (setrlimit(RLIMIT_AS, &little) != 0) {
            Report("cannot limit memory");
        }
        errno = 0;
        const HBITMAP bitmap = library.GetHBitmapW(u"abc", 0, 1103, 0);  // 2.1 GB of pixels
        Report(bitmap == nullptr && errno == ENOMEM ? "" : "not ENOMEM");
    };
    EXPECT_EXIT(withLittleMemory(), testing::ExitedWithCode(0), "");
}
#endif

// The colour object of a library copy, for the checks below.
struct ColourFiles {
    TempFolder folder;  // the copy, not loaded by this process
    std::string library = folder / "libqrimage.so";
    std::string objectName;

    ColourFiles() {
        fs::copy_file(QRIMAGE_LIBRARY_FILE, library);
        struct stat identity {};
        stat(library.c_str(), &identity);
        objectName = qrimage::ColourObjectName(geteuid(), identity);
    }
};

// The colours live exactly while some process has the library file loaded:
// shared while one holds it, also after the first of two leaves, and gone
// with the last one, whether it unloaded the library or was killed. Its
// object is the user's alone and is gone from its folder afterwards. In
// $XDG_RUNTIME_DIR when that is a folder of the user's alone, else /dev/shm.
TEST(Colours, LiveExactlyWhileTheLibraryIsLoaded) {
    const TempFolder runtime, open;
    ASSERT_EQ(chmod(open.Path().c_str(), 0755), 0);
    const std::pair<const char*, std::string> places[] = {// XDG_RUNTIME_DIR, object folder
                                                          {runtime.Path().c_str(), runtime.Path()},
                                                          {nullptr, "/dev/shm"},
                                                          {open.Path().c_str(), "/dev/shm"},
                                                          {"relative/folder", "/dev/shm"}};
    for (const auto& [xdg, objectFolder] : places) {
        const ScopedEnvironment environment("XDG_RUNTIME_DIR", xdg);
        const ColourFiles files;
        const std::string object = objectFolder + files.objectName;
        const auto expect = [&](const char* foreground, const char* background) {
            return Peer({files.library, "expect", foreground, background}).Finish();
        };
        SCOPED_TRACE(objectFolder);
        Peer first({files.library, "set", "11", "22", "hold"});
        ASSERT_TRUE(first.Held());
        EXPECT_EQ(expect("11", "22"), 0);
        // Loaded by a relative name, then the current folder changes.
        EXPECT_EQ(Peer({"./libqrimage.so", "chdir", "/", "expect", "11", "22"}, files.folder.Path())
                      .Finish(),
                  0);
        struct stat status {};
        ASSERT_EQ(stat(object.c_str(), &status), 0);
        EXPECT_TRUE((status.st_mode & 0777) == 0600 && status.st_uid == geteuid());
        Peer second({files.library, "set", "33", "44", "hold"});
        ASSERT_TRUE(second.Held());
        EXPECT_EQ(first.Finish(), 0);
        EXPECT_EQ(expect("33", "44"), 0) << "lost when the first process left";
        EXPECT_EQ(second.Finish(), 0);
        EXPECT_FALSE(fs::exists(object)) << "left by the last process";
        EXPECT_EQ(expect("ff000000", "ffffffff"), 0);

        Peer killed({files.library, "set", "55", "66", "hold"});
        ASSERT_TRUE(killed.Held());
        EXPECT_EQ(killed.Kill(), 128 + SIGKILL);
        EXPECT_TRUE(fs::exists(object));
        EXPECT_EQ(expect("ff000000", "ffffffff"), 0) << "a killed process's colours";
        EXPECT_FALSE(fs::exists(object)) << "left after a killed process";

        // A forked child has the library loaded too, after its parent ends.
        Peer parent({files.library, "set", "77", "88", "fork", "hold"});
        ASSERT_TRUE(parent.Held());
        EXPECT_EQ(parent.Wait(), 0);
        EXPECT_EQ(expect("77", "88"), 0) << "lost when the parent of a holder left";
        parent.Finish();  // its child sees the end of its input and ends
        for (int wait = 0; wait < 500 && fs::exists(object); ++wait) {
            usleep(10000);
        }
        EXPECT_FALSE(fs::exists(object)) << "left by a forked child";
    }
    EXPECT_TRUE(runtime.Entries().empty());
}

// Another user who makes the object's name first (its name is predictable)
// changes nothing in $XDG_RUNTIME_DIR, which they cannot enter; in /dev/shm
// their object is not used, and the colours stay the process's own.
TEST(Colours, AnotherUsersObjectUnderTheNameIsNeverUsed) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const TempFolder runtime;
    for (const bool useRuntime : {true, false}) {
        const ScopedEnvironment environment("XDG_RUNTIME_DIR",
                                            useRuntime ? runtime.Path().c_str() : nullptr);
        const ColourFiles files;
        const std::string squatted = "/dev/shm" + files.objectName;
        const Bytes content = "squatter";  // colours far from the defaults, if read
        const auto squat = [&](const std::string& path) {
            return RunProgram({"setpriv", "--reuid=54321", "--regid=54321", "--clear-groups", "sh",
                               "-c", "printf " + content + " >" + path + " && chmod 666 " + path});
        };
        EXPECT_NE(squat(runtime / files.objectName.substr(1)), 0);
        ASSERT_EQ(squat(squatted), 0);
        Peer holder({files.library, "set", "11", "22", "hold"});
        ASSERT_TRUE(holder.Held());
        const int shared = Peer({files.library, "expect", "11", "22"}).Finish();
        const int ownDefaults = Peer({files.library, "expect", "ff000000", "ffffffff"}).Finish();
        EXPECT_EQ(holder.Finish(), 0);
        EXPECT_EQ(useRuntime ? shared : ownDefaults, 0) << useRuntime;
        EXPECT_EQ(ReadFile(squatted), content);
        fs::remove(squatted);
    }
    EXPECT_TRUE(runtime.Entries().empty());
}

// A full tmpfs (private mount namespace): the library loads, the colours
// work process-locally from the defaults, pictures are made, nothing is left.
TEST(ColoursDeathTest, AFullTmpfsLeavesTheColoursProcessLocal) {
    const ScopedEnvironment environment("XDG_RUNTIME_DIR", nullptr);
    const auto loadWithoutRoom = [&] {
        if (!MountSmallTmpfs("/dev/shm", "8k")) {
            Report("cannot mount a tmpfs");
        }
        {
            std::ofstream filler("/dev/shm/filler", std::ios::binary);
            while (filler << Bytes(4096, 'x') << std::flush) {
            }
        }
        std::string problems;
        {  // Report ends the process without destructors: unload, remove the copy first.
            const Library library;
            const bool defaults =
                library.GetForegroundColor() == 0xFF000000u && library.GetBackgroundColor() == ~0u;
            const Picture picture = FromBitmap(library, library.GetHBitmapW(u"abc", 1, 1, 0));
            library.SetForegroundColor(0x00FF0000u);
            problems = std::string(defaults ? "" : "not the defaults; ") +
                       (picture == Model("abc", 1, 1, 0) ? "" : "no picture in the defaults; ") +
                       (library.GetForegroundColor() == 0x00FF0000u ? "" : "not stored; ");
        }
        Report(problems +
               (FolderEntries("/dev/shm") == Names{"filler"} ? "" : "an object was left"));
    };
    EXPECT_EXIT(loadWithoutRoom(), testing::ExitedWithCode(0), "");
}

}  // namespace
