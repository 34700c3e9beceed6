// The tool's entry on Windows: the arguments arrive as UTF-16 and go on as
// UTF-8, the tool's own text everywhere; standard input and output carry
// bytes unchanged (pictures, lists); a console shows UTF-8 text and colour
// escapes.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#include <vector>

#include "run_tool.h"

namespace {

// `text` as UTF-8. An unpaired surrogate (no valid name or text has one)
// becomes U+FFFD, and the tool then works with what it was given.
std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return "";
    }
    std::string bytes(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.pop_back();  // the terminating NUL
    return bytes;
}

// A console shows what the tool writes as UTF-8 and reads its colour and
// erase escapes; anything else gets the bytes as they are.
void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE console = GetStdHandle(which);
        DWORD mode = 0;
        if (GetConsoleMode(console, &mode)) {
            SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
}

}  // namespace

int wmain(int argc, wchar_t** wideArguments) {
    // Binary: a picture written to standard output, or a list read from
    // standard input, must not have its line ends translated.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    PrepareConsole();
    std::vector<std::string> arguments;
    for (int k = 0; k < argc; ++k) {
        arguments.push_back(Utf8(wideArguments[k]));
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    return qrtool::RunTool(argc, pointers.data());
}
