// The narrow text of the A exports widened from the locale's character set,
// with iconv.
#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "encode/text_conversion.h"
#include "failure.h"

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
    const char* characterSet = nl_langinfo(CODESET);
    iconv_t converter = iconv_open(kHostUtf16, characterSet);
    // glibc says EINVAL both for a character set it cannot convert and for
    // an allocation that failed while it loaded the converter (its module
    // table, the module itself). A locale's own character set always has a
    // converter, so one more try tells the passing shortage from the lasting
    // case, whose reason then stands.
    if (converter == iconv_t(-1) && errno == EINVAL) {
        converter = iconv_open(kHostUtf16, characterSet);
    }
    if (converter == iconv_t(-1)) {
        return nullptr;
    }
    return Converter(converter);
}

}  // namespace

std::optional<std::u16string> WidenAnsiText(const char* text, std::size_t longest) {
    const std::optional<std::size_t> bounded = BoundedNarrowLength(text, longest);
    if (!bounded) {
        return std::nullopt;
    }
    const std::size_t length = *bounded;
    Converter converter = OpenConverterFromLocale();
    if (!converter) {
        RecordSystemFailure();
        return std::nullopt;
    }

    // One UTF-16 unit per input byte is enough for every single-byte and
    // common multibyte set; the buffer grows for anything else, but never
    // past one unit more than `longest`.
    const std::size_t mostUnits = longest == SIZE_MAX ? SIZE_MAX : longest + 1;
    std::u16string out(std::min(length, mostUnits) + 1, u'\0');
    const auto grow = [&] {
        if (out.size() >= mostUnits) {
            return false;
        }
        out.resize(out.size() > (mostUnits - 2) / 2 ? mostUnits : out.size() * 2 + 2);
        return true;
    };
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
            if (!grow()) {
                RecordFailure(Failure::TextTooLong);
                return std::nullopt;
            }
        } else if (errno == EILSEQ || errno == EINVAL) {
            // A byte the character set does not map, or a sequence cut off
            // at the end: it stands as one replacement character, and the
            // conversion resumes at the next byte.
            if (used == out.size() && !grow()) {
                RecordFailure(Failure::TextTooLong);
                return std::nullopt;
            }
            out[used++] = kReplacement;
            ++in;
            --inLeft;
        } else {
            RecordSystemFailure();
            return std::nullopt;
        }
    }
    if (used > longest) {
        RecordFailure(Failure::TextTooLong);
        return std::nullopt;
    }
    out.resize(used);
    return out;
}

}  // namespace qrimage
