// The DLL through its exports on Windows (run under Wine): GDI bitmap
// sections against a model drawn from a direct encoder call, the A flavour
// widened from the ANSI code page, file names and replacement, refusals, and
// colours shared with another process while loaded.
#include <windows.h>
// after windows.h: the header must take the platform's types
#include <gtest/gtest.h>
#include <qrencode.h>
#include <qrimage.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;
namespace fs = std::filesystem;

// The folder of this program, where the DLL and the caller program lie.
std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// A new empty folder under %TEMP%, removed with its files at the end.
class TempFolder {
    fs::path path_;

  public:
    TempFolder() {
        for (unsigned n = GetTickCount();; ++n) {
            path_ = fs::temp_directory_path() / ("qrimage-test-" + std::to_string(n));
            if (fs::create_directory(path_)) {
                break;
            }
        }
    }
    ~TempFolder() {
        for (const std::wstring& name : Entries()) {
            SetFileAttributesW((*this / name).c_str(),
                               FILE_ATTRIBUTE_NORMAL);  // read-only ones
        }
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::wstring operator/(const std::wstring& name) const { return (path_ / name).wstring(); }
    std::vector<std::wstring> Entries() const {
        std::vector<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().wstring());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

// A file's bytes, or "missing".
Bytes FileBytes(const std::wstring& name) {
    std::ifstream in(fs::path(name), std::ios::binary);
    return in ? Bytes(std::istreambuf_iterator<char>(in), {}) : "missing";
}

void PutFile(const std::wstring& name, const Bytes& bytes) {
    std::ofstream(fs::path(name), std::ios::binary) << bytes;
}

// The picture a GDI bitmap holds, top row first, with its side; the bitmap is
// released with GDI's DeleteObject. "" for a null handle.
Bytes Pixels(HBITMAP bitmap) {
    DIBSECTION section{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof section, &section) != sizeof section) {
        return "";
    }
    const BITMAP& b = section.dsBm;
    const bool layout = b.bmWidth == b.bmHeight && b.bmBitsPixel == 32 && b.bmPlanes == 1 &&
                        b.bmWidthBytes == 4 * b.bmWidth && section.dsBmih.biCompression == BI_RGB;
    Bytes bytes = layout ? Bytes(static_cast<const char*>(b.bmBits), 4u * b.bmWidth * b.bmHeight)
                         : "not a 32-bit square section";
    return DeleteObject(bitmap) ? bytes : "not released";
}

// The encoder's symbol drawn by the header's rule, black on white.
Bytes Model(const char* utf8, int margin, int size, int level) {
    QRcode* code = QRcode_encodeString(utf8, 0, QRecLevel(level), QR_MODE_8, 1);
    const int w = code->width, side = (w + 2 * margin) * size;
    Bytes model;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int column = x / size - margin, row = y / size - margin;
            const bool inside = column >= 0 && row >= 0 && column < w && row < w;
            model += inside && (code->data[row * w + column] & 1) ? Bytes("\0\0\0\xFF", 4)
                                                                  : Bytes(4, '\xFF');
        }
    }
    QRcode_free(code);
    return model;
}

TEST(Bitmap, GdiSectionsMatchTheEncoder) {
    struct Row {
        std::wstring text;
        std::string utf8;
        int margin, size, level;
    } rows[] = {
        {L"abc", "abc", 1, 5, 2},
        {L"Привет", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", 0, 1, 0},
        {L"\U0001F642 ok", "\xF0\x9F\x99\x82 ok", 25, 1, 1},
        {std::wstring(1273, L'a'), std::string(1273, 'a'), 4, 1, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utf8.substr(0, 20));
        EXPECT_EQ(Pixels(GetHBitmapW(row.text.c_str(), row.margin, row.size, row.level)),
                  Model(row.utf8.c_str(), row.margin, row.size, row.level));
    }
    EXPECT_EQ(Pixels(GetHBitmapA("abc", 1, 5, 2)), Pixels(GetHBitmapW(L"abc", 1, 5, 2)));
}

// The thread's last error after a call: the reason it failed, or the
// caller's own value (kUntouched) when it succeeded.
constexpr DWORD kUntouched = 0xC0FFEEu;
template <class Call>
DWORD LastErrorAfter(Call call) {
    SetLastError(kUntouched);
    call();
    return GetLastError();
}

TEST(Refusals, NothingMadeAReasonSetTheProcessAlive) {
    TempFolder folder;
    const std::wstring target = folder / L"out.bmp";
    const std::wstring tooLong(1274, L'a');  // 1273 fit at level H
    struct Row {
        const wchar_t* text;
        int margin, size, level;
        DWORD reason;
    } rows[] = {
        {nullptr, 1, 5, 2, ERROR_INVALID_PARAMETER},
        {L"", 1, 5, 2, ERROR_INVALID_PARAMETER},
        {L"abc", 1, 5, 4, ERROR_INVALID_PARAMETER},
        {L"abc", 1, 5, -1, ERROR_INVALID_PARAMETER},
        {L"abc", -1, 5, 2, ERROR_INVALID_PARAMETER},
        {L"abc", 1, 0, 2, ERROR_INVALID_PARAMETER},
        {L"abc", 40000, 40000, 2, ERROR_FILE_TOO_LARGE},
        {tooLong.c_str(), 0, 1, 3, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "level " << row.level << " margin " << row.margin);
        HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
        uint32_t size = 7;
        unsigned char marker = 0, *block = &marker;
        const std::function<void()> calls[] = {
            [&] { bitmap = GetHBitmapW(row.text, row.margin, row.size, row.level); },
            [&] { GenerateBMPW(target.c_str(), row.text, row.margin, row.size, row.level); },
            [&] { GeneratePNGW(target.c_str(), row.text, row.margin, row.size, row.level); },
            [&] { GetPNGW(row.text, row.margin, row.size, row.level, &size, &block); }};
        for (const auto& call : calls) {
            EXPECT_EQ(LastErrorAfter(call), row.reason);
        }
        EXPECT_TRUE(bitmap == nullptr && size == 7 && block == &marker);
    }
    EXPECT_EQ(LastErrorAfter([] { GetHBitmapA(nullptr, 1, 5, 2); }), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorAfter([] { GenerateBMPA(nullptr, "abc", 1, 5, 2); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorAfter([] { GeneratePNGW(nullptr, L"abc", 1, 5, 2); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorAfter([] { GetPNGW(L"abc", 1, 5, 2, nullptr, nullptr); }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorAfter([] { DestroyBuffer(nullptr); }), kUntouched);
    EXPECT_TRUE(folder.Entries().empty());
    // Success leaves the caller's last error alone.
    EXPECT_EQ(LastErrorAfter([&] { GenerateBMPW(target.c_str(), L"abc", 1, 5, 2); }), kUntouched);
    EXPECT_EQ(LastErrorAfter([] { DeleteObject(GetHBitmapW(L"abc", 1, 5, 2)); }), kUntouched);
}

TEST(Files, NamesAsGivenReplacedWholeReadOnlyLeftAlone) {
    TempFolder folder;
    const std::wstring name = L"Фото \U0001F642.bmp";
    // A longer file is replaced whole; the name reaches the file system as given.
    PutFile(folder / name, Bytes(100000, 'x'));
    GenerateBMPW((folder / name).c_str(), L"abc", 1, 5, 2);
    EXPECT_EQ(FileBytes(folder / name).size(), 52954u);
    GeneratePNGW((folder / L"Фото.png").c_str(), L"abc", 1, 5, 2);
    uint32_t size = 0;
    unsigned char* block = nullptr;
    GetPNGW(L"abc", 1, 5, 2, &size, &block);
    EXPECT_EQ(FileBytes(folder / L"Фото.png"), Bytes(reinterpret_cast<char*>(block), size));
    DestroyBuffer(block);

    // A read-only file, a folder, a missing folder: nothing written, nothing
    // left, the reason set.
    PutFile(folder / L"kept.bmp", "old");
    SetFileAttributesW((folder / L"kept.bmp").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    const std::pair<std::wstring, DWORD> refused[] = {
        {folder / L"kept.bmp", ERROR_ACCESS_DENIED},
        {folder / L"sub", ERROR_ACCESS_DENIED},
        {folder / L"missing\\x.bmp", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& [target, reason] : refused) {
        EXPECT_EQ(LastErrorAfter([&] { GenerateBMPW(target.c_str(), L"abc", 1, 5, 2); }), reason);
        EXPECT_EQ(LastErrorAfter([&] { GeneratePNGW(target.c_str(), L"abc", 1, 5, 2); }), reason);
    }
    EXPECT_EQ(FileBytes(folder / L"kept.bmp"), "old");
    RemoveDirectoryW((folder / L"sub").c_str());
    EXPECT_EQ(folder.Entries(), (std::vector<std::wstring>{L"kept.bmp", name, L"Фото.png"}));
}

// Run with a Cyrillic ANSI code page (CTest sets LC_ALL=ru_RU.UTF-8 for Wine).
TEST(AnsiCodePage1251, CyrillicWidensAsTheWideText) {
    ASSERT_EQ(GetACP(), 1251u) << "this test needs the ANSI code page 1251";
    const char* ansi = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in code page 1251
    EXPECT_EQ(Pixels(GetHBitmapA(ansi, 2, 3, 1)), Pixels(GetHBitmapW(L"Привет", 2, 3, 1)));
    TempFolder folder;
    char name[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, (folder / L"Привет.png").c_str(), -1, name, MAX_PATH, nullptr,
                        nullptr);
    GeneratePNGA(name, ansi, 1, 5, 2);
    GeneratePNGW((folder / L"wide.png").c_str(), L"Привет", 1, 5, 2);
    EXPECT_EQ(FileBytes(folder / L"Привет.png"), FileBytes(folder / L"wide.png"));
}

// Runs the caller program with arguments; returns its exit status.
DWORD RunCaller(const std::wstring& arguments) {
    std::wstring command = L"\"" + ProgramFolder() + L"caller.exe\" " + arguments;
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
    // A private copy of the DLL: the colours belong to one DLL file, so this
    // test neither sees nor disturbs those of the DLL the program linked.
    TempFolder folder;
    const std::wstring copy = folder / QRIMAGE_DLL_NAME;
    ASSERT_TRUE(CopyFileW((ProgramFolder() + QRIMAGE_DLL_NAME).c_str(), copy.c_str(), TRUE));
    HMODULE library = LoadLibraryW(copy.c_str());
    ASSERT_NE(library, nullptr);
    const auto set = reinterpret_cast<decltype(&SetForegroundColor)>(
        reinterpret_cast<void*>(GetProcAddress(library, "SetForegroundColor")));
    set(0x00123456u);
    EXPECT_EQ(RunCaller(L"\"" + copy + L"\" colours 00123456 FFFFFFFF"), 0u);
    EXPECT_EQ(GetForegroundColor(),
              0xFF000000u);  // another DLL file, other colours
    // A colour set by the child stays while this process holds the DLL.
    EXPECT_EQ(RunCaller(L"\"" + copy + L"\" set 00ABCDEF 00000000"), 0u);
    EXPECT_EQ(RunCaller(L"\"" + copy + L"\" colours 00ABCDEF 00000000"), 0u);
    FreeLibrary(library);
    EXPECT_EQ(RunCaller(L"\"" + copy + L"\" colours FF000000 FFFFFFFF"), 0u);
}

}  // namespace
