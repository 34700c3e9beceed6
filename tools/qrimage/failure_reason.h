// What the tool says when a library call fails.
#pragma once

#include <cstdint>
#include <string>

namespace qrtool {

// The reason for a failed library call, from the errno it left (0: the
// library gave none). Failures of the text or the picture name the cause
// alone ("text too long for a QR code at level M"); file failures name the
// file too ("cannot write out/1.png: Permission denied"). `level` is 0..3.
// Thread-safe.
std::string LibraryFailure(int errorNumber, int32_t level, const std::string& path);

// strerror's wording, thread-safe.
std::string SystemReason(int errorNumber);

}  // namespace qrtool
