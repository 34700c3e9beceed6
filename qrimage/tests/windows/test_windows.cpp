// The DLL's Windows seams under Wine: GDI bitmap sections, the thread's last error, file names and
// replacement, the ANSI code page, colours shared with another process while the DLL is loaded.
// What the Linux library shares with it is compared byte for byte by compare_corpus.sh.
#include <windows.h>
// after windows.h: the header must take the platform's types
#include <gtest/gtest.h>
#include <qrimage.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "left_out_where_emulated.h"

namespace {

using Bytes = std::string;
namespace fs = std::filesystem;

// The folder of this program, where the DLL and the caller program lie.
std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return file.substr(0, file.find_last_of(L'\\') + 1);
}

// A new empty folder under %TEMP%, removed with its files at the end.
struct TempFolder {
    fs::path path;
    TempFolder() {
        for (unsigned n = GetTickCount();; ++n) {
            path = fs::temp_directory_path() / ("qrimage-test-" + std::to_string(n));
            if (fs::create_directory(path)) {
                break;
            }
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::wstring operator/(const std::wstring& name) const { return (path / name).wstring(); }
    std::set<std::wstring> Entries() const {
        std::set<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(path)) {
            names.insert(entry.path().filename().wstring());
        }
        return names;
    }
};

Bytes FileBytes(const std::wstring& name) {
    std::ifstream in(fs::path(name), std::ios::binary);
    return in ? Bytes(std::istreambuf_iterator<char>(in), {}) : "missing";
}

// A GDI bitmap section as drawn, top row first (GetDIBits flips bottom-up), 32 bpp; then deleted.
Bytes Pixels(HBITMAP bitmap) {
    DIBSECTION section{};
    const BITMAP& b = section.dsBm;
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof section, &section) != sizeof section ||
        b.bmBitsPixel != 32 || b.bmWidth != b.bmHeight) {
        return "not a 32-bit square section";
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, b.bmWidth, -b.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    Bytes bytes(4u * b.bmWidth * b.bmHeight, '\0');
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, b.bmHeight, bytes.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == b.bmHeight && DeleteObject(bitmap) ? bytes : "not read or not released";
}

// A section holds the BMP file's rows top row first (that BMP is Linux's: compare_corpus.sh).
TEST(Bitmap, AGdiSectionHoldsTheBmpFilesRowsTopRowFirst) {
    TempFolder folder;
    GenerateBMPW((folder / L"q.bmp").c_str(), L"abc", 1, 5, 2);
    const Bytes bmp = FileBytes(folder / L"q.bmp");
    Bytes rows;  // 115 rows of 460 bytes after the 54-byte header, bottom row first
    for (std::size_t row = 115; row-- > 0;) {
        rows += bmp.substr(54 + row * 460, 460);
    }
    EXPECT_EQ(Pixels(GetHBitmapW(L"abc", 1, 5, 2)), rows);
    EXPECT_EQ(Pixels(GetHBitmapA("abc", 1, 5, 2)), rows);
}

// Failing calls leave their reason as the last error; succeeding ones keep the caller's value.
struct FailureScene {
    static constexpr DWORD kCallers = 0xC0FFEEu;
    struct Row {
        const char* name;
        std::function<bool()> call;  // true when the call returned what it should
        DWORD error;
    };
    TempFolder folder;
    const std::wstring leaf = L"Фото \U0001F642.bmp", name = folder / leaf;
    const std::wstring kept = folder / L"kept.bmp";
    const std::wstring tooLong = std::wstring(1274, L'a');  // 1273 fit at level H
    HANDLE locked = INVALID_HANDLE_VALUE;

    FailureScene() {
        std::ofstream(fs::path(name), std::ios::binary) << Bytes(100000, 'x');
        std::ofstream(fs::path(kept), std::ios::binary) << "old";
        SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY);
        CreateDirectoryW((folder / L"sub").c_str(), nullptr);
        // Held open without sharing: the written temporary file cannot replace it.
        locked = CreateFileW((folder / L"locked.bmp").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~FailureScene() {
        CloseHandle(locked);
        SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    std::vector<Row> Rows() const {
        const auto bmp = [](const std::wstring& target) {
            return [=] { return GenerateBMPW(target.c_str(), L"abc", 1, 5, 2), true; };
        };
        return {
            {"NullWideText", [] { return GetHBitmapW(nullptr, 1, 5, 2) == nullptr; },
             ERROR_INVALID_PARAMETER},
            {"NullAnsiText", [] { return GetHBitmapA(nullptr, 1, 5, 2) == nullptr; },
             ERROR_INVALID_PARAMETER},
            {"NullAnsiName", [] { return GenerateBMPA(nullptr, "abc", 1, 5, 2), true; },
             ERROR_INVALID_PARAMETER},
            {"HugePicture", [] { return GetHBitmapW(L"abc", 40000, 40000, 2) == nullptr; },
             ERROR_FILE_TOO_LARGE},
            {"TextTooLong",
             [this] { return GeneratePNGW(name.c_str(), tooLong.c_str(), 0, 1, 3), true; },
             ERROR_INSUFFICIENT_BUFFER},
            {"ReadOnlyFile", bmp(kept), ERROR_ACCESS_DENIED},
            {"Folder", bmp(folder / L"sub"), ERROR_ACCESS_DENIED},
            {"MissingFolder", bmp(folder / L"missing\\x.bmp"), ERROR_PATH_NOT_FOUND},
            {"LockedFile", bmp(folder / L"locked.bmp"), ERROR_SHARING_VIOLATION},
            {"ReplacedWhole", bmp(name), kCallers},
            {"BitmapReleased", [] { return DeleteObject(GetHBitmapW(L"abc", 1, 5, 2)) != 0; },
             kCallers},
        };
    }
};

TEST(Files, ReasonInTheLastErrorNamesAsGivenReplacedWhole) {
    FailureScene scene;
    for (const FailureScene::Row& row : scene.Rows()) {
        SetLastError(FailureScene::kCallers);
        EXPECT_TRUE(row.call()) << row.name;
        EXPECT_EQ(GetLastError(), row.error) << row.name;
    }
    EXPECT_EQ(FileBytes(scene.kept), "old");
    EXPECT_EQ(FileBytes(scene.name).size(), 52954u);
    // Nothing of ours left; Wine's failed ReplaceFileW leaves its own rf*.tmp.
    std::set<std::wstring> entries = scene.folder.Entries();
    std::erase_if(entries, [](const std::wstring& n) {
        return n.starts_with(L"rf") && n.ends_with(L".tmp");
    });
    EXPECT_EQ(entries, (std::set<std::wstring>{L"kept.bmp", L"locked.bmp", L"sub", scene.leaf}));
}

// Every row on a thread of its own, all at once and many times: each thread finds its own reason.
TEST(Files, ReasonsStayWithTheirThreadWhenThreadsFailAtOnce) {
    FailureScene scene;
    const std::vector<FailureScene::Row> rows = scene.Rows();
    std::vector<int> wrong(rows.size());
    std::latch start(std::ssize(rows));
    {
        std::vector<std::jthread> threads;
        for (std::size_t row = 0; row < rows.size(); ++row) {
            threads.emplace_back([&, row] {
                start.arrive_and_wait();
                for (int round = 0; round < 50; ++round) {
                    SetLastError(FailureScene::kCallers);
                    wrong[row] += !rows[row].call() || GetLastError() != rows[row].error;
                }
            });
        }
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
        EXPECT_EQ(wrong[row], 0) << rows[row].name << ": rounds with another reason";
    }
}

// Run with a Cyrillic ANSI code page (CTest sets LC_ALL=ru_RU.UTF-8 for Wine).
TEST(AnsiCodePage1251, CyrillicTextAndNamesWidenAsTheWideOnes) {
    ASSERT_EQ(GetACP(), 1251u) << "this test needs the ANSI code page 1251";
    const char* ansi = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in code page 1251
    EXPECT_EQ(Pixels(GetHBitmapA(ansi, 2, 3, 1)), Pixels(GetHBitmapW(L"Привет", 2, 3, 1)));
    TempFolder folder;
    GeneratePNGA((folder.path.string() + "\\" + ansi + ".png").c_str(), ansi, 1, 5, 2);
    GeneratePNGW((folder / L"wide.png").c_str(), L"Привет", 1, 5, 2);
    EXPECT_EQ(FileBytes(folder / L"Привет.png"), FileBytes(folder / L"wide.png"));
}

// Copies `files` from `from` to `to`, runs the caller copied there with `arguments`; exit status.
DWORD RunCaller(const std::wstring& from, const std::wstring& to,
                std::initializer_list<const wchar_t*> files, const std::wstring& arguments) {
    for (const wchar_t* name : files) {
        if (!CopyFileW((from + name).c_str(), (to + name).c_str(), TRUE)) {
            return 2000 + GetLastError();
        }
    }
    std::wstring command = L"\"" + to + L"caller.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 1000 + GetLastError();
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

template <class Function>
Function* Export(HMODULE library, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

TEST(Colours, SharedWhileLoadedDefaultsAfterTheLastProcess) {
    // Colours belong to one DLL file: a private copy neither sees nor disturbs the linked DLL's.
    TempFolder folder;
    const std::wstring copy = folder / L"";
    ASSERT_TRUE(CopyFileW((ProgramFolder() + QRIMAGE_DLL_NAME).c_str(),
                          (copy + QRIMAGE_DLL_NAME).c_str(), TRUE));
    HMODULE library = LoadLibraryW((copy + QRIMAGE_DLL_NAME).c_str());
    ASSERT_NE(library, nullptr);
    Export<decltype(SetForegroundColor)>(library, "SetForegroundColor")(0x00123456u);
    // The child sees the colour, then sets both; they stay while this process holds the DLL.
    EXPECT_EQ(RunCaller(ProgramFolder(), copy, {L"caller.exe"}, L"00123456 FFFFFFFF 00ABCDEF 0"),
              0u);
    EXPECT_EQ(Export<decltype(GetForegroundColor)>(library, "GetForegroundColor")(), 0x00ABCDEFu);
    EXPECT_EQ(Export<decltype(GetBackgroundColor)>(library, "GetBackgroundColor")(), 0u);
    EXPECT_EQ(GetForegroundColor(), 0xFF000000u);  // another DLL file, other colours
#if defined(QRIMAGE_OTHER_DLL_NAME)
    // A process of the other bitness, with its own DLL file, does not see them.
    const wchar_t* otherBin = _wgetenv(L"QRIMAGE_OTHER_BIN");
    ASSERT_NE(otherBin, nullptr) << "QRIMAGE_OTHER_BIN names the other bitness's program folder";
    TempFolder other;
    const fs::path from = fs::path(std::wstring(L"Z:") + otherBin + L"/").make_preferred();
    EXPECT_EQ(RunCaller(from.wstring(), other / L"", {L"caller.exe", QRIMAGE_OTHER_DLL_NAME},
                        L"FF000000 FFFFFFFF"),
              0u);
#endif
    // After the last process that held it, the DLL file's colours are the defaults.
    FreeLibrary(library);
    library = LoadLibraryW((copy + QRIMAGE_DLL_NAME).c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(Export<decltype(GetForegroundColor)>(library, "GetForegroundColor")(), 0xFF000000u);
    FreeLibrary(library);
}

}  // namespace

// Each Windows file's version resource (read by Explorer, callers) names the version and its file.
TEST(VersionResource, EachFileNamesTheProjectsVersionAndItself) {
    const std::wstring rows[][2] = {{ProgramFolder() + QRIMAGE_DLL_NAME, QRIMAGE_DLL_NAME},
                                    {QRGENERATOR_EXE, QRGENERATOR_EXE_NAME}};
    const DWORD words[] = {QRIMAGE_VERSION_WORDS};
    for (const auto& [path, fileName] : rows) {
        SCOPED_TRACE(fs::path(fileName).string());
        DWORD ignored = 0;
        std::string block(GetFileVersionInfoSizeW(path.c_str(), &ignored), '\0');
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, DWORD(block.size()), block.data()));
        const auto value = [&](const std::wstring& name) {
            void* text = nullptr;
            UINT length = 0;
            const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
            return VerQueryValueW(block.data(), key.c_str(), &text, &length) && length != 0
                       ? std::wstring(static_cast<const wchar_t*>(text))
                       : L"missing";
        };
        void* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &fixed, &size));
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        EXPECT_EQ(info->dwFileVersionMS, MAKELONG(words[1], words[0]));
        EXPECT_EQ(info->dwFileVersionLS, MAKELONG(0, words[2]));
        EXPECT_EQ(value(L"FileVersion"), QRIMAGE_VERSION);
        EXPECT_EQ(value(L"OriginalFilename"), fileName);
    }
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    LeaveOutWhereEmulated("*AtOnce",
                          "threads at once cannot run where 32-bit programs run emulated");
    return RUN_ALL_TESTS();
}
