// The Win32 program's tie to qrimage32.dll: loaded by full path from the copy
// in the application folder at the first Create, never linked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class LibraryBinding {
  public:
    // `path`: the full path of the library copy. Nothing is loaded yet.
    explicit LibraryBinding(std::wstring path) : path_(std::move(path)) {}

    // Loads the library with LoadLibraryW and finds GenerateBMPW. Once bound,
    // later calls do nothing; after a failure the next call tries again.
    // Returns "" or the system's reason. The library stays loaded until the
    // program ends. GUI thread.
    std::string Bind();

    const std::wstring& path() const { return path_; }

    // GenerateBMPW with the arguments unchanged, after a successful Bind.
    // Returns the thread's last error as the library left it (cleared
    // before the call). GUI thread.
    DWORD GenerateBMPW(const wchar_t* fileName, const wchar_t* text, int32_t margin,
                       int32_t moduleSize, int32_t level) const;

    // GenerateBMPW of qrimage.h (checked against it in the .cpp).
    using GenerateBmpWFunction = void(__stdcall*)(const wchar_t*, const wchar_t*, int32_t, int32_t,
                                                  int32_t);

  private:
    std::wstring path_;
    GenerateBmpWFunction generate_ = nullptr;
};
