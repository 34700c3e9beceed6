/* A C program using the DLL as its users do: the public header alone (it
 * brings <windows.h> and must compile as C), the import library, and every
 * export once more through LoadLibraryW and GetProcAddress as Basic-style
 * and Delphi programs call it. The colour test runs it from a folder holding
 * a copy of the DLL:
 *   caller FG BG [NEWFG NEWBG]
 * exits 0 when the colours are FG and BG (hexadecimal) and every export
 * called through GetProcAddress, on a stack as aligned as such callers leave
 * it, takes its own arguments off and returns what it should; then sets the
 * colours to NEWFG and NEWBG. */
#include <qrimage.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(__i386__)
/* Calls fn with count 4-byte arguments on a stack that is `skew` bytes past a
 * 16-byte boundary at the call, as a caller that keeps only 4-byte alignment
 * gives it, and stores through removed how many bytes the callee took off
 * the stack (a __stdcall callee removes exactly its arguments). */
__attribute__((naked)) static uintptr_t __cdecl CallMisaligned(FARPROC fn, const uintptr_t* args,
                                                               uint32_t count, uint32_t skew,
                                                               uint32_t* removed) {
    (void)fn, (void)args, (void)count, (void)skew, (void)removed;
    __asm__(
        "  push %ebp\n"
        "  mov %esp, %ebp\n"
        "  push %ebx\n"
        "  push %esi\n"
        "  push %edi\n"
        "  mov 16(%ebp), %ecx\n" /* count */
        "  mov 12(%ebp), %esi\n" /* args */
        "  lea (,%ecx,4), %eax\n"
        "  add 20(%ebp), %eax\n" /* skew + 4 * count */
        "  neg %eax\n"
        "  and $15, %eax\n"
        "  and $-16, %esp\n"
        "  sub $64, %esp\n"
        "  sub %eax, %esp\n" /* after the pushes: esp = skew modulo 16 */
        "1:\n"
        "  test %ecx, %ecx\n"
        "  jz 2f\n"
        "  pushl -4(%esi,%ecx,4)\n"
        "  dec %ecx\n"
        "  jmp 1b\n"
        "2:\n"
        "  mov %esp, %ebx\n"
        "  call *8(%ebp)\n"
        "  mov %esp, %ecx\n"
        "  sub %ebx, %ecx\n"
        "  mov 24(%ebp), %edx\n"
        "  mov %ecx, (%edx)\n"
        "  lea -12(%ebp), %esp\n"
        "  pop %edi\n"
        "  pop %esi\n"
        "  pop %ebx\n"
        "  pop %ebp\n"
        "  ret\n");
}
static const uint32_t skews[] = {4, 8, 12};
#else
/* One calling convention: the callee ignores arguments it does not take. */
static uintptr_t CallMisaligned(FARPROC fn, const uintptr_t* args, uint32_t count, uint32_t skew,
                                uint32_t* removed) {
    (void)skew;
    *removed = 4 * count;
    return ((uintptr_t(*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t))fn)(
        args[0], args[1], args[2], args[3], args[4], args[5]);
}
static const uint32_t skews[] = {0};
#endif

/* Every export through GetProcAddress, at each stack skew; the number of
 * failures. */
static int CallEveryExport(const wchar_t* folder) {
    HMODULE library = LoadLibraryW(QRIMAGE_DLL_NAME);
    if (library == NULL) {
        fprintf(stderr, "caller: LoadLibraryW failed: %lu\n", GetLastError());
        return 1;
    }
    wchar_t bmp[MAX_PATH], png[MAX_PATH], ansi[MAX_PATH];
    char bmpA[MAX_PATH], pngA[MAX_PATH];
    _snwprintf(bmp, MAX_PATH, L"%lscalled.bmp", folder);
    _snwprintf(png, MAX_PATH, L"%lscalled.png", folder);
    _snwprintf(ansi, MAX_PATH, L"%lscalledA.bmp", folder);
    WideCharToMultiByte(CP_ACP, 0, ansi, -1, bmpA, MAX_PATH, NULL, NULL);
    _snwprintf(ansi, MAX_PATH, L"%lscalledA.png", folder);
    WideCharToMultiByte(CP_ACP, 0, ansi, -1, pngA, MAX_PATH, NULL, NULL);
    const wchar_t* text = L"Привет, 32 бита";
    const char* textA = "stdcall";
    uint32_t size = 0, sizeA = 0;
    unsigned char *block = NULL, *blockA = NULL;
    const COLORREF foreground = GetForegroundColor(), background = GetBackgroundColor();
#define ARG(x) ((uintptr_t)(x))
    enum Check { NOTHING, RELEASED, RETURNED };
    const struct {
        const char* name;
        uint32_t count;
        uintptr_t args[6];
        enum Check check;
        uintptr_t result; /* for RETURNED */
    } rows[] = {
        {"GenerateBMPW", 5, {ARG(bmp), ARG(text), 2, 3, 1}, NOTHING, 0},
        {"GenerateBMPA", 5, {ARG(bmpA), ARG(textA), 2, 3, 1}, NOTHING, 0},
        {"GeneratePNGW", 5, {ARG(png), ARG(text), 2, 3, 1}, NOTHING, 0},
        {"GeneratePNGA", 5, {ARG(pngA), ARG(textA), 2, 3, 1}, NOTHING, 0},
        {"GetPNGW", 6, {ARG(text), 2, 3, 1, ARG(&size), ARG(&block)}, NOTHING, 0},
        {"GetPNGA", 6, {ARG(textA), 2, 3, 1, ARG(&sizeA), ARG(&blockA)}, NOTHING, 0},
        {"DestroyBuffer", 1, {0}, NOTHING, 0}, /* GetPNGA's block, filled in below */
        {"GetHBitmapW", 4, {ARG(text), 2, 3, 1}, RELEASED, 0},
        {"GetHBitmapA", 4, {ARG(textA), 2, 3, 1}, RELEASED, 0},
        {"SetForegroundColor", 1, {foreground}, NOTHING, 0},
        {"GetForegroundColor", 0, {0}, RETURNED, foreground},
        {"SetBackgroundColor", 1, {background}, NOTHING, 0},
        {"GetBackgroundColor", 0, {0}, RETURNED, background},
    };
    int failures = 0;
    for (size_t s = 0; s < sizeof skews / sizeof skews[0]; ++s) {
        for (size_t r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
            uintptr_t args[6];
            memcpy(args, rows[r].args, sizeof args);
            if (r == 6) {
                args[0] = ARG(blockA);
            }
            const FARPROC fn = GetProcAddress(library, rows[r].name);
            uint32_t removed = 0;
            const uintptr_t result =
                fn == NULL ? 0 : CallMisaligned(fn, args, rows[r].count, skews[s], &removed);
            /* Only a real bitmap can be released. */
            const int right = rows[r].check == RELEASED   ? DeleteObject((HBITMAP)result) != 0
                              : rows[r].check == RETURNED ? result == rows[r].result
                                                          : 1;
            if (fn == NULL || removed != 4 * rows[r].count || !right) {
                fprintf(stderr, "caller: %s at stack skew %u: %u bytes removed, result %lx\n",
                        rows[r].name, (unsigned)skews[s], (unsigned)removed, (unsigned long)result);
                ++failures;
            }
        }
        DestroyBuffer(block);
    }
#undef ARG
    FreeLibrary(library);
    return failures;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        return 2;
    }
    const COLORREF seen[2] = {GetForegroundColor(), GetBackgroundColor()};
    if (seen[0] != strtoul(argv[1], NULL, 16) || seen[1] != strtoul(argv[2], NULL, 16)) {
        fprintf(stderr, "caller: colours %08lX %08lX\n", seen[0], seen[1]);
        return 1;
    }
    wchar_t folder[MAX_PATH];
    const DWORD length = GetModuleFileNameW(NULL, folder, MAX_PATH);
    wchar_t* slash = wcsrchr(folder, L'\\');
    if (length == 0 || length == MAX_PATH || slash == NULL) {
        return 2;
    }
    slash[1] = L'\0';
    const int failures = CallEveryExport(folder);
    if (failures != 0) {
        fprintf(stderr, "caller: %d failures calling through GetProcAddress\n", failures);
        return 1;
    }
    if (argc == 5) {
        SetForegroundColor((COLORREF)strtoul(argv[3], NULL, 16));
        SetBackgroundColor((COLORREF)strtoul(argv[4], NULL, 16));
    }
    return 0;
}
