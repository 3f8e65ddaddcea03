// The password dialog (template 10601): asks for the password of an encrypted entry.
#pragma once
#include <windows.h>

// Shows the dialog modally on the calling thread with title as its caption. Returns 1 after OK
// (the typed text is then the process-wide password), 0 after Cancel, Escape or the close box
// (the password is left as it was), -1 when the dialog could not be made.
INT_PTR show_password_dialog(const wchar_t* title);

INT_PTR CALLBACK password_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
