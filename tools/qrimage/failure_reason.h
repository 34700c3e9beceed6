// What the tool says when a library call fails.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace qrtool {

// The reason for a failed library call, from the errno it left (0: the
// library gave none). Failures of the text or the picture name the cause
// alone ("text too long for a QR code at level M"); file failures name the
// file too ("cannot write out/1.png: Permission denied"). `level` is 0..3.
// Thread-safe.
std::string LibraryFailure(int errorNumber, int32_t level, const std::string& path);

// Why a drawing of the modules (-t utf8) could not be made: as
// LibraryFailure, but one too large is blamed on the margin, as a drawing has
// no pixel size. Thread-safe.
std::string DrawingFailure(int errorNumber, int32_t level);

// The reason for an exception that ended a piece of work: memory ran out, or
// what the exception says. Thread-safe.
std::string ExceptionReason(const std::exception& failure);

// strerror's wording, thread-safe.
std::string SystemReason(int errorNumber);

}  // namespace qrtool
