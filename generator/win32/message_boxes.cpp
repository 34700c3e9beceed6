#include "message_boxes.h"

#include "message_texts.h"
#include "utf.h"

bool AskToClose(HWND owner) {
    return MessageBoxW(owner, WideFromUtf8(Texts::AskToClose()).c_str(),
                       WideFromUtf8(Texts::kTitle).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

void Warn(HWND owner, const std::string& text) {
    MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(Texts::kTitle).c_str(),
                MB_OK | MB_ICONWARNING);
}
