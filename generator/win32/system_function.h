// Functions of system DLLs that Windows does not count among its known DLLs
// (comctl32.dll, winspool.drv). Imported as usual, the loader would look for
// them in the program's folder first, before main() can say otherwise: a
// copy unpacked into a folder that others may change would run whatever
// another user put beside it. So they are loaded from the system folder at
// their first use instead.
#pragma once

#include <windows.h>

// The function `name` of the system DLL `dll`, loaded from the system folder
// only and kept loaded; null when there is none. Any thread.
template <typename Function>
Function* SystemFunction(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module != nullptr
               ? reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
}
