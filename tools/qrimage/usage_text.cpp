#include "usage_text.h"

namespace qrtool {

const char* const kUsageHint = "Try 'qrimage --help' for more information.";

const char* const kHelpText = R"(Usage: qrimage [OPTIONS] [TEXT]
       qrimage --batch LIST -o PATTERN [OPTIONS]
       qrimage colours [--foreground RRGGBB] [--background RRGGBB]
Make a QR code picture of TEXT, read as UTF-8. Without TEXT, or with -, the
text is all of standard input, byte for byte (a final newline included).
Example: qrimage -o code.svg --foreground 000080 --background FFFFFF00 Hello

Output:
  -o, --output FILE   write FILE; the format comes from its extension (.png,
                      .bmp, .svg, .eps, .txt for the drawing); -o - writes to
                      standard output. Without -o: drawn on the terminal, else
                      PNG on standard output.
  -t, --type TYPE     png, bmp, svg, eps or utf8 (Unicode half blocks),
                      whatever FILE says
  -l, --level L       error correction L, M, Q or H (default M)
  -m, --margin N      quiet zone in modules (default 4)
  -s, --size N        pixels per module (default 4; the drawing uses one
                      character cell per module and two module rows per line)
  -v, --symversion N  smallest symbol version: 1 to 40, with -M 1 to 4
                      (default: the smallest that holds the text)
  -M, --micro         a Micro QR symbol (M1 to M4; levels L, M and Q)
  -d, --dpi N         resolution written into PNG, BMP and SVG, and the size
                      of an EPS module (moduleSize / N inches)
      --foreground RRGGBB[AA], --background RRGGBB[AA]
                      colours of this picture (AA: opacity, 00 transparent);
                      without them pictures take the shared colours

Batch:
      --batch LIST    one text per line of LIST (- for standard input); writes
                      the picture of line n to PATTERN with {n} replaced by n
                      ({n:6} pads it with zeros to 6 digits)
                      (a line ends at LF or CRLF; a leading UTF-8 BOM is skipped)
  -0, --null          records end with NUL bytes instead of newlines
  -j, --jobs N        N threads (default: one per core)
  A line that fails is reported as LIST:LINE: reason and skipped. On a terminal
  a progress line shows on standard error.

Colours:
  qrimage colours     shows the colours the library draws with
      --foreground RRGGBB, --background RRGGBB
                      sets them, in hexadecimal (dark modules, light modules)
  The library keeps its colours in memory shared by the processes that have it
  loaded at the same time; after the last of them ends, the next picture is
  black on white again. A setting made by 'qrimage colours' alone therefore
  lasts only while another program using the library keeps running.

  -h, --help          show this help
  -V, --version       show the version

Exit status: 0 done; 1 something failed (the reason is on standard error;
for a batch, at least one line failed); 2 the command line is wrong.
Files are replaced atomically: a failure never leaves a partial picture.
)";

}  // namespace qrtool
