/* A C program using the DLL as its users do: the public header alone (it
 * brings <windows.h> and must compile as C) and the import library. The
 * colour test runs it from a folder holding a copy of the DLL:
 *   caller FG BG [NEWFG NEWBG]
 * exits 0 when the colours are FG and BG (hexadecimal), then sets them to
 * NEWFG and NEWBG. */
#include <qrimage.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        return 2;
    }
    const COLORREF seen[2] = {GetForegroundColor(), GetBackgroundColor()};
    if (seen[0] != strtoul(argv[1], NULL, 16) || seen[1] != strtoul(argv[2], NULL, 16)) {
        fprintf(stderr, "caller: colours %08lX %08lX\n", seen[0], seen[1]);
        return 1;
    }
    if (argc == 5) {
        SetForegroundColor((COLORREF)strtoul(argv[3], NULL, 16));
        SetBackgroundColor((COLORREF)strtoul(argv[4], NULL, 16));
    }
    return 0;
}
