/* An outside caller of the DLL that knows it only from its documentation, as
 * a Basic-style Declare does: no header, its own declarations, the DLL loaded
 * by path with LoadLibraryW and every export found with GetProcAddress.
 *
 *   caller DLL all          calls every picture export (the colour ones are
 *                           the next two); on 32-bit Windows each call goes
 *                           through a thunk that pushes the arguments and
 *                           checks that the callee removed them
 *   caller DLL set FG BG    sets both colours (hexadecimal)
 *   caller DLL colours FG BG  exit 0 when the colours are FG and BG
 *
 * Exit status 0 when every check passed. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

typedef uint32_t u32;

#if defined(__i386__)
/* Pushes n 32-bit arguments last to first, calls fn, stores its result, and
 * returns how many bytes of arguments the callee left on the stack: 0 for a
 * callee-cleans (__stdcall) function. The stack pointer is put back either
 * way, so a wrong convention is reported rather than fatal. */
u32 call_declared(FARPROC fn, const u32* args, int n, u32* result);
__asm__(
    ".text\n"
    ".globl _call_declared\n"
    "_call_declared:\n"
    "  pushl %ebp\n  movl %esp, %ebp\n  pushl %esi\n  pushl %edi\n"
    "  movl 12(%ebp), %esi\n  movl 16(%ebp), %ecx\n  movl %esp, %edi\n"
    "1: testl %ecx, %ecx\n  jz 2f\n  decl %ecx\n  pushl (%esi,%ecx,4)\n  jmp 1b\n"
    "2: call *8(%ebp)\n"
    "  movl 20(%ebp), %ecx\n  movl %eax, (%ecx)\n"
    "  movl %edi, %eax\n  subl %esp, %eax\n  movl %edi, %esp\n"
    "  popl %edi\n  popl %esi\n  popl %ebp\n  ret\n");
#define ARG(x) ((u32)(uintptr_t)(x))
#else
typedef uintptr_t u32p;
#define ARG(x) ((u32p)(x))
#endif

static HMODULE library;
static int failures;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "caller: %s\n", what);
        ++failures;
    }
}

static FARPROC export_of(const char* name) {
    const FARPROC fn = GetProcAddress(library, name);
    check(fn != NULL, name);
    return fn;
}

#if defined(__i386__)
/* Calls an export with its arguments as 32-bit words; checks the stack. */
static u32 call(const char* name, int n, const u32* args) {
    u32 result = 0;
    const FARPROC fn = export_of(name);
    if (fn != NULL) {
        const u32 left = call_declared(fn, args, n, &result);
        if (left != 0) {
            fprintf(stderr, "caller: %s left %u bytes on the stack\n", name, (unsigned)left);
            ++failures;
        }
    }
    return result;
}
#define CALL(name, ...) \
    call(#name, (int)(sizeof((u32[]){__VA_ARGS__}) / sizeof(u32)), (u32[]){__VA_ARGS__})
#define CALL0(name) call(#name, 0, NULL)
#else
/* 64-bit Windows has one calling convention: plain declarations. */
typedef uintptr_t(WINAPI* fn6)(u32p, u32p, u32p, u32p, u32p, u32p);
static uintptr_t call6(const char* name, u32p a, u32p b, u32p c, u32p d, u32p e, u32p f) {
    const FARPROC fn = export_of(name);
    return fn != NULL ? ((fn6)(void (*)(void))fn)(a, b, c, d, e, f) : 0;
}
#define PAD(a, b, c, d, e, f, ...) a, b, c, d, e, f
#define CALL(name, ...) call6(#name, PAD(__VA_ARGS__, 0, 0, 0, 0, 0, 0))
#define CALL0(name) call6(#name, 0, 0, 0, 0, 0, 0)
#endif

static int file_size(const wchar_t* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(name, GetFileExInfoStandard, &data) ? (int)data.nFileSizeLow : -1;
}

static int call_all(void) {
    static const wchar_t text[] = L"abc";
    wchar_t folder[MAX_PATH], bmp[MAX_PATH], png[MAX_PATH];
    char bmpA[MAX_PATH], pngA[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    swprintf(bmp, MAX_PATH, L"%lsqrimage-caller-%lu.bmp", folder, GetCurrentProcessId());
    swprintf(png, MAX_PATH, L"%lsqrimage-caller-%lu.png", folder, GetCurrentProcessId());
    WideCharToMultiByte(CP_ACP, 0, bmp, -1, bmpA, MAX_PATH, NULL, NULL);
    WideCharToMultiByte(CP_ACP, 0, png, -1, pngA, MAX_PATH, NULL, NULL);

    /* "abc", margin 1, module size 5: 115 pixels a side, 52954 bytes as BMP. */
    CALL(GenerateBMPW, ARG(bmp), ARG(text), 1, 5, 2);
    check(file_size(bmp) == 52954, "GenerateBMPW file");
    DeleteFileW(bmp);
    CALL(GenerateBMPA, ARG(bmpA), ARG("abc"), 1, 5, 2);
    check(file_size(bmp) == 52954, "GenerateBMPA file");
    DeleteFileW(bmp);

    u32 size = 0;
    unsigned char* block = NULL;
    CALL(GetPNGW, ARG(text), 1, 5, 2, ARG(&size), ARG(&block));
    check(block != NULL && size > 8 && memcmp(block, "\x89PNG", 4) == 0, "GetPNGW block");
    CALL(GeneratePNGW, ARG(png), ARG(text), 1, 5, 2);
    check(file_size(png) == (int)size, "GeneratePNGW file equals the block");
    DeleteFileW(png);
    CALL(GeneratePNGA, ARG(pngA), ARG("abc"), 1, 5, 2);
    check(file_size(png) == (int)size, "GeneratePNGA file equals the block");
    DeleteFileW(png);
    CALL(DestroyBuffer, ARG(block));
    block = NULL;
    CALL(GetPNGA, ARG("abc"), 1, 5, 2, ARG(&size), ARG(&block));
    check(block != NULL, "GetPNGA block");
    CALL(DestroyBuffer, ARG(block));
    CALL(DestroyBuffer, 0);

    const HBITMAP bitmaps[2] = {(HBITMAP)(uintptr_t)CALL(GetHBitmapW, ARG(text), 1, 5, 2),
                                (HBITMAP)(uintptr_t)CALL(GetHBitmapA, ARG("abc"), 1, 5, 2)};
    for (int i = 0; i < 2; ++i) {
        BITMAP info;
        memset(&info, 0, sizeof info);
        check(GetObjectW(bitmaps[i], sizeof info, &info) == sizeof info && info.bmWidth == 115 &&
                  info.bmBitsPixel == 32,
              "GetHBitmap: a 115-pixel 32-bit GDI bitmap");
        check(DeleteObject(bitmaps[i]) != 0, "GDI's DeleteObject releases the bitmap");
    }
    /* Refused arguments: nothing made, the process alive. */
    check(CALL(GetHBitmapW, 0, 1, 5, 2) == 0, "GetHBitmapW(null)");
    check(CALL(GetHBitmapA, ARG(""), 1, 5, 2) == 0, "GetHBitmapA(\"\")");
    CALL(GenerateBMPW, ARG(bmp), ARG(text), 1, 5, 4);
    check(file_size(bmp) == -1, "GenerateBMPW with level 4 made a file");
    return failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    wchar_t path[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH);
    library = LoadLibraryW(path);
    if (library == NULL) {
        fprintf(stderr, "caller: cannot load %s\n", argv[1]);
        return 2;
    }
    if (strcmp(argv[2], "all") == 0) {
        return call_all();
    }
    if (argc != 5) {
        return 2;
    }
    const u32 foreground = (u32)strtoul(argv[3], NULL, 16);
    const u32 background = (u32)strtoul(argv[4], NULL, 16);
    if (strcmp(argv[2], "set") == 0) {
        CALL(SetForegroundColor, foreground);
        CALL(SetBackgroundColor, background);
        return failures;
    }
    const u32 seen[2] = {(u32)CALL0(GetForegroundColor), (u32)CALL0(GetBackgroundColor)};
    if (seen[0] != foreground || seen[1] != background) {
        fprintf(stderr, "caller: colours %08X %08X\n", (unsigned)seen[0], (unsigned)seen[1]);
    }
    return seen[0] == foreground && seen[1] == background && failures == 0 ? 0 : 1;
}
