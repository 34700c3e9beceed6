// The narrow text of the A exports widened from the locale's character set,
// with iconv.
#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>

#include "failure.h"
#include "text_conversion.h"

namespace qrimage {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// UTF-16 in the host's byte order, so the result can be read as char16_t
// units. Named explicitly: plain "UTF-16" would put a byte-order mark first.
constexpr const char* kHostUtf16 =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

struct IconvCloser {
    void operator()(iconv_t converter) const noexcept { iconv_close(converter); }
};
using Converter = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

Converter OpenConverterFromLocale() {
    // nl_langinfo reads the calling thread's locale (uselocale included).
    iconv_t converter = iconv_open(kHostUtf16, nl_langinfo(CODESET));
    if (converter == iconv_t(-1)) {
        return nullptr;
    }
    return Converter(converter);
}

}  // namespace

std::optional<std::u16string> WidenAnsiText(const char* text) {
    if (text == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    Converter converter = OpenConverterFromLocale();
    if (!converter) {
        RecordSystemFailure();
        return std::nullopt;
    }

    // One UTF-16 unit per input byte is enough for every single-byte and
    // common multibyte set; the loop grows the buffer for anything else.
    const std::size_t length = std::strlen(text);
    std::u16string out(length + 1, u'\0');
    std::size_t used = 0;

    char* in = const_cast<char*>(text);  // iconv's historic signature
    std::size_t inLeft = length;
    bool flushing = false;
    while (true) {
        char* target = reinterpret_cast<char*>(out.data() + used);
        std::size_t targetLeft = (out.size() - used) * sizeof(char16_t);
        const std::size_t result =
            flushing ? iconv(converter.get(), nullptr, nullptr, &target, &targetLeft)
                     : iconv(converter.get(), &in, &inLeft, &target, &targetLeft);
        used = out.size() - targetLeft / sizeof(char16_t);
        if (result != std::size_t(-1)) {
            if (flushing) {
                break;
            }
            flushing = true;  // emit the shift back to the initial state, if any
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2 + 2);
        } else if (errno == EILSEQ || errno == EINVAL) {
            // A byte the character set does not map, or a sequence cut off
            // at the end: it stands as one replacement character, and the
            // conversion resumes at the next byte.
            if (used == out.size()) {
                out.resize(out.size() * 2 + 2);
            }
            out[used++] = kReplacement;
            ++in;
            --inLeft;
        } else {
            RecordSystemFailure();
            return std::nullopt;
        }
    }
    out.resize(used);
    return out;
}

}  // namespace qrimage
