#include "create_decisions.h"

CreateResult JudgeCreate(bool textTooLong, const FileIdentity& before, const FileIdentity& after) {
    if (after.exists && after != before) {
        return CreateResult::Written;
    }
    return textTooLong ? CreateResult::TextDoesNotFit : CreateResult::FileNotWritten;
}

bool ShouldDeleteOnClose(const std::optional<FileIdentity>& written, const FileIdentity& now) {
    return written.has_value() && now.exists && *written == now;
}
