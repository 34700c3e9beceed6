#include "message_texts.h"

namespace Texts {

namespace {

// "<what>:\n<path>", then a blank line and the reason when there is one.
std::string WithPath(std::string_view what, std::string_view path, std::string_view reason = {}) {
    std::string text(what);
    text.append(":\n").append(path);
    if (!reason.empty()) {
        text.append("\n\n").append(reason);
    }
    return text;
}

}  // namespace

std::string AskToClose() {
    return "Закрыть программу?";
}

std::string TextDoesNotFit() {
    return "Текст не помещается в QR-код с выбранным качеством.\n"
           "Сократите текст или выберите более низкое качество.";
}

std::string FileNotWritten(std::string_view path, std::string_view reason) {
    return WithPath("Не удалось записать файл", path, reason);
}

std::string PictureNotRead(std::string_view path) {
    return WithPath("Не удалось прочитать изображение", path);
}

std::string LibraryNotLoaded(std::string_view path, std::string_view reason) {
    return WithPath("Не удалось загрузить библиотеку", path, reason);
}

std::string LibraryNotWritten(std::string_view path, std::string_view reason) {
    return WithPath("Не удалось записать библиотеку", path, reason);
}

std::string FolderNotUsable(std::string_view path, std::string_view reason) {
    return WithPath("Не удалось создать папку программы", path, reason);
}

std::string FolderOpenToOthers(std::string_view path) {
    return std::string("Другие пользователи могут изменять папку ").append(path).append(".");
}

std::string FolderNotOwn() {
    return "Это не папка или папка другого пользователя.";
}

std::string VariableNotSet(std::string_view variable) {
    return std::string("Не задана переменная окружения ").append(variable).append(".");
}

std::string FileNotDeleted(std::string_view path, std::string_view reason) {
    return WithPath("Не удалось удалить файл", path, reason);
}

std::string NoPrinter() {
    return "Нет доступного принтера.";
}

std::string PrintFailed(std::string_view printer) {
    return std::string("Не удалось выполнить печать на принтере «").append(printer).append("».");
}

std::string ClipboardUnavailable() {
    return "Не удалось поместить изображение в буфер обмена.";
}

}  // namespace Texts
