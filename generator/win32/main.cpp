// qrgenerator.exe: the Win32 window that turns a text into a QR code picture.
#include <windows.h>

#include <string_view>

#include "app_folder_rule.h"
#include "frm_qr.h"
#include "message_boxes.h"
#include "message_texts.h"
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const PreparedFolder folder = PrepareApplicationFolder();
    if (!folder.error.empty()) {
        Warn(nullptr, Texts::FolderNotUsable(folder.folder, folder.error));
        return 1;
    }
    // The program carries its library; write it out into the application
    // folder before the window can ask for it.
    const ExtractedFile library =
        ExtractResourceFile(folder.folder, Utf8FromWide(LoadResString(instance, kLibraryNameId)),
                            LoadResData(instance, kLibraryDataId));
    if (!library.error.empty()) {
        Warn(nullptr, Texts::LibraryNotWritten(library.path, library.error));
        return 1;
    }
    FrmQr window(instance, folder.folder, WideFromUtf8(library.path));
    return window.Run();
}
