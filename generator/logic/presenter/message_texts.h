// What the window says to the user, as UTF-8 texts. Toolkit-free, so that
// every build of the window says the same. Paths and reasons are shown as
// given. Pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace Texts {

inline constexpr char kTitle[] = "QR";

std::string AskToClose();
std::string TextDoesNotFit();
// `reason`: the system's reason, e.g. strerror(errno); "" leaves it out.
std::string FileNotWritten(std::string_view path, std::string_view reason);
std::string PictureNotRead(std::string_view path);
std::string LibraryNotLoaded(std::string_view path, std::string_view reason);
std::string LibraryNotWritten(std::string_view path, std::string_view reason);
std::string FolderNotUsable(std::string_view path, std::string_view reason);
// Reasons for FolderNotUsable that are the program's own, not the system's.
std::string FolderOpenToOthers(std::string_view path);
std::string FolderNotOwn();
std::string VariableNotSet(std::string_view variable);
std::string FileNotDeleted(std::string_view path, std::string_view reason);
std::string NoPrinter();
std::string PrintFailed(std::string_view printer);
std::string ClipboardUnavailable();

}  // namespace Texts
