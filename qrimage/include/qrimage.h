/*
 * qrimage: turns a text into a QR Code picture.
 *
 * The library encodes a text as a full-size QR Code symbol (versions 1 to 40,
 * chosen as the smallest that holds the text) through libqrencode and hands
 * the symbol out as a picture: a 32-bit BMP file, a 1-bit palette PNG file or
 * PNG memory block, or an in-memory 32-bit bitmap behind a handle. These
 * thirteen classic functions draw in two colours shared between processes.
 * A second family (QrImage..., at the end) takes every setting from the
 * caller with each call, adds SVG, EPS, resolution, a minimum version and
 * Micro QR symbols, and shares nothing.
 *
 * Picture geometry, shared by every output: with w the symbol's width in
 * modules, the picture is a square of S = (w + 2 * margin) * moduleSize
 * pixels. A quiet zone of `margin` modules in the background colour runs
 * along all four sides, and every module is a moduleSize x moduleSize block,
 * in the foreground colour when it is dark.
 *
 * Common arguments:
 *   text        zero-terminated; UTF-16 for the W functions, the character
 *               set of the calling thread's LC_CTYPE locale for the A
 *               functions (bytes it cannot convert become U+FFFD). The text
 *               is encoded as UTF-8, case-sensitive, without an ECI header;
 *               GetPNGA alone encodes the caller's bytes unchanged.
 *   fileName    zero-terminated. An A name is used as given: its bytes go to
 *               the file system unchanged, whatever the locale. A W name is
 *               converted from UTF-16 to UTF-8; one holding an unpaired
 *               surrogate has no such form and makes nothing (EINVAL).
 *               Relative names are relative to the current folder.
 *   margin      quiet zone width in modules, 0 or more.
 *   moduleSize  edge of one module in pixels, 1 or more.
 *   level       error correction: 0 = L, 1 = M, 2 = Q, 3 = H.
 *
 * Failure: the functions return no error code. A call that cannot make its
 * picture produces nothing: no file is created or touched, no handle or block
 * is returned, out-parameters keep the caller's values. It then sets the
 * calling thread's errno to the reason:
 *   EINVAL   a null or empty text, a level outside 0..3, a negative margin,
 *            a moduleSize below 1, a null pngSize or pngBuffer, a null or
 *            empty file name or a W name with an unpaired surrogate, a file
 *            name that leads to a device, pipe or socket; DeleteObject and
 *            GetObjectW: a handle that names no bitmap of this library
 *            (null, foreign or released already), GetObjectW: a size too
 *            small for a BITMAP record
 *   ERANGE   the text does not fit a version 40 symbol at that level; one
 *            longer than QRIMAGE_LONGEST_TEXT UTF-8 bytes is refused at
 *            once, without being read whole
 *   EFBIG    the picture's pixel memory (4 * S * S bytes) would exceed
 *            2^31 - 1 bytes
 *   ENOMEM   memory ran out
 *   other    for files, the system's own reason: EACCES, EROFS, ENOENT (a
 *            missing folder), EISDIR (a folder's name), ENOSPC, EDQUOT,
 *            ELOOP, ENAMETOOLONG, EIO, ...
 * When several arguments are wrong, the reason is that of one of them. A call
 * that succeeds leaves errno as the caller had it. The library never ends the
 * process, never prints, and never lets an exception escape.
 *
 * Files are replaced atomically: the picture is written to a temporary file
 * beside the target and renamed over it, so a failed call leaves an existing
 * file as it was and no temporary file behind. On Linux, where the file
 * system can make a file without a name (O_TMPFILE), the picture has no name
 * until it is complete: a new file appears whole under its name, and not
 * even a process killed outright leaves anything; an existing one is
 * replaced through a temporary name that exists only from then to the
 * rename. A new file's mode is what open(2) with 0666 gives it (the umask;
 * /proc is never read for it). A target the caller may not
 * write is left alone. The replaced file is a new file: it keeps the old
 * one's permission bits, and its owner and group as far as the caller may
 * set them (a member of the file's group keeps the group), but other hard
 * links to the old file keep the old content. A symbolic link stays, and the
 * file it leads to is replaced; but a link in a sticky, world-writable folder
 * (such as /tmp) that belongs neither to the caller nor to the folder's owner,
 * which another user may have planted there, is not followed (EACCES),
 * whatever the system's fs.protected_symlinks says. Until it is complete, a
 * named temporary file can be opened by its owner alone (mode 0600); it gets
 * its final mode just before the rename. Its descriptor is never 0, 1 or 2, so
 * that nothing a program writes to a standard stream it has closed lands in
 * it.
 *
 * Colours are 32-bit words 0x??BBGGRR (red in the lowest byte); the highest
 * byte is stored and returned but never drawn. They are shared by all
 * processes of the same user that have the same library file loaded (the
 * file as it was when it was loaded: a later chdir does not matter, a
 * rebuilt or replaced file starts afresh), for as long as one of them has
 * it: after the last one unloads it or ends, the next process starts from
 * the defaults. The shared words live in a memory object of the user, in
 * $XDG_RUNTIME_DIR when it is a folder of the user's alone, else in
 * /dev/shm (processes that see different folders do not share); the last
 * process out removes it, and one that nobody holds any more (its processes
 * were killed, or its library file replaced) goes when the user next loads
 * the library. Where no such object can be had (a full tmpfs, anything under
 * the name but the user's own object: another user's file, a second link to
 * a file), the colours are the process's own. The object's descriptor is
 * never 0, 1 or 2, also while the standard streams are closed.
 *
 * Threads: every function may be called from several threads at once. The
 * colours are read at the start of each picture, one word after the other.
 *
 * Windows (qrimage32.dll, qrimage64.dll): the A functions widen texts and
 * file names from the ANSI code page (CP_ACP) with MultiByteToWideChar; W
 * file names go to the wide file functions unchanged. GetHBitmapW/A return a
 * GDI DIB section (top-down, 32 bits) that the caller reads with GetObjectW
 * and releases with GDI's DeleteObject. Failures set the thread's last error
 * (GetLastError) instead of errno: ERROR_INVALID_PARAMETER for EINVAL,
 * ERROR_INSUFFICIENT_BUFFER for ERANGE, ERROR_FILE_TOO_LARGE for EFBIG,
 * ERROR_NOT_ENOUGH_MEMORY for ENOMEM, and the system's own code for files
 * (ERROR_ACCESS_DENIED for a read-only file, ERROR_PATH_NOT_FOUND, ...). The
 * colours live in a named file mapping of the user, owned by and open to that
 * user alone, that exists while a process has the DLL file loaded.
 */
#ifndef QRIMAGE_H
#define QRIMAGE_H

#include <stdint.h>

#if defined(_WIN32)
/* On Windows the library is qrimage32.dll (32-bit) or qrimage64.dll (64-bit):
 * __stdcall, undecorated names, the platform's own types. Its exports come
 * from a module-definition file, so the declarations carry no dllexport. */
#include <windows.h>
#define QRIMAGE_CALL __stdcall
#define QRIMAGE_API
#else
#define QRIMAGE_CALL
#define QRIMAGE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The most UTF-8 bytes any symbol holds (version 40 at level L takes 7,089
 * digits; nothing packs denser): a longer text never fits. */
#define QRIMAGE_LONGEST_TEXT 7089

/* One UTF-16 code unit of the W functions' texts and file names. */
#if defined(_WIN32)
typedef wchar_t qrimage_char16;
#elif defined(__cplusplus) && __cplusplus >= 201103L
typedef char16_t qrimage_char16;
#else
typedef uint_least16_t qrimage_char16;
#endif

#if !defined(_WIN32)
/* The platform's record layouts, with its field names, so that code reading a
 * bitmap reads the same on every platform. */
typedef uint32_t COLORREF;

typedef struct tagBITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight; /* negative: rows lie top row first */
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression; /* 0 = BI_RGB */
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagBITMAP {
    int32_t bmType; /* always 0 */
    int32_t bmWidth;
    int32_t bmHeight; /* positive */
    int32_t bmWidthBytes;
    uint16_t bmPlanes;
    uint16_t bmBitsPixel;
    void* bmBits;
} BITMAP;

typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    uint32_t dsBitfields[3];
    void* dshSection;
    uint32_t dsOffset;
} DIBSECTION;

/* Opaque handle of a bitmap made by this library: a number, not an address.
 * No handle is given out twice while the library is loaded, so a released
 * handle never names a newer bitmap. */
typedef struct QrImageBitmap* HBITMAP;
#endif

/* ---- Bitmap handles -------------------------------------------------------
 * The picture drawn into a new 32-bit bitmap: S x S pixels, 4 bytes each in
 * memory order blue, green, red, 255, rows of 4 * S bytes top row first with
 * nothing between them. Returns null (errno set) when nothing can be made.
 * The caller owns the handle and releases it with DeleteObject. */
QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapW(const qrimage_char16* text, int32_t margin,
                                             int32_t moduleSize, int32_t level);
QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapA(const char* text, int32_t margin, int32_t moduleSize,
                                             int32_t level);

#if !defined(_WIN32)
/* Releases a bitmap made by this library, pixel memory included. Returns
 * nonzero when it did; 0, with errno EINVAL, for null or a handle this
 * library did not make or has released already. */
QRIMAGE_API int32_t QRIMAGE_CALL DeleteObject(HBITMAP bitmap);

/* Describes a bitmap made by this library. With size >= sizeof(DIBSECTION)
 * fills a DIBSECTION (its header has the negative height); with a smaller
 * size >= sizeof(BITMAP) fills a BITMAP record (positive height, bmBits
 * pointing at the top row). With a null `out` returns sizeof(BITMAP), as the
 * platform does. Returns the number of bytes written; 0, with errno EINVAL,
 * for an unknown handle or a size too small. The pixel pointer stays valid
 * until DeleteObject. */
QRIMAGE_API int32_t QRIMAGE_CALL GetObjectW(HBITMAP bitmap, int32_t size, void* out);
#endif

/* ---- BMP files -------------------------------------------------------------
 * Writes the picture as an uncompressed 32-bit BMP file: 14-byte file header,
 * 40-byte info header, then the rows bottom row first, pixels as blue, green,
 * red, 255. fileName as under "Common arguments". */
QRIMAGE_API void QRIMAGE_CALL GenerateBMPW(const qrimage_char16* fileName,
                                           const qrimage_char16* text, int32_t margin,
                                           int32_t moduleSize, int32_t level);
QRIMAGE_API void QRIMAGE_CALL GenerateBMPA(const char* fileName, const char* text, int32_t margin,
                                           int32_t moduleSize, int32_t level);

/* ---- PNG files and blocks --------------------------------------------------
 * The picture as a 1-bit palette PNG: palette entry 0 the foreground colour,
 * entry 1 the background colour, both fully opaque. A file and a block made
 * from the same arguments and colours hold the same bytes. fileName as
 * under "Common arguments". */
QRIMAGE_API void QRIMAGE_CALL GeneratePNGW(const qrimage_char16* fileName,
                                           const qrimage_char16* text, int32_t margin,
                                           int32_t moduleSize, int32_t level);
QRIMAGE_API void QRIMAGE_CALL GeneratePNGA(const char* fileName, const char* text, int32_t margin,
                                           int32_t moduleSize, int32_t level);

/* Returns the PNG in a new block: its length through pngSize, its address
 * through pngBuffer. Both must point to writable variables; they are written
 * only when a PNG was made. The caller owns the block and gives it back with
 * DestroyBuffer, exactly once. GetPNGA encodes the text's bytes unchanged. */
QRIMAGE_API void QRIMAGE_CALL GetPNGW(const qrimage_char16* text, int32_t margin,
                                      int32_t moduleSize, int32_t level, uint32_t* pngSize,
                                      unsigned char** pngBuffer);
QRIMAGE_API void QRIMAGE_CALL GetPNGA(const char* text, int32_t margin, int32_t moduleSize,
                                      int32_t level, uint32_t* pngSize, unsigned char** pngBuffer);

/* Gives back a block returned by GetPNGW, GetPNGA, QrImageGetBlockW or
 * QrImageGetBlockA. Null does nothing. */
QRIMAGE_API void QRIMAGE_CALL DestroyBuffer(unsigned char* buffer);

/* ---- Colours ---------------------------------------------------------------
 * Foreground: dark modules, default 0xFF000000 (black). Background: light
 * modules and the quiet zone, default 0xFFFFFFFF (white). Set stores all four
 * bytes unchanged; a change applies to every picture begun after it, in this
 * process and in the others that share the colours. These four never fail
 * and never touch errno. */
QRIMAGE_API void QRIMAGE_CALL SetForegroundColor(COLORREF colour);
QRIMAGE_API COLORREF QRIMAGE_CALL GetForegroundColor(void);
QRIMAGE_API void QRIMAGE_CALL SetBackgroundColor(COLORREF colour);
QRIMAGE_API COLORREF QRIMAGE_CALL GetBackgroundColor(void);

/* ---- The per-picture family ------------------------------------------------
 * Everything a picture needs travels with the call in a QrImageOptions
 * record: no shared or process-wide state is read or written (the colours
 * above are the classic family's alone), so any number of threads may make
 * pictures with different options at once.
 *
 * Colours here are RGBA words 0xAABBGGRR: red in the lowest byte as above,
 * and the highest byte the opacity (255 opaque, 0 fully transparent). A light
 * colour with opacity 0 gives a transparent background.
 *
 * Text and file names follow the "Common arguments" above (W: UTF-16; A: the
 * locale's character set for texts, the bytes unchanged for names). Failures
 * follow the classic rules (nothing made, errno set), and add:
 *   EINVAL   a null options record, a record size below
 *            QRIMAGE_OPTIONS_SIZE_V1 or above 4096, a larger record whose
 *            bytes beyond the known fields are not all zero, a level outside
 *            0..3 or level 3 (H) for a Micro QR symbol, a minimum version
 *            outside 0..40 (0..4 for Micro QR), a dpi above 100000, an
 *            unknown format, a null module-size or block pointer
 *   ERANGE   the text does not fit the largest symbol of the kind (version
 *            40, or M4 for Micro QR) at that level and minimum version
 */

/* The options of one picture. `size` comes first and says how many bytes
 * the caller's record has (sizeof(QrImageOptions) as the caller was built),
 * so that the record can grow: a record from an older caller, shorter than
 * today's, is read as far as it goes and the rest takes the defaults; a
 * longer one from a newer caller is accepted only when every byte past the
 * fields this library knows is zero (a newer field left at its default).
 * Start from QRIMAGE_OPTIONS_INIT and change what you need. */
typedef struct QrImageOptions {
    uint32_t size;       /* sizeof(QrImageOptions) */
    int32_t level;       /* error correction 0..3 = L, M, Q, H (default 1, M) */
    int32_t margin;      /* quiet zone in modules, 0 or more (default 4) */
    int32_t moduleSize;  /* pixels per module edge, 1 or more (default 4) */
    uint32_t foreground; /* dark modules, RGBA 0xAABBGGRR (default 0xFF000000) */
    uint32_t background; /* light modules and quiet zone (default 0xFFFFFFFF) */
    uint32_t dpi;        /* dots per inch written into the picture, 0 = none */
    int32_t minVersion;  /* smallest version used: 1..40, M1..M4 as 1..4; 0 = any */
    int32_t micro;       /* nonzero: a Micro QR symbol (levels L, M, Q only) */
} QrImageOptions;

/* The size of the first version of the record: the smallest accepted. */
#define QRIMAGE_OPTIONS_SIZE_V1 36u

/* A record holding the defaults: QrImageOptions o = QRIMAGE_OPTIONS_INIT; */
#define QRIMAGE_OPTIONS_INIT \
    { (uint32_t)sizeof(QrImageOptions), 1, 4, 4, 0xFF000000u, 0xFFFFFFFFu, 0, 0, 0 }

/* Picture formats of QrImageWriteFile and QrImageGetBlock. */
enum {
    QRIMAGE_PNG = 1, /* 1-bit palette PNG: entry 0 dark, 1 light; a tRNS chunk
                        holding both opacities when either is below 255; a pHYs
                        chunk (pixels per metre) when dpi is set */
    QRIMAGE_BMP = 2, /* 32-bit BMP as GenerateBMPW makes it, in these colours
                        drawn opaque (BMP keeps no opacity); with dpi its pixels
                        per metre fields are set */
    QRIMAGE_SVG = 3, /* SVG: a viewBox in modules, the dark modules as one path
                        (shape-rendering crispEdges), a background rectangle
                        unless the light colour's opacity is 0; width and
                        height in pixels, or in inches when dpi is set */
    QRIMAGE_EPS = 4  /* EPS 3.0: one module is moduleSize points (72 per inch),
                        or moduleSize pixels at dpi; %%BoundingBox from 0 0; the
                        light colour drawn unless its opacity is 0, colours
                        otherwise opaque */
};

/* A symbol made with the options' level, minimum version and Micro QR
 * setting (margin, sizes, colours and dpi are not used). The caller owns it
 * and releases it with QrImageFreeSymbol. Null, errno set, on failure. */
typedef struct QrImageSymbol QrImageSymbol;
QRIMAGE_API QrImageSymbol* QRIMAGE_CALL QrImageEncodeW(const qrimage_char16* text,
                                                       const QrImageOptions* options);
QRIMAGE_API QrImageSymbol* QRIMAGE_CALL QrImageEncodeA(const char* text,
                                                       const QrImageOptions* options);

/* The symbol's width in modules (21..177; 11..17 for Micro QR); 0, errno
 * EINVAL, for null. */
QRIMAGE_API int32_t QRIMAGE_CALL QrImageSymbolWidth(const QrImageSymbol* symbol);

/* The symbol's modules: width * width bytes, row by row from the top, 1 for a
 * dark module and 0 for a light one, without the quiet zone. Valid until the
 * symbol is released; null, errno EINVAL, for null. */
QRIMAGE_API const unsigned char* QRIMAGE_CALL QrImageSymbolModules(const QrImageSymbol* symbol);

/* Releases a symbol. Null does nothing. */
QRIMAGE_API void QRIMAGE_CALL QrImageFreeSymbol(QrImageSymbol* symbol);

/* Writes the picture of `text` in `format` (QRIMAGE_PNG, _BMP, _SVG, _EPS)
 * into fileName, replaced atomically as above. */
QRIMAGE_API void QRIMAGE_CALL QrImageWriteFileW(const qrimage_char16* fileName,
                                                const qrimage_char16* text,
                                                const QrImageOptions* options, int32_t format);
QRIMAGE_API void QRIMAGE_CALL QrImageWriteFileA(const char* fileName, const char* text,
                                                const QrImageOptions* options, int32_t format);

/* The same picture in a new block: its length through blockSize, its address
 * through block, written only when a picture was made. The block holds the
 * same bytes as the file; the caller gives it back with DestroyBuffer. */
QRIMAGE_API void QRIMAGE_CALL QrImageGetBlockW(const qrimage_char16* text,
                                               const QrImageOptions* options, int32_t format,
                                               uint32_t* blockSize, unsigned char** block);
QRIMAGE_API void QRIMAGE_CALL QrImageGetBlockA(const char* text, const QrImageOptions* options,
                                               int32_t format, uint32_t* blockSize,
                                               unsigned char** block);

#ifdef __cplusplus
}
#endif

#endif /* QRIMAGE_H */
