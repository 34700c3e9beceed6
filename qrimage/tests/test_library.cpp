// The library through its exports, against oracles nobody here wrote: the
// qrencode tool's pixels and the zxing-cpp decoder; then file layouts,
// refusals, files and colours.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "../src/colour_object_name.h"
#include "support.h"

namespace {

using namespace qrtest;
using Bytes = std::string;
using Names = std::vector<std::string>;

constexpr int kCallers = 4242;  // errno before each call
constexpr COLORREF kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu;

int ErrnoOf(const std::function<void()>& call) {
    errno = kCallers;
    call();
    return errno;
}

// What the qrencode tool draws for the same bytes (it calls the same encoder
// as the library) in the same colours; side 0 when it draws nothing.
Picture Qrencode(const Bytes& text, int margin, int size, int level, COLORREF dark = kBlack,
                 COLORREF light = kWhite) {
    const auto rgb = [](COLORREF c) {  // 0x..BBGGRR as RRGGBB
        char hex[7];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X", c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
        return Bytes(hex);
    };
    const TempFolder folder;
    const Bytes command = "qrencode -t PNG -l " + Bytes(1, "LMQH"[level]) + " -s " +
                          std::to_string(size) + " -m " + std::to_string(margin) +
                          " --foreground=" + rgb(dark) + " --background=" + rgb(light) + " -o " +
                          Quoted(folder / "q.png") + " " + Quoted(text);
    return std::system(command.c_str()) == 0 ? FromPng(ReadFile(folder / "q.png").value_or(""))
                                             : Picture{};
}

using Output = std::tuple<Bytes, Picture, int>;  // the export, its picture, its errno

// The picture through the bitmap, BMP and PNG file exports of one flavour (W:
// UTF-16, A: bytes); GetPNGW's block must equal the PNG file. The files
// replace "earlier" ones in `folder`.
template <class Char>
std::vector<Output> EveryOutput(const Library& q, const TempFolder& folder, const Char* text,
                                int margin, int size, int level) {
    const Bytes bmp = folder / "p.bmp", png = folder / "p.png";
    WriteFile(bmp, "earlier");
    WriteFile(png, "earlier");
    HBITMAP bitmap = nullptr;
    Bytes block;
    int errors[4] = {};
    if constexpr (std::is_same_v<Char, char>) {
        errors[0] = ErrnoOf([&] { bitmap = q.GetHBitmapA(text, margin, size, level); });
        errors[1] = ErrnoOf([&] { q.GenerateBMPA(bmp.c_str(), text, margin, size, level); });
        errors[2] = ErrnoOf([&] { q.GeneratePNGA(png.c_str(), text, margin, size, level); });
    } else {
        errors[0] = ErrnoOf([&] { bitmap = q.GetHBitmapW(text, margin, size, level); });
        errors[1] = ErrnoOf([&] { q.GenerateBMPW(Wide(bmp).c_str(), text, margin, size, level); });
        errors[2] = ErrnoOf([&] { q.GeneratePNGW(Wide(png).c_str(), text, margin, size, level); });
        errors[3] = ErrnoOf([&] {
            block = PngBlock(q, [&](auto... out) { q.GetPNGW(text, margin, size, level, out...); });
        });
        EXPECT_EQ(block.empty() ? "" : ReadFile(png).value_or(""), block) << "PNG file and block";
        EXPECT_EQ(errors[3], errors[2]) << "GetPNGW and GeneratePNGW";
    }
    return {{"bitmap", FromBitmap(q, bitmap), errors[0]},
            {"BMP", FromBmp(ReadFile(bmp).value_or("")), errors[1]},
            {"PNG", FromPng(ReadFile(png).value_or("")), errors[2]}};
}

// Every output equals what the qrencode tool draws in the colours set
// (stored whole, drawn without their fourth byte) and reads back as the
// text's UTF-8; or there is nothing at all: errno says why, and
// the earlier files stay as they were, with nothing new beside them.
TEST(Pictures, EveryOutputDrawsTheDirectEncodingOfTheUtf8OrNothing) {
    const std::u16string a1273(1273, u'a'), ya636(636, u'я');
    Bytes ya636Utf8;
    for (int i = 0; i < 636; ++i) {
        ya636Utf8 += "я";
    }
    const struct {
        std::u16string text;
        Bytes utf8;
        int margin, size, level, error;
        COLORREF foreground = kBlack, background = kWhite;
    } cases[] = {{u"abc", "abc", 1, 5, 0, 0},
                 {u"Привет, мир", "Привет, мир", 2, 3, 2, 0},
                 {u"abc", "abc", 1, 2, 0, 0, 0x00FF0000u, 0x00C0FFE0u},
                 {u"abc", "abc", 1, 2, 0, 0, 0xAB000080u, 0xCDFFE0C0u},
                 // An unpaired surrogate becomes U+FFFD; the pair after it stays.
                 {u"a\xD800\U0001F600b", "a\uFFFD\U0001F600b", 0, 4, 1, 0},
                 // Version 40: its BMP fills two 256 KiB write blocks and part of a third.
                 {a1273, Bytes(1273, 'a'), 3, 2, 3, 0},
                 {ya636, ya636Utf8, 1, 2, 3, 0},
                 {a1273 + u"a", "", 0, 1, 3, ERANGE},
                 {ya636 + u"я", "", 0, 1, 3, ERANGE},
                 {u"abc", "", 1, 5, 4, EINVAL},
                 {u"abc", "", 1, 5, -1, EINVAL},
                 {u"", "", 1, 5, 0, EINVAL},
                 {u"abc", "", -1, 5, 0, EINVAL},
                 {u"abc", "", 1, 0, 0, EINVAL},
                 {u"abc", "", 1, INT_MAX, 0, EFBIG},
                 {u"abc", "", INT_MAX, 1, 0, EFBIG},
                 {u"abc", "", 0, 1104, 0, EFBIG},  // 23184 pixels a side: over 2^31 - 1 bytes
                 // Fuzz findings: (width + 2 * margin) * size overflowed 64 bits; a side
                 // of 1.68e9 pixels passed the side limit and 4 * side * side overflowed.
                 {u"abc", "", INT_MAX, INT_MAX, 2, EFBIG},
                 {u"abc", "", 0, 80000000, 2, EFBIG},
                 {u"abc", "", 0, INT_MAX / 21, 2, EFBIG}};
    const Library q;
    EXPECT_TRUE(q.GetForegroundColor() == kBlack && q.GetBackgroundColor() == kWhite);
    for (const auto& c : cases) {
        const TempFolder folder;
        q.SetForegroundColor(c.foreground);
        q.SetBackgroundColor(c.background);
        EXPECT_TRUE(q.GetForegroundColor() == c.foreground &&
                    q.GetBackgroundColor() == c.background);
        const Picture model =
            c.error ? Picture{}
                    : Qrencode(c.utf8, c.margin, c.size, c.level, c.foreground, c.background);
        for (const auto& [output, picture, error] :
             EveryOutput(q, folder, c.text.c_str(), c.margin, c.size, c.level)) {
            SCOPED_TRACE(output + " of " + c.utf8.substr(0, 20));
            EXPECT_TRUE(picture == model) << c.margin << " " << c.size << " " << c.level;
            EXPECT_EQ(error, c.error != 0 ? c.error : kCallers);
            if (c.error == 0) {
                EXPECT_EQ(DecodeQrCode(picture), c.utf8);
            }
        }
        EXPECT_EQ(folder.Entries(), (Names{"p.bmp", "p.png"}));
        if (c.error != 0) {
            EXPECT_EQ(ReadFile(folder / "p.bmp").value() + ReadFile(folder / "p.png").value(),
                      "earlierearlier");
        }
    }
}

// The A exports widen from the calling thread's LC_CTYPE locale and then draw
// what W draws; GetPNGA alone encodes the caller's bytes unchanged.
TEST(Pictures, NarrowTextFollowsTheThreadLocale) {
    const std::tuple<const char*, Bytes, std::u16string> cases[] = {
        {"C", "Hello, World 42", u"Hello, World 42"},
        {"ru_RU.CP1251", "\xFF", u"я"},
        {"C", "a\xFFz", u"a\uFFFDz"}};  // the last: a byte the character set lacks
    const Library q;
    const TempFolder folder;
    for (const auto& [name, narrow, wide] : cases) {
        const ScopedThreadLocale locale(name);
        EXPECT_TRUE(EveryOutput(q, folder, narrow.c_str(), 1, 3, 2) ==
                    EveryOutput(q, folder, wide.c_str(), 1, 3, 2))
            << name << " " << narrow;
        const Bytes raw =
            PngBlock(q, [&](auto... out) { q.GetPNGA(narrow.c_str(), 1, 3, 2, out...); });
        EXPECT_TRUE(FromPng(raw) == Qrencode(narrow, 1, 3, 2)) << narrow;
    }
}

Bytes BigEndian(uint32_t word) {
    return {char(word >> 24), char(word >> 16), char(word >> 8), char(word)};
}

Bytes Chunk(const Bytes& type, const Bytes& data) {  // length, type, data, CRC
    const Bytes covered = type + data;
    return BigEndian(data.size()) + covered +
           BigEndian(crc32(0, reinterpret_cast<const Bytef*>(covered.data()), covered.size()));
}

// True when the bits after the last pixel of every PNG row are all 1 as the
// file holds them: libpng hands a user transform the unfiltered row before it
// masks those bits away for the caller, so no filter needs undoing here.
bool PaddingBitsAreSet(const Bytes& png) {
    struct Reader {
        const Bytes& png;
        std::size_t at;
        bool set;
    } reader{png, 0, true};
    png_structp read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(read);
    png_byte row[64];  // a small picture's row; longjmp skips no destructor
    if (setjmp(png_jmpbuf(read)) != 0) {
        png_destroy_read_struct(&read, &info, nullptr);
        return false;
    }
    png_set_read_fn(read, &reader, [](png_structp p, png_bytep out, png_size_t size) {
        auto& r = *static_cast<Reader*>(png_get_io_ptr(p));
        if (size > r.png.size() - r.at) {
            png_error(p, "truncated");
        }
        std::memcpy(out, r.png.data() + r.at, size);
        r.at += size;
    });
    png_set_read_user_transform_fn(read, [](png_structp p, png_row_infop row, png_bytep data) {
        auto& r = *static_cast<Reader*>(png_get_io_ptr(p));
        const unsigned used = row->width * row->pixel_depth % 8;  // bits of the last byte
        const unsigned padding = used == 0 ? 0 : 0xFFu >> used;
        r.set = r.set && (data[row->rowbytes - 1] & padding) == padding;
    });
    png_read_info(read, info);
    if (png_get_rowbytes(read, info) > sizeof row) {
        png_error(read, "row too long for this check");
    }
    for (png_uint_32 y = 0; y < png_get_image_height(read, info); ++y) {
        png_read_row(read, row, nullptr);
    }
    png_destroy_read_struct(&read, &info, nullptr);
    return reader.set;
}

// The headers, byte by byte. BMP: "BM", file size 52954, pixels at 54; info
// header of 40 bytes: 115 x 115 (positive: bottom row first), 1 plane, 32
// bits, BI_RGB, 52900 pixel bytes, 16 zero bytes (no resolution, no
// palette). PNG: 29 x 29, 1 bit a pixel from a palette of the foreground and
// the background, both opaque.
TEST(Pictures, Headers) {
    const Library q;
    const TempFolder folder;
    const std::u16string path = Wide(folder / "QR.bmp");
    q.GenerateBMPW(path.c_str(), std::u16string(1273, u'a').c_str(), 4, 5, 3);
    q.GenerateBMPW(path.c_str(), u"abc", 1, 5, 2);  // replaces the larger file
    const Bytes bmp = ReadFile(folder / "QR.bmp").value_or("");
    EXPECT_EQ(bmp.size(), 52954u);
    EXPECT_EQ(bmp.substr(0, 54), Bytes("BM\xDA\xCE\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x73\0\0\0\x73\0"
                                       "\0\0\1\0\x20\0\0\0\0\0\xA4\xCE\0\0",
                                       38) +
                                     Bytes(16, '\0'));
    q.SetForegroundColor(0x00FF0000u);  // blue: palette entry 0
    q.SetBackgroundColor(0x12345678u);  // entry 1
    const Bytes png = PngBlock(q, [&](auto... out) { q.GetPNGW(u"abc", 4, 1, 0, out...); });
    const Bytes head = "\x89PNG\r\n\x1A\n" +
                       Chunk("IHDR", Bytes("\0\0\0\x1D\0\0\0\x1D\1\3\0\0\0", 13)) +
                       Chunk("PLTE", Bytes("\0\0\xFF\x78\x56\x34", 6)) + Chunk("tRNS", "\xFF\xFF");
    EXPECT_EQ(png.substr(0, head.size()), head);
    EXPECT_TRUE(PaddingBitsAreSet(png)) << "side 29: 3 bits after each row's last pixel";
}

// A child process's checks: their failures are gathered, and EndChild puts
// them on stderr, where the death test shows them, and ends the process.
using ChildChecks = testing::ScopedFakeTestPartResultReporter;

[[noreturn]] void EndChild(const testing::TestPartResultArray& failures) {
    for (int i = 0; i < failures.size(); ++i) {
        const testing::TestPartResult& failure = failures.GetTestPartResult(i);
        std::fprintf(stderr, "line %d: %s\n", failure.line_number(), failure.message());
    }
    std::_Exit(failures.size() == 0 ? 0 : 1);
}

// No room: on a full /dev/shm (a small tmpfs in a private mount namespace)
// the library loads, its colours work process-locally from the defaults, and
// files that do not fit fail with ENOSPC, then EROFS when read-only, leaving
// the earlier files and no temporary file; libpng prints nothing. Memory that
// runs out is ENOMEM, and a text too long for any symbol is ERANGE at once,
// whatever its length (the sanitizers' allocators ignore the limit).
TEST(FailuresDeathTest, NoRoomOnDiskOrInMemory) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a mount namespace";
    }
    const auto withoutRoom = [] {
        testing::TestPartResultArray failures;
        const ChildChecks checks(&failures);
        unsetenv("XDG_RUNTIME_DIR");
        ASSERT_TRUE(unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=64k") == 0);
        WriteFile("/dev/shm/QR.bmp", "earlier");
        WriteFile("/dev/shm/QR.png", "earlier");
        for (std::ofstream filler("/dev/shm/filler"); filler << Bytes(4096, 'x') << std::flush;) {
        }
        {  // EndChild ends the process without destructors: unload, remove the copy first.
            const Library q;
            // Blue when the defaults were there, and kept.
            q.SetBackgroundColor(q.GetBackgroundColor() == kWhite ? 0x00FF0000u : kWhite);
            EXPECT_TRUE(FromBitmap(q, q.GetHBitmapW(u"abc", 1, 1, 0)) ==
                        Qrencode("abc", 1, 1, 0, kBlack, 0x00FF0000u));
            const std::u16string large(1273, u'a');
            EXPECT_EQ(ErrnoOf([&] { q.GenerateBMPW(u"/dev/shm/QR.bmp", large.c_str(), 25, 5, 3); }),
                      ENOSPC);
            EXPECT_EQ(ErrnoOf([&] { q.GeneratePNGW(u"/dev/shm/QR.png", large.c_str(), 4, 40, 3); }),
                      ENOSPC);
            ASSERT_EQ(mount(nullptr, "/dev/shm", nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
            EXPECT_EQ(ErrnoOf([&] { q.GenerateBMPW(u"/dev/shm/new.bmp", u"abc", 1, 1, 0); }),
                      EROFS);
#if !defined(__SANITIZE_ADDRESS__)
            const rlimit little{rlim_t(1) << 30, rlim_t(1) << 30};  // for 2.1 GB of pixels
            ASSERT_EQ(setrlimit(RLIMIT_AS, &little), 0);
            EXPECT_EQ(ErrnoOf([&] { q.GetHBitmapW(u"abc", 0, 1103, 0); }), ENOMEM);
            // A text longer than any symbol holds is refused before it is copied:
            // 10 MB of digits would cost the encoder 866 MB. 64 MiB more than now.
            const Bytes huge(10 << 20, '7');
            const std::u16string wideHuge(huge.begin(), huge.end());
            std::size_t pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t now = pages * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(64) << 20);
            const rlimit tight{now, now};
            ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
            const ScopedThreadLocale locale("C.UTF-8");
            const std::u16string file = u"/dev/shm/never.png";
            uint32_t size = 0;
            unsigned char* block = nullptr;
            const std::function<void()> refused[] = {
                [&] { q.GetHBitmapW(wideHuge.c_str(), 0, 1, 0); },
                [&] { q.GeneratePNGW(file.c_str(), wideHuge.c_str(), 0, 1, 0); },
                [&] { q.GetPNGW(wideHuge.c_str(), 0, 1, 0, &size, &block); },
                [&] { q.GetHBitmapA(huge.c_str(), 0, 1, 0); },
                [&] { q.GenerateBMPA("/dev/shm/never.bmp", huge.c_str(), 0, 1, 0); },
                [&] { q.GetPNGA(huge.c_str(), 0, 1, 0, &size, &block); }};
            for (const auto& call : refused) {
                EXPECT_EQ(ErrnoOf(call), ERANGE) << &call - refused;
            }
#endif
        }
        EXPECT_EQ(ReadFile("/dev/shm/QR.bmp").value() + ReadFile("/dev/shm/QR.png").value(),
                  "earlierearlier");
        EXPECT_EQ(FolderEntries("/dev/shm"), (Names{"QR.bmp", "QR.png", "filler"}));
        EndChild(failures);
    };
    EXPECT_EXIT(withoutRoom(), testing::ExitedWithCode(0), "^$");
}

// Sets or clears a folder's append-only attribute (chattr +a): files can be
// made in it, but neither removed nor renamed. Needs root.
bool SetAppendOnly(const std::string& folder, bool on) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    const bool set = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                     (flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL,
                      ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    close(fd);
    return set;
}

// The other calls, in order, by a caller who is not root (as root the child
// becomes user 12345 of group 4242): what each returns and the errno it leaves
// (the caller's on success). A stale bitmap handle never names a newer bitmap,
// even one made right after in the released one's memory. A names are bytes
// in any locale; W names are UTF-8 on disk. A link's target keeps its mode.
// As root, also what needs a second user (54321, who plants links in a
// sticky shared folder) or root's rights to set up.
TEST(CallsDeathTest, HandlesPointersAndFiles) {
    const bool root = geteuid() == 0;
    const Library q;
    const TempFolder folder;
    const auto in = [&](const Bytes& name) { return folder / name; };
    fs::create_directory(in("closed"));  // not the caller's
    WriteFile(in("shared.bmp"), "earlier");
    ASSERT_EQ(chmod(in("closed").c_str(), 0555) | chmod(in("shared.bmp").c_str(), 0664) |
                  (root ? chown(folder.Path().c_str(), 12345, 12345) |
                              chown(in("shared.bmp").c_str(), 23456, 4242)
                        : 0),
              0);
    if (root) {
        // A sticky, world-writable folder of root's, as /tmp is, with another
        // user's links to a file of the caller's, to a new name and to a folder.
        fs::create_directory(in("sticky"));
        fs::create_symlink("../victim.png", in("sticky/planted.png"));
        fs::create_symlink("../planted-new.png", in("sticky/dangling.png"));
        fs::create_symlink("..", in("sticky/folder"));
        fs::create_directory(in("appendonly"));
        ASSERT_EQ(chmod(in("sticky").c_str(), 01777) |
                      lchown(in("sticky/planted.png").c_str(), 54321, 54321) |
                      lchown(in("sticky/dangling.png").c_str(), 54321, 54321) |
                      lchown(in("sticky/folder").c_str(), 54321, 54321) |
                      chown(in("appendonly").c_str(), 12345, 12345),
                  0);
        ASSERT_TRUE(SetAppendOnly(in("appendonly"), true));
    }
    const auto asCaller = [&] {
        testing::TestPartResultArray failures;
        const ChildChecks checks(&failures);
        const gid_t groups[] = {4242};
        ASSERT_TRUE(!root || (setgroups(1, groups) == 0 && setresgid(12345, 12345, 12345) == 0 &&
                              setresuid(12345, 12345, 12345) == 0));
        fs::create_directory(in("dir"));
        WriteFile(in("readonly"), "earlier");
        WriteFile(in("real.png"), "earlier");
        ASSERT_EQ(mkfifo(in("fifo").c_str(), 0600) | chmod(in("readonly").c_str(), 0444) |
                      chmod(in("real.png").c_str(), 0604),
                  0);
        fs::create_symlink("real.png", in("link.png"));
        WriteFile(in("victim.png"), "earlier");
        const std::u16string base = Wide(folder.Path() + "/");
        HBITMAP bitmap = q.GetHBitmapW(u"abc", 1, 1, 0), newer = nullptr;
        BITMAP info{};
        DIBSECTION section{};
        struct stat status {};
        uint32_t size = 0;
        unsigned char* block = nullptr;
        const int32_t kInfo = sizeof info, kSection = sizeof section;
        // A file export on a name in the folder; 0 for the table.
        const auto w = [&](auto generate, const std::u16string& name) {
            return generate((base + name).c_str(), u"abc", 1, 1, 0), 0;
        };
        const auto a = [&](auto generate, const Bytes& name) {
            return generate(in(name).c_str(), "abc", 1, 1, 0), 0;
        };
        // clang-format off
        std::vector<std::tuple<int, int, std::function<int()>>> cases = {
            {kInfo, kCallers, [&] { return q.GetObjectW(bitmap, 0, nullptr); }},
            {0, EINVAL, [&] { return q.GetObjectW(bitmap, kInfo - 1, &info); }},
            {kInfo, kCallers, [&] { return q.GetObjectW(bitmap, kInfo, &info); }},
            {kSection, kCallers, [&] { return q.GetObjectW(bitmap, kSection, &section); }},
            {-23, kCallers, [&] { return section.dsBmih.biHeight; }},  // top row first
            {0, EINVAL, [&] { return q.DeleteObject(reinterpret_cast<HBITMAP>(&info)); }},
            {0, EINVAL, [&] { return q.DeleteObject(nullptr); }},
            {1, kCallers, [&] { return q.DeleteObject(bitmap); }},
            {0, EINVAL, [&] { return q.DeleteObject(bitmap); }},
            {0, EINVAL, [&] { return q.GetObjectW(bitmap, kInfo, &info); }},
            {0, kCallers, [&] { return int((newer = q.GetHBitmapW(u"abc", 1, 1, 0)) == bitmap); }},
            {0, EINVAL, [&] { return q.DeleteObject(bitmap); }},
            {1, kCallers, [&] { return q.DeleteObject(newer); }},
            {0, EINVAL, [&] { return int(q.GetHBitmapA(nullptr, 1, 1, 0) != nullptr); }},
            {0, EINVAL, [&] { return q.GetPNGW(u"abc", 1, 1, 0, nullptr, &block), int(!!block); }},
            {0, EINVAL, [&] { return q.GetPNGA("abc", 1, 1, 0, &size, nullptr), int(size); }},
            {0, EINVAL, [&] { return q.GenerateBMPW(nullptr, u"abc", 1, 1, 0), 0; }},
            {0, EINVAL, [&] { return q.GenerateBMPA("", "abc", 1, 1, 0), 0; }},
            {0, EINVAL, [&] { return w(q.GeneratePNGW, u"a\xD800"); }},  // an unpaired surrogate
            {0, EINVAL, [&] { return a(q.GenerateBMPA, "fifo"); }},
            {0, EISDIR, [&] { return w(q.GenerateBMPW, u"dir"); }},
            {0, EISDIR, [&] { return a(q.GeneratePNGA, "new/"); }},
            {0, kCallers, [&] { return a(q.GenerateBMPA, "фото"); }},
            {0, kCallers, [&] { return a(q.GeneratePNGA, "\xF4\xEE\xF2\xEE"); }},  // "фото" in CP1251
            {0, kCallers, [&] {
                const ScopedThreadLocale cp1251("ru_RU.CP1251");  // the bytes of "иной" in it
                return a(q.GenerateBMPA, "\xE8\xED\xEE\xE9") + w(q.GeneratePNGW, u"кадр"); }},
            {0604, kCallers, [&] {
                w(q.GeneratePNGW, u"link.png");
                const bool png = ReadFile(in("real.png")).value().starts_with("\x89PNG");
                return png * int(fs::status(in("real.png")).permissions()); }},
            {0640, kCallers, [&] {
                const mode_t previous = umask(027);
                w(q.GenerateBMPW, u"new.bmp");
                umask(previous);
                return int(fs::status(in("new.bmp")).permissions()); }},
            {0, EACCES, [&] { return w(q.GenerateBMPW, u"readonly"); }},
            {0, EACCES, [&] { return w(q.GeneratePNGW, u"closed/new.png"); }},
            {0, ENOENT, [&] { return w(q.GenerateBMPW, u"missing/new.bmp"); }},
            {0664, kCallers, [&] {  // a rewrite by a member of the file's group
                w(q.GenerateBMPW, u"shared.bmp");
                stat(in("shared.bmp").c_str(), &status);
                const bool kept = status.st_gid == (root ? gid_t(4242) : getegid());
                return (status.st_size > 54 && kept) * int(status.st_mode & 07777); }},
            {1, EMFILE, [&] {  // descriptors 0-2 are never the library's, free or not
                int saved[3];
                rlimit limit{};
                getrlimit(RLIMIT_NOFILE, &limit);
                const rlimit onlyStandard{3, limit.rlim_max};
                for (int fd = 0; fd < 3; ++fd) {
                    saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 3);
                }
                close_range(0, 2, 0);
                w(q.GenerateBMPW, u"low.bmp");  // made, through a descriptor above 2
                setrlimit(RLIMIT_NOFILE, &onlyStandard);
                const int made = int(fs::exists(in("low.bmp"))) + w(q.GeneratePNGW, u"low.png");
                const int error = errno;
                setrlimit(RLIMIT_NOFILE, &limit);
                for (int fd = 0; fd < 3; ++fd) {
                    dup2(saved[fd], fd), close(saved[fd]);
                }
                errno = error;
                return made; }},
        };
        if (root) {
            cases.insert(cases.end(), {
                // Another user's link in a sticky shared folder is not followed,
                // dangling or not, at the end or in the folder part; the
                // caller's own link there is.
                {0, EACCES, [&] { return w(q.GeneratePNGW, u"sticky/planted.png"); }},
                {0, EACCES, [&] { return w(q.GenerateBMPW, u"sticky/folder/planted-new.bmp"); }},
                {0, EACCES, [&] {
                    fs::create_symlink("../mine.png", in("sticky/mine.png"));
                    return w(q.GeneratePNGW, u"sticky/mine.png") +
                           w(q.GenerateBMPW, u"sticky/dangling.png"); }},
                // The file has no name while it is written: a write past
                // RLIMIT_FSIZE fails, and in an append-only folder, where a
                // named temporary file could not be removed, nothing is left.
                {0, EFBIG, [&] {
                    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
                    rlimit limit{};
                    getrlimit(RLIMIT_FSIZE, &limit);
                    const rlimit small{100, limit.rlim_max};
                    setrlimit(RLIMIT_FSIZE, &small);
                    w(q.GenerateBMPW, u"appendonly/new.bmp");
                    const int error = errno;
                    setrlimit(RLIMIT_FSIZE, &limit);
                    std::signal(SIGXFSZ, handler);
                    const int left = int(FolderEntries(in("appendonly")).size());
                    errno = error;
                    return left; }},
            });
        }
        // clang-format on
        for (std::size_t row = 0; row < std::size(cases); ++row) {
            int result = 0;
            EXPECT_EQ(ErrnoOf([&] { result = std::get<2>(cases[row])(); }), std::get<1>(cases[row]))
                << "row " << row;
            EXPECT_EQ(result, std::get<0>(cases[row])) << "row " << row;
        }
        EXPECT_EQ(ReadFile(in("readonly")).value_or("") + ReadFile(in("victim.png")).value_or(""),
                  "earlierearlier");
        EXPECT_EQ(FolderEntries(in("closed")), Names{});
        // Nothing where the planted links pointed.
        Names entries = root ? Names{"appendonly", "mine.png", "sticky"} : Names{};
        entries.insert(entries.end(), {"closed", "dir", "fifo", "link.png", "low.bmp", "new.bmp",
                                       "readonly", "real.png", "shared.bmp", "victim.png", "кадр",
                                       "фото", "\xE8\xED\xEE\xE9", "\xF4\xEE\xF2\xEE"});
        std::sort(entries.begin(), entries.end());
        EXPECT_EQ(folder.Entries(), entries);
        EXPECT_TRUE(fs::is_symlink(in("link.png")));
        EndChild(failures);
    };
    EXPECT_EXIT(asCaller(), testing::ExitedWithCode(0), "");
    EXPECT_TRUE(!root || SetAppendOnly(in("appendonly"), false));  // so that it can be removed
}

// A process that loads `file` with XDG_RUNTIME_DIR `runtime` (null: unset),
// set up as `how` says, moves to / and runs `steps`, which may hold() the
// library until the process's input ends. Built once the process holds or
// ended (Holds() tells which); Finish() ends the input and gives the exit
// status (0: the steps returned true); killed at the end of its scope unless
// it finished.
struct PeerSetup {
    std::string folder = "/";    // the current folder while loading
    uid_t user = 0;              // the process's user (and group); 0: as the test
    bool closedStreams = false;  // descriptors 0-2 closed: hold() holds only while they are
};

class Peer {
    // Its pipes' ends in the process: clear of the standard streams.
    static constexpr int kInput = 100, kOutput = 101;
    static inline bool closedStreams = false;  // in the process: as `how` asked
    pid_t pid_;
    int input_, output_;
    bool holds_ = false;

  public:
    using Steps = std::function<bool(const Library&, void (*hold)())>;

    Peer(const Steps& steps, const std::string& file, const char* runtime,
         const PeerSetup& how = {}) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) {
            throw std::runtime_error("no pipe");
        }
        if ((pid_ = fork()) == 0) {
            dup2(in[0], kInput);
            dup2(out[1], kOutput);
            close_range(3, kInput - 1, 0);  // the other peers' input stays theirs alone
            close_range(kOutput + 1, ~0u, 0);
            if ((closedStreams = how.closedStreams)) {
                close_range(0, 2, 0);
            }
            runtime ? setenv("XDG_RUNTIME_DIR", runtime, 1) : unsetenv("XDG_RUNTIME_DIR");
            const bool ready = (how.user == 0 || (setgroups(0, nullptr) == 0 &&
                                                  setresgid(how.user, how.user, how.user) == 0 &&
                                                  setresuid(how.user, how.user, how.user) == 0)) &&
                               chdir(how.folder.c_str()) == 0;
            bool passed = false;
            try {
                const Library library(ready ? file : "/nonexistent");
                passed = chdir("/") == 0 && steps(library, [] {
                             for (int fd = 0; closedStreams && fd <= 2; ++fd) {
                                 if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
                                     return;
                                 }
                             }
                             char byte = 'h';
                             while (write(kOutput, &byte, 1) == 1 && read(kInput, &byte, 1) == 1) {
                             }
                         });
            } catch (const std::exception&) {
            }
            std::_Exit(passed ? 0 : 1);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
        char said = 0;
        holds_ = read(output_, &said, 1) == 1;
    }
    ~Peer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
        }
        Finish();
        close(output_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Whether the process (or its forked child) holds the library.
    bool Holds() const { return holds_; }
    int Finish() {
        close(std::exchange(input_, -1));
        return Wait();
    }
    int Wait() {
        int status = 0;
        if (const pid_t pid = std::exchange(pid_, -1); pid > 0) {
            waitpid(pid, &status, 0);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

Peer::Steps Expect(COLORREF foreground, COLORREF background) {
    return [=](const Library& q, void (*)()) {
        return q.GetForegroundColor() == foreground && q.GetBackgroundColor() == background;
    };
}

Peer::Steps SetAndHold(COLORREF foreground, COLORREF background, bool fork = false) {
    return [=](const Library& q, void (*hold)()) {
        q.SetForegroundColor(foreground);
        q.SetBackgroundColor(background);
        if (!fork || ::fork() == 0) {  // with `fork`, the child holds and the parent ends
            hold();
        }
        return true;
    };
}

// A copy of the library file that this process does not load (other users
// may), its identity and the name of its colour object for this user.
struct SharedCopy {
    TempFolder folder;
    std::string file = folder / "libqrimage.so";
    struct stat identity {};
    std::string object;

    SharedCopy() {
        fs::copy_file(QRIMAGE_LIBRARY_FILE, file);
        chmod(folder.Path().c_str(), 0755);
        stat(file.c_str(), &identity);
        object = qrimage::ColourObjectName(geteuid(), identity);
    }
};

// A path removed at the end of the scope, whatever is there then.
struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
};

// The colours live exactly while some process has the library file loaded:
// shared, every byte, while one holds it, also after the first of two
// leaves, and gone with the last one, whether it unloaded the library or was
// killed. Its object is the user's alone and is gone from its folder
// afterwards: $XDG_RUNTIME_DIR when that is a folder of the user's alone,
// else /dev/shm.
TEST(Colours, LiveExactlyWhileTheLibraryIsLoaded) {
    const TempFolder runtime, open;
    ASSERT_EQ(chmod(open.Path().c_str(), 0755), 0);
    const std::pair<const char*, std::string> places[] = {// XDG_RUNTIME_DIR, object folder
                                                          {runtime.Path().c_str(), runtime.Path()},
                                                          {nullptr, "/dev/shm"},
                                                          {open.Path().c_str(), "/dev/shm"}};
    for (const auto& [xdg, objectFolder] : places) {
        const SharedCopy copy;
        const std::string object = objectFolder + copy.object;
        const auto run = [&](const Peer::Steps& steps) {
            return Peer(steps, copy.file, xdg).Finish();
        };
        SCOPED_TRACE(objectFolder);
        Peer first(SetAndHold(0x80000011u, 0x22u), copy.file, xdg);
        EXPECT_EQ(run(Expect(0x80000011u, 0x22u)), 0);
        // Loaded by a relative name, then the current folder changes.
        EXPECT_EQ(
            Peer(Expect(0x80000011u, 0x22u), "./libqrimage.so", xdg, {.folder = copy.folder.Path()})
                .Finish(),
            0);
        struct stat status {};
        ASSERT_EQ(stat(object.c_str(), &status), 0);
        EXPECT_TRUE((status.st_mode & 0777) == 0600 && status.st_uid == geteuid());
        Peer second(SetAndHold(0x33, 0x44), copy.file, xdg);
        EXPECT_EQ(first.Finish(), 0);
        EXPECT_EQ(run(Expect(0x33, 0x44)), 0) << "lost when the first process left";
        EXPECT_EQ(second.Finish(), 0);
        EXPECT_FALSE(fs::exists(object)) << "left by the last process";
        EXPECT_EQ(run(Expect(kBlack, kWhite)), 0);
        { const Peer killed(SetAndHold(0x55, 0x66), copy.file, xdg); }
        EXPECT_TRUE(fs::exists(object));
        EXPECT_EQ(run(Expect(kBlack, kWhite)), 0) << "a killed process's colours";
        EXPECT_FALSE(fs::exists(object)) << "left after a killed process";
        // A forked child has the library loaded too, after its parent ends.
        Peer parent(SetAndHold(0x77, 0x88, true), copy.file, xdg);
        EXPECT_EQ(parent.Wait(), 0);
        EXPECT_EQ(run(Expect(0x77, 0x88)), 0) << "lost when the parent of a holder left";
        parent.Finish();  // its child sees the end of its input and ends
        for (int wait = 0; wait < 500 && fs::exists(object); ++wait) {
            usleep(10000);
        }
        EXPECT_FALSE(fs::exists(object)) << "left by a forked child";
    }
    EXPECT_TRUE(runtime.Entries().empty());
}

// A program may start with its standard streams closed. The library's
// descriptors, its object's and the one it prepares for a forked child, are
// never 0-2, where the program's own output (or input) would reach the
// object; the colours are shared all the same.
TEST(Colours, StandardStreamsClosedAtLoadStayClosed) {
    const TempFolder runtime;
    for (const bool fork : {false, true}) {
        SCOPED_TRACE(fork ? "held by a forked child" : "held by the loading process");
        const SharedCopy copy;
        Peer holder(SetAndHold(0x123456, 0x654321, fork), copy.file, runtime.Path().c_str(),
                    {.closedStreams = true});
        EXPECT_TRUE(holder.Holds()) << "a descriptor 0-2 is open";
        EXPECT_EQ(Peer(Expect(0x123456, 0x654321), copy.file, runtime.Path().c_str()).Finish(), 0);
        EXPECT_EQ(holder.Finish(), 0);
    }
}

// Another user may make the object's name first in /dev/shm (it is
// predictable): a file of their own, or a hard link to a file of the user
// that everyone may write. Neither is used or changed (its content, mode,
// links stay), and the colours stay each process's own.
TEST(Colours, AnotherUsersObjectUnderTheNameIsNeverUsed) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as two other users";
    }
    constexpr uid_t kUser = 12345;
    const struct {
        const char* what;
        const char* plant;  // run by the other user; $1: the name, $2: the user's file
    } rows[] = {{"another user's file", "printf squatter >\"$1\" && chmod 666 \"$1\""},
                {"a hard link to the user's file", "ln \"$2\" \"$1\""}};
    for (const auto& [what, plant] : rows) {
        SCOPED_TRACE(what);
        const SharedCopy copy;
        const TempFolder own("/dev/shm");  // a hard link cannot leave its file system
        const std::string file = own / "notes";
        const RemovedAtEnd name{"/dev/shm" + qrimage::ColourObjectName(kUser, copy.identity)};
        WriteFile(file, "the user's notes");
        ASSERT_EQ(chmod(own.Path().c_str(), 0755) | chown(file.c_str(), kUser, kUser) |
                      chmod(file.c_str(), 0666),
                  0);
        ASSERT_EQ(std::system(("setpriv --reuid=54321 --regid=54321 --clear-groups sh -c " +
                               Quoted(plant) + " sh " + Quoted(name.path) + " " + Quoted(file))
                                  .c_str()),
                  0);
        struct stat planted {};
        ASSERT_EQ(stat(name.path.c_str(), &planted), 0);
        const auto content = ReadFile(name.path);
        Peer holder(SetAndHold(0x11, 0x22), copy.file, nullptr, {.user = kUser});
        EXPECT_EQ(Peer(Expect(kBlack, kWhite), copy.file, nullptr, {.user = kUser}).Finish(), 0);
        EXPECT_EQ(holder.Finish(), 0);
        struct stat after {};
        ASSERT_EQ(stat(name.path.c_str(), &after), 0);
        EXPECT_EQ(ReadFile(name.path), content);  // colours far from the defaults, if read
        EXPECT_TRUE(after.st_ino == planted.st_ino && after.st_mode == planted.st_mode &&
                    after.st_nlink == planted.st_nlink);
    }
}

// The objects that nobody holds any more, of a process killed without
// unloading or of a library file since replaced, go when the library is next
// loaded, from any file, in either folder, also in /dev/shm when the loader
// uses its runtime folder (another session's). An object that a process holds
// stays, as do other users' objects (in /dev/shm, the folder users share).
// Every row also leaves an object of the user that nobody holds, which must
// go: the row's object has been looked at.
TEST(Colours, UnheldObjectsOfTheUserGoAtLoad) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const TempFolder runtime;
    const struct {
        const char* what;
        uid_t user;
        bool held, stays, shm, loaderInShm;
    } rows[] = {{"the user's, of a replaced file", 0, false, false, false, false},
                {"the user's, held", 0, true, true, false, false},
                {"another user's", 54321, false, true, true, true},
                {"the user's, in /dev/shm", 0, false, false, true, false}};
    for (const auto& [what, user, held, stays, shm, loaderInShm] : rows) {
        SCOPED_TRACE(what);
        const char* xdg = shm ? nullptr : runtime.Path().c_str();
        const char* loaderXdg = loaderInShm ? nullptr : runtime.Path().c_str();
        const std::string folder = shm ? "/dev/shm" : runtime.Path();
        const SharedCopy left, old, current;  // `left`'s object is left by a killed holder
        const RemovedAtEnd unheld{folder + left.object},
            object{folder + qrimage::ColourObjectName(user, old.identity)};
        // Both held at first, as every load removes what nobody holds.
        std::optional<Peer> leftHolder(std::in_place, SetAndHold(0x11, 0x22), left.file, xdg),
            holder(std::in_place, SetAndHold(0x33, 0x44), old.file, xdg, PeerSetup{.user = user});
        leftHolder.reset();
        if (!held) {
            holder.reset();
            fs::remove(old.file);
        }
        ASSERT_TRUE(fs::exists(unheld.path) && fs::exists(object.path));
        EXPECT_EQ(Peer(Expect(kBlack, kWhite), current.file, loaderXdg).Finish(), 0);
        EXPECT_FALSE(fs::exists(unheld.path));
        EXPECT_EQ(fs::exists(object.path), stays);
        if (held) {
            EXPECT_EQ(Peer(Expect(0x33, 0x44), old.file, xdg).Finish(), 0);
            EXPECT_EQ(holder->Finish(), 0);
        }
    }
}

// A process killed while it makes the object leaves it half made: empty, with
// the mode its umask gave. The next process to load finishes it, and the
// colours are shared again.
TEST(Colours, AHalfMadeObjectIsFinishedAtLoad) {
    const TempFolder runtime;
    const SharedCopy copy;
    const RemovedAtEnd object{runtime.Path() + copy.object};
    WriteFile(object.path, "");
    ASSERT_EQ(chmod(object.path.c_str(), 0400), 0);
    Peer holder(SetAndHold(0x11, 0x22), copy.file, runtime.Path().c_str());
    EXPECT_EQ(Peer(Expect(0x11, 0x22), copy.file, runtime.Path().c_str()).Finish(), 0);
    EXPECT_EQ(holder.Finish(), 0);
    EXPECT_FALSE(fs::exists(object.path)) << "left by the last process";
}

}  // namespace
