// Fuzz target: GenerateBMPW/A and GeneratePNGW/A into a private folder, to a new file, an existing
// one, a link to one, a directory, a missing folder or a null name, at times under a file size
// limit. The folder keeps what it held but for a whole file at the target (or behind its link) that
// reads back as the text; or nothing is made, and errno gives the reason.
// Input: the text bytes; from the end the arguments (ConsumeCallArguments), a selector, the name.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
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
constexpr int64_t kOrdinaryBmpBytes = int64_t(1) << 20;  // 512 x 512 pixels

std::string folder;  // private, under $TMPDIR; removed when the process exits

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);  // an empty name opens nothing
    return in ? std::optional(std::string(std::istreambuf_iterator<char>(in), {})) : std::nullopt;
}

void WriteEarlierFile(const std::string& path) {
    FUZZ_REQUIRE(std::ofstream(path, std::ios::binary) << kEarlier &&
                 chmod(path.c_str(), 0640) == 0);
}

// Every entry of the folder with its lstat mode.
std::map<std::string, mode_t> ListFolder() {
    std::map<std::string, mode_t> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        struct stat status {};
        FUZZ_REQUIRE(lstat(entry.path().c_str(), &status) == 0);
        entries.emplace(entry.path().filename(), status.st_mode);
    }
    return entries;
}

// A name, W and A (the one on disk): "q" and up to 12 of a small alphabet, Cyrillic ya, or one with
// no form on disk: an unpaired surrogate (A: a byte that is no UTF-8, but a valid name).
std::pair<std::u16string, std::string> ConsumeFileName(FuzzedDataProvider& input) {
    static constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789-._";
    std::pair<std::u16string, std::string> name{u"q", "q"};
    for (std::size_t i = input.ConsumeIntegralInRange<std::size_t>(0, 12); i > 0; --i) {
        const std::size_t pick = input.ConsumeIntegralInRange<std::size_t>(0, kAlphabet.size() + 1);
        const bool ya = pick == kAlphabet.size(), other = pick > kAlphabet.size();
        name.first += ya ? u'\u044F' : other ? u'\xD800' : char16_t(kAlphabet[pick]);
        name.second += ya ? "\xD1\x8F" : other ? "\x98" : kAlphabet.substr(pick, 1);
    }
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitialiseTarget();
    folder = std::filesystem::temp_directory_path() / "qrimage-fuzz.XXXXXX";
    FUZZ_REQUIRE(mkdtemp(folder.data()) != nullptr && std::atexit(RemoveFolder) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Depth depth(data, size);
    FuzzedDataProvider input(data, size);
    const CallArguments a = ConsumeCallArguments(input);
    const uint8_t selector = input.ConsumeIntegral<uint8_t>();
    const auto which = Export(selector & 3u);
    const auto target = Target(((selector >> 2) & 7u) % 6);
    const bool relative = (selector & 0x20u) != 0, isWide = which % 2 == 0, bmp = which < PngW;
    const rlim_t fileSizeLimit = kFileSizeLimits[selector >> 6];
    const auto [wide, narrow] = ConsumeFileName(input);
    const bool convertible = !isWide || wide.find(u'\xD800') == std::u16string::npos;
    const Texts t = ConsumeTexts(input, a);
    const std::string& text = isWide ? t.wideUtf8 : t.narrowUtf8;
    // A BMP file of megabytes costs more than all else an input does: one that may be larger than
    // kOrdinaryBmpBytes is written on a share of the inputs that falls as its largest size grows.
    const int64_t largest = ValidArguments(a) ? PixelBytes(177, a) : 0;
    if (!WorthCalling(a, text.size(),
                      bmp && largest > kOrdinaryBmpBytes &&
                              !depth.FullBytes(largest / (kOrdinaryBmpBytes / kSmallPixelBytes))
                          ? kOrdinaryBmpBytes
                          : kBudgetPixelBytes)) {
        return 0;
    }

    // The target, and what the folder must hold after a refusal; relative names are in the folder.
    const std::string path = folder + "/" + narrow;
    if (target == ExistingFile) {
        WriteEarlierFile(path);
    } else if (target == SymbolicLink) {
        WriteEarlierFile(folder + "/" + kLinked);
        FUZZ_REQUIRE(symlink(kLinked, path.c_str()) == 0);
    } else if (target == Directory) {
        FUZZ_REQUIRE(mkdir(path.c_str(), 0755) == 0);
    }
    auto entries = ListFolder();
    const std::string prefix =
        (relative ? "" : folder + "/") + (target == MissingFolder ? "missing/" : "");
    const std::u16string wideName = std::u16string(prefix.begin(), prefix.end()) + wide;
    const std::string narrowName = prefix + narrow;

    char previousFolder[4096];
    FUZZ_REQUIRE(getcwd(previousFolder, sizeof previousFolder) && chdir(folder.c_str()) == 0);
    rlimit previousLimit{};
    FUZZ_REQUIRE(getrlimit(RLIMIT_FSIZE, &previousLimit) == 0);
    const rlimit limit{std::min(fileSizeLimit, previousLimit.rlim_max), previousLimit.rlim_max};
    // Over the limit a write fails (EFBIG) instead of raising SIGXFSZ, which would end the run.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    FUZZ_REQUIRE(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    errno = kUntouched;
    if (isWide) {
        (bmp ? GenerateBMPW : GeneratePNGW)(target == NullName ? nullptr : wideName.c_str(),
                                            t.wide.c_str(), a.margin, a.moduleSize, a.level);
    } else {
        (bmp ? GenerateBMPA : GeneratePNGA)(target == NullName ? nullptr : narrowName.c_str(),
                                            t.bytes.c_str(), a.margin, a.moduleSize, a.level);
    }
    const int error = errno;
    FUZZ_REQUIRE(setrlimit(RLIMIT_FSIZE, &previousLimit) == 0 && chdir(previousFolder) == 0);
    std::signal(SIGXFSZ, previousHandler);

    // Only a name the call can use may get its file.
    const bool mayWrite =
        convertible && (target == NewFile || target == ExistingFile || target == SymbolicLink);
    const std::optional<std::string> file =
        ReadFile(!mayWrite                ? std::string()
                 : target == SymbolicLink ? folder + "/" + kLinked
                                          : path);
    const bool produced = file && file != kEarlier;
    if (produced && target == NewFile) {
        entries.emplace(narrow, S_IFREG | 0644);
    }
    FUZZ_REQUIRE(ListFolder() == entries);
    if (produced) {
        CheckPicture(
            ReadBack(
                [&](bool pixels) { return bmp ? FromBmp(*file, pixels) : FromPng(*file, pixels); },
                depth),
            a, text, depth);
    }
    CheckErrno(produced, error, a, text.size(),
               {{target == NullName || !convertible, EINVAL},
                {target == MissingFolder, ENOENT},
                {target == Directory, EISDIR},
                {fileSizeLimit != RLIM_INFINITY, EFBIG}});
    for (const auto& [entry, mode] : entries) {
        std::filesystem::remove_all(folder + "/" + entry);
    }
    return 0;
}
