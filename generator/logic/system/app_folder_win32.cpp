// The application folder's facts on Windows: the module's own path, a trial
// file for the right to write there, and %LOCALAPPDATA%.
#include <windows.h>

#include <string>

#include "app_folder_rule.h"
#include "utf.h"

namespace {

std::wstring Environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

std::wstring ExecutableFolder() {
    // Room for the longest path Windows has (32767 characters).
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
    const std::size_t separator = path.find_last_of(L'\\');
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// Whether this user may create files in `folder`: access control lists
// decide, so a file is made and removed at once.
bool MayCreateFilesIn(const std::wstring& folder) {
    const std::wstring trial =
        folder + L"\\qrgenerator-write-test-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(trial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

}  // namespace

bool ExecutableFolderOpenToOthers() {
    return false;  // access control lists are not read (see PrepareApplicationFolder)
}

PreparedFolder PrepareApplicationFolder() {
    const std::wstring executableFolder = ExecutableFolder();
    const FolderFacts facts{
        .overridden = Utf8FromWide(Environment(WideFromUtf8(kApplicationFolderVariable).c_str())),
        .executableFolder = Utf8FromWide(executableFolder),
        .executableFolderWritable = !executableFolder.empty() && MayCreateFilesIn(executableFolder),
        // Access control lists are not read: who else may write there is
        // left to the folder's owner.
        .executableFolderShared = false,
        .executableFolderOfTheSystem = false,
        .perUserBase = Utf8FromWide(Environment(L"LOCALAPPDATA")),
    };
    PreparedFolder prepared{ChooseApplicationFolder(facts), {}};
    if (prepared.folder.empty()) {
        prepared.refusal = {FolderRefusal::Kind::VariableNotSet, "LOCALAPPDATA"};
    } else if (facts.overridden.empty() && !ExecutableFolderUsable(facts) &&
               !CreateDirectoryW(WideFromUtf8(prepared.folder).c_str(), nullptr) &&
               GetLastError() != ERROR_ALREADY_EXISTS) {
        prepared.refusal = {FolderRefusal::Kind::System, SystemReason(GetLastError())};
    }
    return prepared;
}
