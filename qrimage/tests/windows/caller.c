/* A C program using the DLL as its users do: the public header alone (it
 * brings <windows.h> and must compile as C) and the import library. The
 * colour test runs it from a folder holding a copy of the DLL:
 *   caller set FG BG   sets both colours (hexadecimal)
 *   caller FG BG       exit 0 when the colours are FG and BG */
#include <qrimage.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "set") == 0) {
        SetForegroundColor((COLORREF)strtoul(argv[2], NULL, 16));
        SetBackgroundColor((COLORREF)strtoul(argv[3], NULL, 16));
        return 0;
    }
    if (argc != 3) {
        return 2;
    }
    const COLORREF seen[2] = {GetForegroundColor(), GetBackgroundColor()};
    if (seen[0] != strtoul(argv[1], NULL, 16) || seen[1] != strtoul(argv[2], NULL, 16)) {
        fprintf(stderr, "caller: colours %08lX %08lX\n", seen[0], seen[1]);
        return 1;
    }
    return 0;
}
