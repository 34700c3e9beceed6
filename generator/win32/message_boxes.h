// The Win32 program's message boxes, titled "QR", with the UTF-8 texts of
// message_texts.h.
#pragma once

#include <windows.h>

#include <string>

// Asks "Закрыть программу?" with Yes and No, Yes the default, a question
// mark. True for Yes. Modal; GUI thread.
bool AskToClose(HWND owner);

// Shows `text` as a warning with one OK button. Modal; GUI thread.
void Warn(HWND owner, const std::string& text);
