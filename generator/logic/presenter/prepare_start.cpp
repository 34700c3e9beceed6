#include "prepare_start.h"

#include "app_folder_rule.h"
#include "message_texts.h"
#include "resource_file.h"

PreparedStart PrepareStart(std::string_view libraryName, std::string_view content) {
    const PreparedFolder folder = PrepareApplicationFolder();
    if (!folder.error.empty()) {
        return {folder.folder, "",
                Warning{"msgFolderNotUsable", Texts::FolderNotUsable(folder.folder, folder.error)}};
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
