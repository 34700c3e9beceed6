// qrgenerator.exe: the Win32 window that turns a text into a QR code picture.
#include <windows.h>

#include <string_view>

#include "frmQR.h"
#include "prepare_start.h"
#include "resource_file.h"
#include "utf.h"

namespace {

// The string resource `id`; empty when there is none.
std::wstring LoadResString(HINSTANCE instance, int id) {
    const wchar_t* text = nullptr;
    // With a size of 0 LoadStringW hands out the read-only resource itself.
    const int length = LoadStringW(instance, UINT(id), reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, std::size_t(length)) : std::wstring();
}

// The custom resource `id` of the type "CUSTOM", byte for byte; empty when
// there is none. It stays mapped with the program.
std::string_view LoadResData(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), L"CUSTOM");
    HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    return bytes != nullptr
               ? std::string_view(static_cast<const char*>(bytes), SizeofResource(instance, found))
               : std::string_view();
}

// DLLs loaded from now on by a bare name come from the system folder only:
// not from the program's folder, which may be an unpacked archive in a
// shared folder, nor from the current one. The carried library is loaded by
// its full path (library_binding_win32.cpp).
void LoadSystemDllsOnlyFromTheSystem() {
    SetDllDirectoryW(L"");
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    LoadSystemDllsOnlyFromTheSystem();
    const PreparedStart start = PrepareStart(Utf8FromWide(LoadResString(instance, kLibraryNameId)),
                                             LoadResData(instance, kLibraryDataId));
    if (start.problem) {
        frmQR::ShowWarning(nullptr, *start.problem);
        return 1;
    }
    frmQR window(instance, start.folder, start.libraryPath);
    return window.Run();
}
