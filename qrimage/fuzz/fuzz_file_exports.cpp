// Fuzz target: the file exports GenerateBMPW/A and GeneratePNGW/A writing
// into a private folder, with text, arguments, colours and file name from the
// input, and a target that is new, an existing file, a symbolic link to a
// file, a directory, in a missing folder, or a null name. After every call
// the folder must hold exactly what the call may leave: nothing, or one
// complete file that matches the model (the target, or the file its link
// points to), an existing file either replaced or byte for byte as before,
// its permission bits kept, and never a temporary file.
//
// Input: the text bytes first; from the end the arguments (see
// ConsumeCallArguments), then a selector byte and the file name.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>
#include <qrimage.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "fuzz_calls.h"
#include "fuzz_model.h"
#include "fuzz_support.h"

using namespace qrfuzz;

namespace {

enum class Export { BmpW, BmpA, PngW, PngA };
enum class Target { NewFile, ExistingFile, SymbolicLink, MissingFolder, Directory, NullName };
constexpr int kTargetCount = 6;
constexpr const char* kExportNames[] = {"GenerateBMPW", "GenerateBMPA", "GeneratePNGW",
                                        "GeneratePNGA"};

constexpr const char* kEarlierContent = "an earlier file, to be replaced whole or kept whole\n";
constexpr mode_t kEarlierMode = 0640;
constexpr mode_t kNewFileMode = 0644;  // 0666 less the umask of 022
constexpr const char* kLinkedFile = "P-linked";

bool IsWide(Export e) {
    return e == Export::BmpW || e == Export::PngW;
}
bool IsBmp(Export e) {
    return e == Export::BmpW || e == Export::BmpA;
}

// A file name in both flavours and as it must appear on disk. Built from a
// small alphabet plus characters that need conversion, so that the name on
// disk is known in every character set.
struct FileName {
    std::u16string wide;
    std::string narrow;
};

FileName ConsumeFileName(FuzzedDataProvider& input, Charset charset) {
    static constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789-._";
    FileName name{u"q", "q"};
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t pick = input.ConsumeIntegralInRange<std::size_t>(0, kAlphabet.size() + 1);
        if (pick < kAlphabet.size()) {
            name.wide += char16_t(kAlphabet[pick]);
            name.narrow += kAlphabet[pick];
        } else if (pick == kAlphabet.size()) {
            // Cyrillic ya: encoded per character set; plain C cannot hold it.
            name.wide += u'\u044F';
            name.narrow += charset == Charset::Utf8 ? "\xD1\x8F" : "\xFF";
        } else {
            // A byte that is no character of the locale: A names are bytes.
            name.wide += u'\u0436';
            name.narrow += "\x98";
        }
    }
    return name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    FUZZ_REQUIRE(file.good());
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content, mode_t mode) {
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << content;
        FUZZ_REQUIRE(file.good());
    }
    FUZZ_REQUIRE(chmod(path.c_str(), mode) == 0);
}

// Every entry of the folder (not recursive) with its lstat.
std::map<std::string, struct stat> ListFolder(const std::string& folder) {
    std::map<std::string, struct stat> entries;
    DIR* directory = opendir(folder.c_str());
    FUZZ_REQUIRE(directory != nullptr);
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat status {};
        FUZZ_REQUIRE(lstat((folder + "/" + name).c_str(), &status) == 0);
        entries.emplace(name, status);
    }
    closedir(directory);
    return entries;
}

void EmptyFolder(const std::string& folder) {
    for (const auto& [name, status] : ListFolder(folder)) {
        const std::string path = folder + "/" + name;
        FUZZ_REQUIRE((S_ISDIR(status.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str())) == 0);
    }
}

// Checks a regular file the call may have written: either kept as it was or
// a complete picture matching the model. Returns whether it was replaced.
bool CheckWrittenFile(const std::string& path, const struct stat& status, bool existedBefore,
                      Export which, const Model& model, const Colours& colours) {
    FUZZ_REQUIRE(S_ISREG(status.st_mode));
    const std::string content = ReadFile(path);
    const bool replaced = !existedBefore || content != kEarlierContent;
    FUZZ_REQUIRE((status.st_mode & 07777) == (existedBefore ? kEarlierMode : kNewFileMode));
    if (!replaced) {
        FUZZ_REQUIRE(model.kind != Model::Kind::Picture);
        return false;
    }
    FUZZ_REQUIRE(model.kind != Model::Kind::Nothing);
    if (IsBmp(which)) {
        CheckBmpFile(content, model, colours);
    } else {
        CheckPngFile(content, model, colours);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitialiseTarget();
    const std::string& folder = ScratchFolder();
    for (const char c : folder) {
        FUZZ_REQUIRE(c > 0);  // the target paths are built from it in both flavours
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const CallArguments arguments = ConsumeCallArguments(input);
    const uint8_t selector = input.ConsumeIntegral<uint8_t>();
    const Export which = Export(selector & 3u);
    const Target target = Target(((selector >> 2) & 7u) % kTargetCount);
    const bool relative = (selector & 0x20u) != 0;
    const FileName name = ConsumeFileName(input, arguments.charset);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const Colours colours = ApplyColours(arguments.colours);
    const CharsetScope charset(arguments.charset);
    const std::string& folder = ScratchFolder();

    // What the text makes, before the target is looked at.
    const std::u16string wideText = Utf16OfBytes(text, arguments.wideAsPairs);
    Model model;
    if (IsWide(which)) {
        model =
            Predict(Utf8OfUtf16(wideText), arguments.level, arguments.margin, arguments.moduleSize);
    } else {
        model = Predict(Utf8OfNarrow(text, arguments.charset), arguments.level, arguments.margin,
                        arguments.moduleSize, 3 * std::strlen(text.c_str()));
    }
    TraceCall(kExportNames[int(which)], arguments, model);
    if (!WithinBudget(model)) {
        return 0;
    }

    // The target as it is before the call.
    const std::string onDisk = IsWide(which) ? Utf8OfUtf16(name.wide) : name.narrow;
    // Relative names work because the call runs with `folder` as the current one.
    const std::string prefix = relative ? "" : folder + "/";
    const std::string subfolder = target == Target::MissingFolder ? "missing/" : "";
    const std::u16string widePrefix(prefix.begin(), prefix.end());  // the folder path is ASCII
    const std::u16string wideName =
        widePrefix + std::u16string(subfolder.begin(), subfolder.end()) + name.wide;
    const std::string narrowName = prefix + subfolder + name.narrow;
    const std::string diskPath = folder + "/" + onDisk;
    switch (target) {
        case Target::ExistingFile:
            WriteFile(diskPath, kEarlierContent, kEarlierMode);
            break;
        case Target::SymbolicLink:
            WriteFile(folder + "/" + kLinkedFile, kEarlierContent, kEarlierMode);
            FUZZ_REQUIRE(symlink(kLinkedFile, diskPath.c_str()) == 0);
            break;
        case Target::Directory:
            FUZZ_REQUIRE(mkdir(diskPath.c_str(), 0755) == 0);
            break;
        case Target::NewFile:
        case Target::MissingFolder:
        case Target::NullName:
            break;
    }

    const bool nullName = target == Target::NullName;
    const char16_t* wideFile = nullName ? nullptr : wideName.c_str();
    const char* narrowFile = nullName ? nullptr : narrowName.c_str();
    const int32_t margin = arguments.margin;
    const int32_t moduleSize = arguments.moduleSize;
    const int32_t level = arguments.level;
    // Relative names are resolved against the current folder: the scratch
    // folder for the call only, so that libFuzzer's own relative paths hold.
    char previousFolder[4096];
    FUZZ_REQUIRE(getcwd(previousFolder, sizeof previousFolder) != nullptr);
    FUZZ_REQUIRE(chdir(folder.c_str()) == 0);
    switch (which) {
        case Export::BmpW:
            GenerateBMPW(wideFile, wideText.c_str(), margin, moduleSize, level);
            break;
        case Export::BmpA:
            GenerateBMPA(narrowFile, text.c_str(), margin, moduleSize, level);
            break;
        case Export::PngW:
            GeneratePNGW(wideFile, wideText.c_str(), margin, moduleSize, level);
            break;
        case Export::PngA:
            GeneratePNGA(narrowFile, text.c_str(), margin, moduleSize, level);
            break;
    }
    FUZZ_REQUIRE(chdir(previousFolder) == 0);

    // The folder afterwards: exactly what this call may leave, nothing else.
    const auto entries = ListFolder(folder);
    std::string listing = "export " + std::to_string(int(which)) + ", target " +
                          std::to_string(int(target)) + ", model " +
                          std::to_string(int(model.kind)) + "; folder holds:";
    for (const auto& [entry, status] : entries) {
        listing += " '" + entry + "' (mode " + std::to_string(status.st_mode) + ", " +
                   std::to_string(status.st_size) + " bytes)";
    }
    SetFailureContext(listing);
    const auto find = [&](const std::string& entry) {
        const auto found = entries.find(entry);
        FUZZ_REQUIRE(found != entries.end());
        return found->second;
    };
    switch (target) {
        case Target::NewFile: {
            FUZZ_REQUIRE(entries.size() <= 1);
            if (entries.empty()) {
                FUZZ_REQUIRE(model.kind != Model::Kind::Picture);
            } else {
                CheckWrittenFile(diskPath, find(onDisk), false, which, model, colours);
                if (which == Export::PngW) {
                    // The block and the file of equal arguments hold equal bytes.
                    uint32_t blockSize = 0;
                    unsigned char* block = nullptr;
                    GetPNGW(wideText.c_str(), margin, moduleSize, level, &blockSize, &block);
                    FUZZ_REQUIRE(block != nullptr);
                    FUZZ_REQUIRE(std::string_view(reinterpret_cast<char*>(block), blockSize) ==
                                 ReadFile(diskPath));
                    DestroyBuffer(block);
                }
            }
            break;
        }
        case Target::ExistingFile:
            FUZZ_REQUIRE(entries.size() == 1);
            CheckWrittenFile(diskPath, find(onDisk), true, which, model, colours);
            break;
        case Target::SymbolicLink: {
            FUZZ_REQUIRE(entries.size() == 2);
            FUZZ_REQUIRE(S_ISLNK(find(onDisk).st_mode));
            char link[64] = {};
            FUZZ_REQUIRE(readlink(diskPath.c_str(), link, sizeof link - 1) > 0);
            FUZZ_REQUIRE(std::string(link) == kLinkedFile);
            CheckWrittenFile(folder + "/" + kLinkedFile, find(kLinkedFile), true, which, model,
                             colours);
            break;
        }
        case Target::Directory:
            FUZZ_REQUIRE(entries.size() == 1 && S_ISDIR(find(onDisk).st_mode));
            FUZZ_REQUIRE(ListFolder(diskPath).empty());
            break;
        case Target::MissingFolder:
        case Target::NullName:
            FUZZ_REQUIRE(entries.empty());
            break;
    }
    EmptyFolder(folder);
    SetFailureContext("");
    return 0;
}
