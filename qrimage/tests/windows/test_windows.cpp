// The DLL's Windows seams under Wine: GDI bitmap sections, the thread's last
// error, file names and replacement, the ANSI code page, colours shared with
// another process while the DLL file is loaded. What the Linux library shares
// with it is compared byte for byte by compare_corpus.sh.
#include <windows.h>
// after windows.h: the header must take the platform's types
#include <gtest/gtest.h>
#include <qrencode.h>
#include <qrimage.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

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

// A GDI bitmap section as GDI draws it, top row first (GetDIBits turns a
// bottom-up one over), 32 bits a pixel; then released with DeleteObject.
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

TEST(Bitmap, AGdiSectionTopRowFirstAsTheEncoderDrawsIt) {
    QRcode* code = QRcode_encodeString("abc", 0, QR_ECLEVEL_Q, QR_MODE_8, 1);
    const int w = code->width, margin = 1, size = 5, side = (w + 2 * margin) * size;
    Bytes model;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int column = x / size - margin, row = y / size - margin;
            const bool dark = column >= 0 && row >= 0 && column < w && row < w &&
                              (code->data[row * w + column] & 1);
            model += dark ? Bytes("\0\0\0\xFF", 4) : Bytes(4, '\xFF');
        }
    }
    QRcode_free(code);
    EXPECT_EQ(Pixels(GetHBitmapW(L"abc", margin, size, 2)), model);
    EXPECT_EQ(Pixels(GetHBitmapA("abc", margin, size, 2)), model);
}

TEST(Files, ReasonInTheLastErrorNamesAsGivenReplacedWhole) {
    TempFolder folder;
    const std::wstring leaf = L"Фото \U0001F642.bmp", name = folder / leaf;
    const std::wstring kept = folder / L"kept.bmp";
    const std::wstring tooLong(1274, L'a');  // 1273 fit at level H
    std::ofstream(fs::path(name), std::ios::binary) << Bytes(100000, 'x');
    std::ofstream(fs::path(kept), std::ios::binary) << "old";
    SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    // Held open without sharing: the written temporary file cannot replace it.
    const HANDLE locked = CreateFileW((folder / L"locked.bmp").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    constexpr DWORD kCallers = 0xC0FFEEu;  // success leaves the caller's value
    HBITMAP bitmap = nullptr;
    const auto bmp = [](const std::wstring& target) {
        return [=] { GenerateBMPW(target.c_str(), L"abc", 1, 5, 2); };
    };
    const std::pair<std::function<void()>, DWORD> rows[] = {
        {[&] { bitmap = GetHBitmapW(nullptr, 1, 5, 2); }, ERROR_INVALID_PARAMETER},
        {[&] { bitmap = GetHBitmapA(nullptr, 1, 5, 2); }, ERROR_INVALID_PARAMETER},
        {[&] { GenerateBMPA(nullptr, "abc", 1, 5, 2); }, ERROR_INVALID_PARAMETER},
        {[&] { bitmap = GetHBitmapW(L"abc", 40000, 40000, 2); }, ERROR_FILE_TOO_LARGE},
        {[&] { GeneratePNGW(name.c_str(), tooLong.c_str(), 0, 1, 3); }, ERROR_INSUFFICIENT_BUFFER},
        {bmp(kept), ERROR_ACCESS_DENIED},
        {bmp(folder / L"sub"), ERROR_ACCESS_DENIED},
        {bmp(folder / L"missing\\x.bmp"), ERROR_PATH_NOT_FOUND},
        {bmp(folder / L"locked.bmp"), ERROR_SHARING_VIOLATION},
        {bmp(name), kCallers},
        {[] { DeleteObject(GetHBitmapW(L"abc", 1, 5, 2)); }, kCallers},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        SetLastError(kCallers);
        rows[row].first();
        EXPECT_EQ(GetLastError(), rows[row].second) << "row " << row;
    }
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(FileBytes(kept), "old");
    EXPECT_EQ(FileBytes(name).size(), 52954u);
    CloseHandle(locked);
    // Nothing of ours left; Wine's failed ReplaceFileW leaves its own rf*.tmp.
    std::set<std::wstring> entries = folder.Entries();
    std::erase_if(entries, [](const std::wstring& n) {
        return n.starts_with(L"rf") && n.ends_with(L".tmp");
    });
    EXPECT_EQ(entries, (std::set<std::wstring>{L"kept.bmp", L"locked.bmp", L"sub", leaf}));
    SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
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

// Runs the caller program, found in `folder`, with arguments; its exit status.
DWORD RunCaller(const std::wstring& folder, const std::wstring& arguments) {
    std::wstring command = L"\"" + folder + L"caller.exe\" " + arguments;
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

TEST(Colours, SharedWhileLoadedDefaultsAfterTheLastProcess) {
    // The colours belong to one DLL file: a private copy, with the caller
    // program beside it, neither sees nor disturbs those of the linked DLL.
    TempFolder folder;
    const std::wstring copy = folder / L"";
    for (const wchar_t* name : {QRIMAGE_DLL_NAME, L"caller.exe"}) {
        ASSERT_TRUE(CopyFileW((ProgramFolder() + name).c_str(), (copy + name).c_str(), TRUE));
    }
    HMODULE library = LoadLibraryW((copy + QRIMAGE_DLL_NAME).c_str());
    ASSERT_NE(library, nullptr);
    const auto set = reinterpret_cast<decltype(&SetForegroundColor)>(
        reinterpret_cast<void*>(GetProcAddress(library, "SetForegroundColor")));
    set(0x00123456u);
    EXPECT_EQ(RunCaller(copy, L"00123456 FFFFFFFF"), 0u);
    EXPECT_EQ(GetForegroundColor(), 0xFF000000u);  // another DLL file, other colours
    // A colour set by the child stays while this process holds the DLL.
    EXPECT_EQ(RunCaller(copy, L"set 00ABCDEF 00000000"), 0u);
    EXPECT_EQ(RunCaller(copy, L"00ABCDEF 00000000"), 0u);
    FreeLibrary(library);
    EXPECT_EQ(RunCaller(copy, L"FF000000 FFFFFFFF"), 0u);
}

}  // namespace

// Each Windows file carries the project's version, its own name and the
// product's in its version resource, where Explorer and callers read them.
TEST(VersionResource, EachFileNamesTheProjectsVersionAndItself) {
    struct Row {
        std::wstring path, fileName;
    };
    const Row rows[] = {
        {ProgramFolder() + QRIMAGE_DLL_NAME, QRIMAGE_DLL_NAME},
        {QRGENERATOR_EXE, QRGENERATOR_EXE_NAME},
    };
    const DWORD words[] = {QRIMAGE_VERSION_WORDS};
    for (const Row& row : rows) {
        SCOPED_TRACE(fs::path(row.fileName).string());
        DWORD ignored = 0;
        std::string block(GetFileVersionInfoSizeW(row.path.c_str(), &ignored), '\0');
        ASSERT_FALSE(block.empty());
        ASSERT_TRUE(GetFileVersionInfoW(row.path.c_str(), 0, DWORD(block.size()), block.data()));
        const auto value = [&](const wchar_t* name) {
            void* text = nullptr;
            UINT length = 0;
            const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
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
        EXPECT_EQ(info->dwProductVersionMS, info->dwFileVersionMS);
        EXPECT_EQ(value(L"FileVersion"), QRIMAGE_VERSION);
        EXPECT_EQ(value(L"ProductVersion"), QRIMAGE_VERSION);
        EXPECT_EQ(value(L"ProductName"), L"qrimage");
        EXPECT_EQ(value(L"OriginalFilename"), row.fileName);
        EXPECT_EQ(value(L"LegalCopyright"), L"Copyright (c) 2026 the qrimage authors");
        EXPECT_NE(value(L"FileDescription"), L"missing");
    }
}
