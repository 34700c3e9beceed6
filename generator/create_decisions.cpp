#include "create_decisions.h"

#include <cerrno>

CreateResult JudgeCreate(int errorNumber, const FileIdentity& before, const FileIdentity& after) {
    if (after.exists && after != before) {
        return CreateResult::Written;
    }
    return errorNumber == ERANGE ? CreateResult::TextDoesNotFit : CreateResult::FileNotWritten;
}

bool ShouldDeleteOnClose(const std::optional<FileIdentity>& written, const FileIdentity& now) {
    return written.has_value() && now.exists && *written == now;
}
