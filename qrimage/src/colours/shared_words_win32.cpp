// The colour words on Windows (shared_words.h): a named file mapping of the user, opened when
// the DLL is loaded and closed when it is unloaded. The kernel keeps a
// mapping while any process holds it, so the colours are shared exactly
// while some process has this DLL file loaded, and the next process after
// the last one starts from the defaults (a new mapping is zero-filled).
//
// The name holds the user's SID and the DLL file's identity (volume serial
// number, file index, last write time), so each user and each copy of the
// DLL has its own words. The mapping's security descriptor makes that user
// its owner and grants access to that user only; a mapping of that name
// owned by anybody else is not used, and the words then stay private to the
// process.
#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>

#include <atomic>
#include <memory>
#include <string>

#include "colours/shared_words.h"

namespace qrimage {
namespace {

constexpr std::size_t kColourWordCount = 2;
constexpr DWORD kMappingBytes = kColourWordCount * sizeof(uint32_t);

// The process's own words, used when no mapping can be had and after the
// mapping is closed at unload; zero-initialised, like a new mapping.
alignas(std::atomic_ref<uint32_t>::required_alignment) uint32_t processLocalWords[kColourWordCount];

// The words in use: constant-initialised, so valid before any constructor.
std::atomic<uint32_t*> currentWords{processLocalWords};

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct LocalFreer {
    void operator()(void* block) const noexcept { LocalFree(block); }
};
template <class T>
using LocalBlock = std::unique_ptr<T, LocalFreer>;

// The SID of the user this process runs as, in its "S-1-5-..." form.
std::wstring UserSid() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return {};
    }
    const UniqueHandle token(rawToken);
    DWORD bytes = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &bytes);
    auto buffer = std::make_unique<unsigned char[]>(bytes);
    if (bytes == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.get(), bytes, &bytes)) {
        return {};
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
        return {};
    }
    const LocalBlock<wchar_t> owned(text);
    return text;
}

// Volume serial number, file index and last write time of the file that
// holds this code, as one hexadecimal string.
std::wstring ModuleFileIdentity() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&ModuleFileIdentity), &module)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const HANDLE rawFile =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (rawFile == INVALID_HANDLE_VALUE) {
        return {};
    }
    const UniqueHandle file(rawFile);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) {
        return {};
    }
    wchar_t text[64];
    swprintf(text, 64, L"%08lx-%08lx%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
             info.nFileIndexHigh, info.nFileIndexLow, info.ftLastWriteTime.dwHighDateTime,
             info.ftLastWriteTime.dwLowDateTime);
    return text;
}

// True when the mapping's owner is the user `sid`.
bool OwnedBy(HANDLE mapping, const std::wstring& sid) {
    DWORD bytes = 0;
    GetKernelObjectSecurity(mapping, OWNER_SECURITY_INFORMATION, nullptr, 0, &bytes);
    auto descriptor = std::make_unique<unsigned char[]>(bytes);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    wchar_t* ownerText = nullptr;
    if (bytes == 0 ||
        !GetKernelObjectSecurity(mapping, OWNER_SECURITY_INFORMATION, descriptor.get(), bytes,
                                 &bytes) ||
        !GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) || owner == nullptr ||
        !ConvertSidToStringSidW(owner, &ownerText)) {
        return false;
    }
    const LocalBlock<wchar_t> owned(ownerText);
    return sid == ownerText;
}

// The open mapping and its view, released when the DLL is unloaded.
class SharedColourMapping {
  public:
    SharedColourMapping() {
        try {
            Attach();
        } catch (...) {
            Detach();  // out of memory while naming it: the words stay private
        }
        if (view_ != nullptr) {
            currentWords.store(view_);
        }
    }
    // A late call (another static destructor, say) still finds the colours
    // as they were: they are carried over into the process's own words.
    ~SharedColourMapping() {
        if (view_ != nullptr) {
            for (std::size_t i = 0; i < kColourWordCount; ++i) {
                std::atomic_ref<uint32_t>(processLocalWords[i])
                    .store(std::atomic_ref<uint32_t>(view_[i]).load());
            }
            currentWords.store(processLocalWords);
        }
        Detach();
    }
    SharedColourMapping(const SharedColourMapping&) = delete;
    SharedColourMapping& operator=(const SharedColourMapping&) = delete;

  private:
    void Attach() {
        const std::wstring sid = UserSid();
        const std::wstring file = ModuleFileIdentity();
        if (sid.empty() || file.empty()) {
            return;
        }
        // Owned by this user, generic access for this user alone, protected
        // from inheriting more.
        const std::wstring sddl = L"O:" + sid + L"D:P(A;;GA;;;" + sid + L")";
        PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                  &rawDescriptor, nullptr)) {
            return;
        }
        const LocalBlock<void> descriptor(rawDescriptor);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        const std::wstring name = L"Local\\qrimage-colours-" + sid + L"-" + file;
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                      kMappingBytes, name.c_str());
        if (mapping_ == nullptr) {
            return;
        }
        if (GetLastError() == ERROR_ALREADY_EXISTS && !OwnedBy(mapping_, sid)) {
            Detach();
            return;
        }
        view_ = static_cast<uint32_t*>(
            MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kMappingBytes));
        if (view_ == nullptr) {
            Detach();
        }
    }

    void Detach() noexcept {
        if (view_ != nullptr) {
            UnmapViewOfFile(view_);
            view_ = nullptr;
        }
        if (mapping_ != nullptr) {
            CloseHandle(mapping_);
            mapping_ = nullptr;
        }
    }

    HANDLE mapping_ = nullptr;
    uint32_t* view_ = nullptr;
};

// Constructed while the DLL is being loaded, destroyed while it is unloaded.
[[maybe_unused]] const SharedColourMapping mapping;

}  // namespace

uint32_t* ColourWords() noexcept {
    return currentWords.load();
}

}  // namespace qrimage
