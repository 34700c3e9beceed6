// Fuzz target: the file exports GenerateBMPW/A and GeneratePNGW/A writing
// into a private folder, with text, arguments, colours, file name, a target
// that is new, an existing file, a symbolic link to a file, a directory, in a
// missing folder or a null name, and sometimes a file size limit that makes
// the writes fail. Afterwards the folder must hold exactly what the call may
// leave (never a temporary file): the earlier state, or one complete file
// (the target, or the file its link points to) whose pixels equal the bitmap
// handle's of the same call, a PNG file equal to the GetPNGW block.
//
// Input: the text bytes first; from the end the arguments (see
// ConsumeCallArguments), then a selector byte and the file name.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "fuzz_check.h"

using namespace qrfuzz;

namespace {

enum Export { BmpW, BmpA, PngW, PngA };
enum Target { NewFile, ExistingFile, SymbolicLink, MissingFolder, Directory, NullName };
constexpr const char* kEarlier = "an earlier file, to be replaced whole or kept whole\n";
constexpr const char* kLinked = "P-linked";
constexpr rlim_t kFileSizeLimits[] = {RLIM_INFINITY, 100, 1000, 20000};

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file ? std::optional(std::string(std::istreambuf_iterator<char>(file), {}))
                : std::nullopt;
}

void WriteEarlierFile(const std::string& path) {
    FUZZ_REQUIRE(bool(std::ofstream(path, std::ios::binary) << kEarlier));
    FUZZ_REQUIRE(chmod(path.c_str(), 0640) == 0);
}

// Every entry of the folder with its lstat mode.
std::map<std::string, mode_t> ListFolder(const std::string& folder) {
    std::map<std::string, mode_t> entries;
    DIR* directory = opendir(folder.c_str());
    FUZZ_REQUIRE(directory != nullptr);
    while (const dirent* entry = readdir(directory)) {
        struct stat status {};
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && lstat((folder + "/" + name).c_str(), &status) == 0) {
            entries.emplace(name, status.st_mode);
        }
    }
    closedir(directory);
    return entries;
}

// A file name from a small alphabet, Cyrillic ya, and a UTF-16 unit with no
// UTF-8 form (A: a byte that is no UTF-8); `onDisk` is the name as the file
// system gets it: A names are bytes, W names UTF-8.
struct FileName {
    std::u16string wide;
    std::string narrow, onDisk;
    bool convertible = true;  // W: no unpaired surrogate
};

FileName ConsumeFileName(FuzzedDataProvider& input, bool isWide) {
    static constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789-._";
    FileName name{u"q", "q", ""};
    for (std::size_t i = input.ConsumeIntegralInRange<std::size_t>(0, 12); i > 0; --i) {
        const std::size_t pick = input.ConsumeIntegralInRange<std::size_t>(0, kAlphabet.size() + 1);
        const bool ya = pick == kAlphabet.size();
        name.wide += pick < kAlphabet.size() ? char16_t(kAlphabet[pick])
                     : ya                    ? u'\u044F'
                                             : u'\xD800';
        name.narrow += pick < kAlphabet.size() ? std::string(1, kAlphabet[pick])
                       : ya                    ? "\xD1\x8F"
                                               : "\x98";
        name.convertible &= !isWide || pick <= kAlphabet.size();
    }
    name.onDisk = isWide ? Utf8Of(name.wide) : name.narrow;
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitialiseTarget();
    ScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const CallArguments a = ConsumeCallArguments(input);
    const uint8_t selector = input.ConsumeIntegral<uint8_t>();
    const auto which = Export(selector & 3u);
    const auto target = Target(((selector >> 2) & 7u) % 6);
    const bool relative = (selector & 0x20u) != 0, isWide = which == BmpW || which == PngW;
    const rlim_t fileSizeLimit = kFileSizeLimits[selector >> 6];
    const FileName name = ConsumeFileName(input, isWide);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const Colours colours = ApplyColours(a.colours);
    const LocaleScope locale(a.locale);
    const std::string& folder = ScratchFolder();
    const int32_t m = a.margin, s = a.moduleSize, l = a.level;

    const std::u16string wideText = a.wideAsPairs ? UnitsOfPairs(text) : Widen(text, Utf8Locale());
    bool exact = true;
    const std::string utf8 = isWide ? Utf8Of(wideText) : Utf8Of(Widen(text, a.locale, &exact));
    const std::size_t textBytes = exact ? utf8.size() : 3 * std::strlen(text.c_str());
    if (!WorthCalling(a, textBytes)) {
        return 0;
    }

    // The target before the call. Relative names are resolved against the
    // scratch folder, the current one during the call.
    const std::string prefix =
        (relative ? "" : folder + "/") + (target == MissingFolder ? "missing/" : "");
    const std::string path = folder + "/" + name.onDisk;
    switch (target) {
        case ExistingFile:
            WriteEarlierFile(path);
            break;
        case SymbolicLink:
            WriteEarlierFile(folder + "/" + kLinked);
            FUZZ_REQUIRE(symlink(kLinked, path.c_str()) == 0);
            break;
        case Directory:
            FUZZ_REQUIRE(mkdir(path.c_str(), 0755) == 0);
            break;
        default:
            break;
    }
    const std::u16string wideName = std::u16string(prefix.begin(), prefix.end()) + name.wide;
    const std::string narrowName = prefix + name.narrow;
    const char16_t* wideFile = target == NullName ? nullptr : wideName.c_str();
    const char* narrowFile = target == NullName ? nullptr : narrowName.c_str();

    char previousFolder[4096];
    FUZZ_REQUIRE(getcwd(previousFolder, sizeof previousFolder) && chdir(folder.c_str()) == 0);
    rlimit limit{};
    FUZZ_REQUIRE(getrlimit(RLIMIT_FSIZE, &limit) == 0);
    const rlimit previousLimit = limit;
    limit.rlim_cur = std::min(fileSizeLimit, limit.rlim_max);
    // Over the limit a write fails with EFBIG, as on a full disk, instead of
    // raising SIGXFSZ (libFuzzer's handler would end the run).
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    FUZZ_REQUIRE(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    errno = kUntouched;
    switch (which) {
        case BmpW:
            GenerateBMPW(wideFile, wideText.c_str(), m, s, l);
            break;
        case BmpA:
            GenerateBMPA(narrowFile, text.c_str(), m, s, l);
            break;
        case PngW:
            GeneratePNGW(wideFile, wideText.c_str(), m, s, l);
            break;
        case PngA:
            GeneratePNGA(narrowFile, text.c_str(), m, s, l);
            break;
    }
    const int error = errno;
    FUZZ_REQUIRE(setrlimit(RLIMIT_FSIZE, &previousLimit) == 0 && chdir(previousFolder) == 0);
    std::signal(SIGXFSZ, previousHandler);

    // The folder afterwards: the target (or the file behind its link), and
    // nothing else.
    const auto entries = ListFolder(folder);
    using Entries = std::map<std::string, mode_t>;
    const std::string written = target == SymbolicLink ? folder + "/" + kLinked : path;
    const bool mayWrite = target == NewFile || target == ExistingFile || target == SymbolicLink;
    const std::optional<std::string> file = mayWrite ? ReadFile(written) : std::nullopt;
    const bool produced = file && file != kEarlier;
    switch (target) {
        case NewFile:
            FUZZ_REQUIRE(entries ==
                         (produced ? Entries{{name.onDisk, S_IFREG | 0644}} : Entries{}));
            break;
        case ExistingFile:
            FUZZ_REQUIRE(entries == (Entries{{name.onDisk, S_IFREG | 0640}}));
            break;
        case SymbolicLink:
            FUZZ_REQUIRE(entries ==
                         (Entries{{name.onDisk, S_IFLNK | 0777}, {kLinked, S_IFREG | 0640}}));
            break;
        case Directory:
            FUZZ_REQUIRE(entries == (Entries{{name.onDisk, S_IFDIR | 0755}}) &&
                         ListFolder(path).empty());
            break;
        default:
            FUZZ_REQUIRE(entries.empty());
    }

    if (produced) {
        // The file shows the bitmap of the same call, and that bitmap's text.
        const Picture bitmap = TakeBitmap(
            isWide ? GetHBitmapW(wideText.c_str(), m, s, l) : GetHBitmapA(text.c_str(), m, s, l),
            0);
        const bool bmp = which == BmpW || which == BmpA;
        FUZZ_REQUIRE((bmp ? DecodeBmp(*file) : DecodePng(*file, colours)) == bitmap);
        CheckPicture(bitmap, a, colours, exact ? std::optional(utf8) : std::nullopt);
        if (which == PngW) {
            uint32_t length = 0;
            unsigned char* block = nullptr;
            GetPNGW(wideText.c_str(), m, s, l, &length, &block);
            FUZZ_REQUIRE(block != nullptr &&
                         std::string_view(reinterpret_cast<char*>(block), length) == *file);
            DestroyBuffer(block);
        }
    }
    // errno: untouched, or the reason of something wrong with the call.
    std::vector<int> reasons = Reasons(a, textBytes);
    const std::pair<bool, int> targetReasons[] = {{target == NullName || !name.convertible, EINVAL},
                                                  {target == MissingFolder, ENOENT},
                                                  {target == Directory, EISDIR},
                                                  {fileSizeLimit != RLIM_INFINITY, EFBIG}};
    for (const auto& [holds, reason] : targetReasons) {
        if (holds) {
            reasons.push_back(reason);
        }
    }
    CheckErrno(produced, error, reasons);
    for (const auto& [entry, mode] : entries) {
        const std::string entryPath = folder + "/" + entry;
        FUZZ_REQUIRE((S_ISDIR(mode) ? rmdir(entryPath.c_str()) : unlink(entryPath.c_str())) == 0);
    }
    return 0;
}
