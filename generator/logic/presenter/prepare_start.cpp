#include "prepare_start.h"

#include "app_folder_rule.h"
#include "message_texts.h"
#include "resource_file.h"

namespace {

// The reason a folder is refused, in the window's language where it is the
// program's own.
std::string RefusalText(const FolderRefusal& refusal) {
    switch (refusal.kind) {
        case FolderRefusal::Kind::OpenToOthers:
            return Texts::FolderOpenToOthers(refusal.detail);
        case FolderRefusal::Kind::NotOwn:
            return Texts::FolderNotOwn();
        case FolderRefusal::Kind::VariableNotSet:
            return Texts::VariableNotSet(refusal.detail);
        case FolderRefusal::Kind::None:
        case FolderRefusal::Kind::System:
            break;
    }
    return refusal.detail;
}

}  // namespace

PreparedStart PrepareStart(std::string_view libraryName, std::string_view content) {
    const PreparedFolder folder = PrepareApplicationFolder();
    if (folder.refusal.kind != FolderRefusal::Kind::None) {
        return {folder.folder, "",
                Warning{"msgFolderNotUsable",
                        Texts::FolderNotUsable(folder.folder, RefusalText(folder.refusal))}};
    }
    // The program carries its library; it is written out before the window
    // can ask for it.
    const ExtractedFile library = ExtractResourceFile(folder.folder, libraryName, content);
    if (!library.error.empty()) {
        return {
            folder.folder, library.path,
            Warning{"msgLibraryNotWritten", Texts::LibraryNotWritten(library.path, library.error)}};
    }
    return {folder.folder, library.path, std::nullopt};
}
