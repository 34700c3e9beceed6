// The library through its exports, against oracles nobody here wrote: the qrencode tool's pixels
// and the zxing-cpp decoder; then file layouts, refusals, files and colours.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>

#include "colours/colour_object_name.h"
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

// What the qrencode tool draws for the same bytes in the same colours.
Picture Qrencode(const Bytes& text, int margin, int size, int level, COLORREF dark = kBlack,
                 COLORREF light = kWhite) {
    const auto rgb = [](COLORREF c) {  // 0x..BBGGRR as RRGGBB
        char hex[7];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X", c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
        return Bytes(hex);
    };
    return qrtest::Qrencode(text, "-l " + Bytes(1, "LMQH"[level]) + " -s " + std::to_string(size) +
                                      " -m " + std::to_string(margin) +
                                      " --foreground=" + rgb(dark) + " --background=" + rgb(light));
}

using Output = std::tuple<Bytes, Picture, int>;  // the export, its picture, its errno

// The picture through GetHBitmapW, GenerateBMPW and GeneratePNGW; GetPNGW's block must equal the
// PNG file, with the same errno. The files replace "earlier" ones in `folder`.
std::vector<Output> EveryOutput(const Library& q, const TempFolder& folder, const char16_t* text,
                                int margin, int size, int level) {
    const Bytes bmp = folder / "p.bmp", png = folder / "p.png";
    WriteFile(bmp, "earlier");
    WriteFile(png, "earlier");
    HBITMAP bitmap = nullptr;
    Bytes block;
    const int errors[] = {
        ErrnoOf([&] { bitmap = q.GetHBitmapW(text, margin, size, level); }),
        ErrnoOf([&] { q.GenerateBMPW(Wide(bmp).c_str(), text, margin, size, level); }),
        ErrnoOf([&] { q.GeneratePNGW(Wide(png).c_str(), text, margin, size, level); }),
        ErrnoOf([&] {
            block = PngBlock(q, [&](auto... out) { q.GetPNGW(text, margin, size, level, out...); });
        })};
    EXPECT_EQ(block.empty() ? "" : ReadFile(png).value_or(""), block) << "PNG file and block";
    EXPECT_EQ(errors[3], errors[2]) << "GetPNGW and GeneratePNGW";
    return {{"bitmap", FromBitmap(q, bitmap), errors[0]},
            {"BMP", FromBmp(ReadFile(bmp).value_or("")), errors[1]},
            {"PNG", FromPng(ReadFile(png).value_or("")), errors[2]}};
}

struct Drawing {
    const char* name;
    std::u16string text;
    Bytes utf8;
    int margin, size, level, error;
    COLORREF foreground = kBlack, background = kWhite;
};

// Every output is what qrencode draws in the colours set (stored whole, drawn without their fourth
// byte) and reads as the text's UTF-8; or nothing is made, errno says why, the earlier files stay.
// The A exports widen in the thread's locale to the same pictures: the fuzz targets' seeds check.
class Pictures : public testing::TestWithParam<Drawing> {};

TEST_P(Pictures, EveryOutputDrawsTheUtf8OrNothing) {
    const Drawing& c = GetParam();
    const Library q;
    const TempFolder folder;
    q.SetForegroundColor(c.foreground);
    q.SetBackgroundColor(c.background);
    EXPECT_TRUE(q.GetForegroundColor() == c.foreground && q.GetBackgroundColor() == c.background);
    const Picture model =
        c.error ? Picture{}
                : Qrencode(c.utf8, c.margin, c.size, c.level, c.foreground, c.background);
    for (const auto& [output, picture, error] :
         EveryOutput(q, folder, c.text.c_str(), c.margin, c.size, c.level)) {
        SCOPED_TRACE(output);
        EXPECT_TRUE(picture == model);
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

Bytes Repeated(const Bytes& piece, int times) {
    return times == 0 ? "" : piece + Repeated(piece, times - 1);
}

const std::u16string kA1273(1273, u'a'), kYa636(636, u'я');
// clang-format off
const Drawing kDrawings[] = {
    {"Ascii", u"abc", "abc", 1, 5, 0, 0},
    {"Cyrillic", u"Привет, мир", "Привет, мир", 2, 3, 2, 0},
    {"FourthByteIgnored", u"abc", "abc", 1, 2, 0, 0, 0xAB000080u, 0xCDFFE0C0u},
    {"UnpairedSurrogateBecomesReplacement", u"a\xD800\U0001F600b", "a\uFFFD\U0001F600b", 0, 4, 1, 0},
    // Version 40: its BMP fills two 256 KiB write blocks and part of a third.
    {"LargestAsciiText", kA1273, Bytes(1273, 'a'), 3, 2, 3, 0},
    {"LargestCyrillicText", kYa636, Repeated("я", 636), 1, 2, 3, 0},
    {"AsciiTooLongIsERANGE", kA1273 + u"a", "", 0, 1, 3, ERANGE},
    {"CyrillicTooLongIsERANGE", kYa636 + u"я", "", 0, 1, 3, ERANGE},
    {"LevelAboveHIsEINVAL", u"abc", "", 1, 5, 4, EINVAL},
    {"NegativeLevelIsEINVAL", u"abc", "", 1, 5, -1, EINVAL},
    {"EmptyTextIsEINVAL", u"", "", 1, 5, 0, EINVAL},
    {"NegativeMarginIsEINVAL", u"abc", "", -1, 5, 0, EINVAL},
    {"ZeroSizeIsEINVAL", u"abc", "", 1, 0, 0, EINVAL},
    {"OverTwoGigabytesIsEFBIG", u"abc", "", 0, 1104, 0, EFBIG},  // 23184 pixels a side
    // A fuzz finding: 4 * side^2 overflowed (the fuzz seeds keep the other overflows).
    {"AreaOverflowIsEFBIG", u"abc", "", 0, INT_MAX / 21, 2, EFBIG}};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Text, Pictures, testing::ValuesIn(kDrawings),
                         [](const auto& info) { return std::string(info.param.name); });

Bytes BigEndian(uint32_t word) {
    return {char(word >> 24), char(word >> 16), char(word >> 8), char(word)};
}

Bytes Chunk(const Bytes& type, const Bytes& data) {  // length, type, data, CRC
    const Bytes covered = type + data;
    return BigEndian(data.size()) + covered +
           BigEndian(crc32(0, reinterpret_cast<const Bytef*>(covered.data()), covered.size()));
}

// True when a PNG of `side` pixels, 1 bit a pixel, has its one IDAT chunk inflate to unfiltered
// rows (libpng filters no palette picture) whose bits after the last pixel are all 1.
bool PaddingBitsAreSet(const Bytes& png, std::size_t side) {
    const std::size_t at = png.find("IDAT") + 4, stride = 1 + (side + 7) / 8;
    Bytes rows(side * stride, '\0');
    uLongf size = rows.size();
    if (at < 4 ||
        uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                   reinterpret_cast<const Bytef*>(&png[at]), png.size() - at) != Z_OK ||
        size != rows.size()) {
        return false;
    }
    const unsigned padding = side % 8 == 0 ? 0 : 0xFFu >> (side % 8);
    for (std::size_t row = 0; row < side; ++row) {
        if (rows[row * stride] != 0 || (rows[row * stride + stride - 1] & padding) != padding) {
            return false;
        }
    }
    return true;
}

// A BMP replacing a larger file is exactly its own size. The PNG header, byte by byte: 29 x 29, 1
// bit a pixel from a palette of the foreground and the background, both opaque.
TEST(PicturesOfText, Headers) {
    const Library q;
    const TempFolder folder;
    const std::u16string path = Wide(folder / "QR.bmp");
    q.GenerateBMPW(path.c_str(), std::u16string(1273, u'a').c_str(), 4, 5, 3);
    q.GenerateBMPW(path.c_str(), u"abc", 1, 5, 2);
    EXPECT_EQ(FromBmp(ReadFile(folder / "QR.bmp").value_or("")).side, 115);
    q.SetForegroundColor(0x00FF0000u);  // blue: palette entry 0
    q.SetBackgroundColor(0x12345678u);  // entry 1
    const Bytes png = PngBlock(q, [&](auto... out) { q.GetPNGW(u"abc", 4, 1, 0, out...); });
    const Bytes head = "\x89PNG\r\n\x1A\n" +
                       Chunk("IHDR", Bytes("\0\0\0\x1D\0\0\0\x1D\1\3\0\0\0", 13)) +
                       Chunk("PLTE", Bytes("\0\0\xFF\x78\x56\x34", 6)) + Chunk("tRNS", "\xFF\xFF");
    EXPECT_EQ(png.substr(0, head.size()), head);
    EXPECT_TRUE(PaddingBitsAreSet(png, 29)) << "3 bits after each row's last pixel";
}

// A child's failed checks, gathered; EndChild puts them on stderr for the death test and ends it.
using ChildChecks = testing::ScopedFakeTestPartResultReporter;

[[noreturn]] void EndChild(const testing::TestPartResultArray& failures) {
    for (int i = 0; i < failures.size(); ++i) {
        const testing::TestPartResult& failure = failures.GetTestPartResult(i);
        std::fprintf(stderr, "line %d: %s\n", failure.line_number(), failure.message());
    }
    std::_Exit(failures.size() == 0 ? 0 : 1);
}

// On a full /dev/shm (a small tmpfs in a private mount namespace) the library loads, its colours
// work locally from the defaults, files that do not fit are ENOSPC (EROFS read-only), the earlier
// files stay, no temporary file, libpng prints nothing; too long a text is ERANGE before a copy.
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
            // A copy of 10 MB of digits would cost the encoder 866 MB; allow 64 MiB more than now.
            const Bytes huge(10 << 20, '7');
            const std::u16string wideHuge(huge.begin(), huge.end());
            std::size_t pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t now = pages * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(64) << 20);
            const rlimit tight{now, now};
            ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
            const ScopedThreadLocale locale("C.UTF-8");
            uint32_t size = 0;
            unsigned char* block = nullptr;
            // One export for each way in: UTF-16, widened bytes, bytes as they are.
            const std::pair<const char*, std::function<void()>> refused[] = {
                {"GetHBitmapW", [&] { q.GetHBitmapW(wideHuge.c_str(), 0, 1, 0); }},
                {"GetHBitmapA", [&] { q.GetHBitmapA(huge.c_str(), 0, 1, 0); }},
                {"GetPNGA", [&] { q.GetPNGA(huge.c_str(), 0, 1, 0, &size, &block); }}};
            for (const auto& [name, call] : refused) {
                EXPECT_EQ(ErrnoOf(call), ERANGE) << name;
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

// What a call returns and the errno it leaves (the caller's on success).
std::pair<int, int> Outcome(const std::function<int()>& call) {
    int result = 0;
    const int error = ErrnoOf([&] { result = call(); });
    return {result, error};
}

// GetObjectW fills a BITMAP or a DIBSECTION (top row first) as its size asks; less is refused.
TEST(Bitmaps, GetObjectWFillsWhatItsSizeAsksFor) {
    const Library q;
    BITMAP info{};
    DIBSECTION section{};
    const int32_t kInfo = sizeof info, kSection = sizeof section;
    HBITMAP bitmap = q.GetHBitmapW(u"abc", 1, 1, 0);
    // The size given, the buffer, the outcome.
    const std::tuple<int32_t, void*, std::pair<int, int>> calls[] = {
        {0, nullptr, {kInfo, kCallers}},
        {kInfo - 1, &info, {0, EINVAL}},
        {kInfo, &info, {kInfo, kCallers}},
        {kSection - 1, &section, {kInfo, kCallers}},
        {kSection, &section, {kSection, kCallers}}};
    for (const auto& [size, buffer, outcome] : calls) {
        EXPECT_EQ(Outcome([&] { return q.GetObjectW(bitmap, size, buffer); }), outcome) << size;
    }
    EXPECT_EQ(section.dsBmih.biHeight, -23);
    EXPECT_EQ(q.DeleteObject(bitmap), 1);
}

// A handle is released once, and never names a newer bitmap, even one in the released one's memory.
TEST(Bitmaps, AReleasedHandleStaysStale) {
    const Library q;
    BITMAP info{};
    HBITMAP bitmap = q.GetHBitmapW(u"abc", 1, 1, 0);
    EXPECT_EQ(Outcome([&] { return q.DeleteObject(bitmap); }), std::pair(1, kCallers));
    EXPECT_EQ(Outcome([&] { return q.DeleteObject(bitmap); }), std::pair(0, EINVAL));
    EXPECT_EQ(Outcome([&] { return q.GetObjectW(bitmap, sizeof info, &info); }),
              std::pair(0, EINVAL));
    HBITMAP newer = q.GetHBitmapW(u"abc", 1, 1, 0);
    EXPECT_EQ(Outcome([&] { return q.DeleteObject(bitmap); }), std::pair(0, EINVAL));
    EXPECT_EQ(Outcome([&] { return q.DeleteObject(newer); }), std::pair(1, kCallers));
}

// Null or empty arguments are refused with EINVAL, out-parameters untouched (foreign handles and
// null texts: the fuzz targets try them on every input).
TEST(Calls, MissingArgumentsAreRefused) {
    const Library q;
    uint32_t size = 0;
    unsigned char* block = nullptr;
    const std::pair refused(0, EINVAL);
    EXPECT_EQ(Outcome([&] { return q.GetPNGW(u"abc", 1, 1, 0, nullptr, &block), int(!!block); }),
              refused);
    EXPECT_EQ(Outcome([&] { return q.GetPNGA("abc", 1, 1, 0, &size, nullptr), int(size); }),
              refused);
    EXPECT_EQ(Outcome([&] { return q.GenerateBMPW(nullptr, u"abc", 1, 1, 0), 0; }), refused);
    EXPECT_EQ(Outcome([&] { return q.GenerateBMPA("", "abc", 1, 1, 0), 0; }), refused);
}

// The folder a file call runs in, and a W export on a name in it (0, for the sums below).
struct Caller {
    const Library& q;
    const TempFolder& folder;
    gid_t sharedGroup;  // the group of "shared.bmp", which the caller is a member of
    Bytes In(const Bytes& name) const { return folder / name; }
    int Made(const Bytes& name) const { return int(fs::exists(In(name))); }
    int W(const std::u16string& name) const {
        const auto generate = name.ends_with(u".bmp") ? q.GenerateBMPW : q.GeneratePNGW;
        return generate(Wide(folder.Path() + "/").append(name).c_str(), u"abc", 1, 1, 0), 0;
    }
};

struct FileCall {
    const char* name;
    bool needsRoot;  // a second user (54321, who plants links) or root's rights to set up
    int result, error;
    const char16_t* wide;  // the name W is called on; null: `run` calls
    int (*run)(const Caller&) = nullptr;
};

// A file export by a caller who is not root (as root, the child becomes user 12345 of group 4242):
// files it may not change stay, nothing appears where other users' links point, no temporary file.
class CallsDeathTest : public testing::TestWithParam<FileCall> {};

TEST_P(CallsDeathTest, File) {
    const FileCall& call = GetParam();
    const bool root = geteuid() == 0;
    if (call.needsRoot && !root) {
        GTEST_SKIP() << "needs root";
    }
    const Library q;
    const TempFolder folder;
    const Caller c{q, folder, root ? gid_t(4242) : getegid()};
    fs::create_directory(c.In("closed"));  // not the caller's
    WriteFile(c.In("shared.bmp"), "earlier");
    ASSERT_EQ(chmod(c.In("closed").c_str(), 0555) | chmod(c.In("shared.bmp").c_str(), 0664), 0);
    if (root) {
        // Sticky like /tmp; another user's links to the caller's file, a new name and a folder.
        fs::create_directory(c.In("sticky"));
        fs::permissions(c.In("sticky"), fs::perms(01777));
        ASSERT_EQ(chown(folder.Path().c_str(), 12345, 12345) |
                      chown(c.In("shared.bmp").c_str(), 23456, 4242),
                  0);
        for (const auto& [to, link] :
             {std::pair{"../victim.png", "planted.png"},
              std::pair{"../planted-new.png", "dangling.bmp"}, std::pair{"..", "folder"}}) {
            fs::create_symlink(to, c.In("sticky/") + link);
            ASSERT_EQ(lchown((c.In("sticky/") + link).c_str(), 54321, 54321), 0);
        }
    }
    const auto asCaller = [&] {
        testing::TestPartResultArray failures;
        const ChildChecks checks(&failures);
        const gid_t groups[] = {4242};
        ASSERT_TRUE(!root || (setgroups(1, groups) == 0 && setresgid(12345, 12345, 12345) == 0 &&
                              setresuid(12345, 12345, 12345) == 0));
        WriteFile(c.In("readonly"), "earlier");
        WriteFile(c.In("victim.png"), "earlier");
        ASSERT_EQ(chmod(c.In("readonly").c_str(), 0444), 0);
        const ScopedThreadLocale cp1251("ru_RU.CP1251");
        EXPECT_EQ(Outcome([&] { return call.wide ? c.W(call.wide) : call.run(c); }),
                  std::pair(call.result, call.error));
        EXPECT_EQ(
            ReadFile(c.In("readonly")).value_or("") + ReadFile(c.In("victim.png")).value_or(""),
            "earlierearlier");
        struct stat shared {};
        stat(c.In("shared.bmp").c_str(), &shared);
        EXPECT_TRUE(shared.st_gid == c.sharedGroup && (shared.st_mode & 07777) == 0664);
        const Names allowed = {"closed",     "low.bmp", "mine.png",   "readonly",
                               "shared.bmp", "sticky",  "victim.png", "кадр"};
        const Names entries = folder.Entries();
        EXPECT_TRUE(std::includes(allowed.begin(), allowed.end(), entries.begin(), entries.end()))
            << testing::PrintToString(entries);
        EndChild(failures);
    };
    EXPECT_EXIT(asCaller(), testing::ExitedWithCode(0), "");
}

// With 0-2 closed a file is made through a descriptor above 2; with no other free it is EMFILE.
int OnlyStandardDescriptors(const Caller& c) {
    const int stderrCopy = fcntl(2, F_DUPFD_CLOEXEC, 3);  // for the child's failures
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit onlyStandard{3, limit.rlim_max};
    close_range(0, 2, 0);
    c.W(u"low.bmp");
    setrlimit(RLIMIT_NOFILE, &onlyStandard);
    const int made = c.Made("low.bmp") + c.W(u"low.png");
    const int error = errno;
    setrlimit(RLIMIT_NOFILE, &limit);
    dup2(stderrCopy, 2);
    errno = error;
    return made;
}

// A names are bytes (the fuzz file target's seeds); links, modes, non-file names: see
// test_file_replacement. Planted links are refused dangling or not, at the end or mid-path.
// clang-format off
const FileCall kFileCalls[] = {
    {"UnpairedSurrogateInNameIsRefused", false, 0, EINVAL, u"a\xD800"},
    {"WideNameIsUtf8InAnyLocale", false, 1, kCallers, nullptr, [](const Caller& c) {
         return c.W(u"кадр") + c.Made("кадр"); }},
    {"ReadOnlyFileIsRefused", false, 0, EACCES, u"readonly"},
    {"ClosedFolderIsRefused", false, 0, EACCES, u"closed/new.png"},
    {"GroupMemberRewriteKeepsGroupAndMode", false, 0, kCallers, u"shared.bmp"},
    {"StandardDescriptorsAreNeverTheLibrarys", false, 1, EMFILE, nullptr, OnlyStandardDescriptors},
    {"PlantedLinkInStickyFolderIsRefused", true, 0, EACCES, u"sticky/planted.png"},
    {"PlantedLinkToAFolderIsRefused", true, 0, EACCES, u"sticky/folder/planted-new.bmp"},
    {"DanglingPlantedLinkIsRefused", true, 0, EACCES, u"sticky/dangling.bmp"},
    {"OwnLinkInStickyFolderIsFollowed", true, 1, kCallers, nullptr, [](const Caller& c) {
         fs::create_symlink("../mine.png", c.In("sticky/mine.png"));
         return c.W(u"sticky/mine.png") + c.Made("mine.png"); }},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Files, CallsDeathTest, testing::ValuesIn(kFileCalls),
                         [](const auto& info) { return std::string(info.param.name); });

// A process that loads `file` by its name in its folder (then moves to /), with XDG_RUNTIME_DIR
// `runtime` (null: unset), set up as `how` says, and runs `steps`, which may hold() the library
// until its input ends. Built once it holds or ended; Finish() ends the input and gives the exit
// status (0: `steps` passed); killed at the end of its scope unless it finished.
struct PeerSetup {
    uid_t user = 0;              // the process's user (and group); 0: as the test
    bool closedStreams = false;  // descriptors 0-2 closed: hold() holds only while they are
};

class Peer {
    // Its pipes' ends in the process: clear of the standard streams.
    static constexpr int kInput = 100, kOutput = 101;
    static inline bool closedStreams = false;  // in the process: as `how` asked
    pid_t pid_;
    int in_[2], out_[2];  // pipes to and from the process

  public:
    using Steps = std::function<bool(const Library&, void (*hold)())>;

    Peer(const Steps& steps, const std::string& file, const char* runtime,
         const PeerSetup& how = {}) {
        if (pipe(in_) != 0 || pipe(out_) != 0) {
            throw std::runtime_error("no pipe");
        }
        if ((pid_ = fork()) == 0) {
            dup2(in_[0], kInput);
            dup2(out_[1], kOutput);
            close_range(3, kInput - 1, 0);  // the other peers' input stays theirs alone
            close_range(kOutput + 1, ~0u, 0);
            if ((closedStreams = how.closedStreams)) {
                close_range(0, 2, 0);
            }
            runtime ? setenv("XDG_RUNTIME_DIR", runtime, 1) : unsetenv("XDG_RUNTIME_DIR");
            const bool ready = (how.user == 0 || (setgroups(0, nullptr) == 0 &&
                                                  setresgid(how.user, how.user, how.user) == 0 &&
                                                  setresuid(how.user, how.user, how.user) == 0)) &&
                               chdir(fs::path(file).parent_path().c_str()) == 0;
            bool passed = false;
            try {
                const Library library(ready ? "./" + fs::path(file).filename().string() : "/none");
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
        close(in_[0]);
        close(out_[1]);
        char said = 0;  // 'h' once it holds; none once it ended
        while (read(out_[0], &said, 1) < 0 && errno == EINTR) {
        }
    }
    ~Peer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
        }
        Finish();
        close(out_[0]);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int Finish() {
        close(std::exchange(in_[1], -1));
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

// Whether a process that loads `file` as Peer says sees these colours.
bool Sees(COLORREF foreground, COLORREF background, const std::string& file, const char* runtime,
          const PeerSetup& how = {}) {
    const auto colours = [=](const Library& q, void (*)()) {
        return q.GetForegroundColor() == foreground && q.GetBackgroundColor() == background;
    };
    return Peer(colours, file, runtime, how).Finish() == 0;
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

// A library copy this process does not load (others may), its identity and its object's name.
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

// Shared while one process holds the library file, also after the first of two (or a forked
// child's parent) leaves, gone with the last one, unloaded or killed. The object is the user's
// alone, in $XDG_RUNTIME_DIR if that is the user's alone, else in /dev/shm; it starts half made
// (empty, the umask's mode), as a process killed making it leaves it. Holders start with 0-2
// closed, which the library's descriptors (its object's, a forked child's) must never be: the
// program's own output or input would reach the object.
TEST(Colours, LiveExactlyWhileTheLibraryIsLoaded) {
    const TempFolder runtime, open;
    ASSERT_EQ(chmod(open.Path().c_str(), 0755), 0);
    const std::pair<const char*, std::string> places[] = {{runtime.Path().c_str(), runtime.Path()},
                                                          {nullptr, "/dev/shm"},
                                                          {open.Path().c_str(), "/dev/shm"}};
    for (const auto& [xdg, objectFolder] : places) {
        SCOPED_TRACE(objectFolder);
        const SharedCopy copy;
        const RemovedAtEnd object{objectFolder + copy.object};
        WriteFile(object.path, "");
        ASSERT_EQ(chmod(object.path.c_str(), 0400), 0);
        Peer first(SetAndHold(0x80000011u, 0x22u), copy.file, xdg, {.closedStreams = true});
        EXPECT_TRUE(Sees(0x80000011u, 0x22u, copy.file, xdg));
        EXPECT_EQ(fs::status(object.path).permissions(), fs::perms(0600));
        Peer second(SetAndHold(0x33, 0x44), copy.file, xdg);
        EXPECT_EQ(first.Finish(), 0);
        EXPECT_TRUE(Sees(0x33, 0x44, copy.file, xdg)) << "lost when the first process left";
        EXPECT_EQ(second.Finish(), 0);
        EXPECT_FALSE(fs::exists(object.path)) << "left by the last process";
        { const Peer killed(SetAndHold(0x55, 0x66), copy.file, xdg, {.closedStreams = true}); }
        EXPECT_TRUE(fs::exists(object.path)) << "the killed process did not hold";
        EXPECT_TRUE(Sees(kBlack, kWhite, copy.file, xdg)) << "a killed process's colours";
        EXPECT_FALSE(fs::exists(object.path)) << "left after a killed process";
        Peer parent(SetAndHold(0x77, 0x88, true), copy.file, xdg, {.closedStreams = true});
        EXPECT_EQ(parent.Wait(), 0);
        EXPECT_TRUE(Sees(0x77, 0x88, copy.file, xdg)) << "lost when the parent of a holder left";
        parent.Finish();  // its child sees the end of its input and ends
        for (int wait = 0; wait < 500 && fs::exists(object.path); ++wait) {
            usleep(10000);
        }
        EXPECT_FALSE(fs::exists(object.path)) << "left by a forked child";
    }
}

// Another user may take the object's name in /dev/shm first: their own file, or a hard link to a
// world-writable file of the user. Neither is used or changed; colours stay each process's own.
TEST(Colours, AnotherUsersObjectUnderTheNameIsNeverUsed) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as two other users";
    }
    constexpr uid_t kUser = 12345;
    // What the other user runs: $1 is the object's name, $2 the user's file.
    const std::pair<const char*, const char*> plants[] = {
        {"another user's file", "printf squatter >\"$1\" && chmod 666 \"$1\""},
        {"a hard link to the user's file", "ln \"$2\" \"$1\""}};
    for (const auto& [what, plant] : plants) {
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
        // Colours far from the defaults, if read; nor may content, mode or links change.
        const auto state = [&] {
            struct stat status {};
            stat(name.path.c_str(), &status);
            return std::tuple(ReadFile(name.path), status.st_ino, status.st_mode, status.st_nlink);
        };
        const auto planted = state();
        Peer holder(SetAndHold(0x11, 0x22), copy.file, nullptr, {.user = kUser});
        EXPECT_TRUE(Sees(kBlack, kWhite, copy.file, nullptr, {.user = kUser}));
        EXPECT_EQ(holder.Finish(), 0);
        EXPECT_EQ(state(), planted);
    }
}

// Unheld objects, of a killed process or a since replaced library file, go at the next load, from
// the loader's folder and /dev/shm (another session's); held ones and other users' stay.
TEST(Colours, UnheldObjectsOfTheUserGoAtLoad) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    const TempFolder runtime;
    const char* xdg = runtime.Path().c_str();
    const SharedCopy replaced, inShm, others, held, current;
    // Two objects that go, then two that stay.
    const RemovedAtEnd objects[] = {
        {runtime.Path() + replaced.object},
        {"/dev/shm" + inShm.object},
        {runtime.Path() + held.object},
        {"/dev/shm" + qrimage::ColourObjectName(54321, others.identity)}};
    const Peer holder(SetAndHold(0x33, 0x44), held.file, xdg);
    {  // killed at the end of the scope, after every load: each load removes what nobody holds
        const Peer replacedHolder(SetAndHold(0x11, 0x22), replaced.file, xdg),
            shmHolder(SetAndHold(0x11, 0x22), inShm.file, nullptr),
            othersHolder(SetAndHold(0x11, 0x22), others.file, nullptr, {.user = 54321});
    }
    fs::remove(replaced.file);
    for (const RemovedAtEnd& object : objects) {
        ASSERT_TRUE(fs::exists(object.path)) << object.path;
    }
    EXPECT_TRUE(Sees(kBlack, kWhite, current.file, xdg));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fs::exists(objects[i].path), i >= 2) << objects[i].path;
    }
}

}  // namespace
