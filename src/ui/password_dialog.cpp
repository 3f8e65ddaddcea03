#include "ui/password_dialog.h"

#include "core/desktop.h"
#include "core/library_state.h"
#include "crypto/password_buffer.h"
#include "resources/resource_ids.h"
#include "ui/place_window.h"

INT_PTR CALLBACK password_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        place_window(dialog, nullptr);
        SetWindowTextW(dialog, reinterpret_cast<const wchar_t*>(lParam));
        return TRUE;  // the system gives the focus to the edit control
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            // Read into a copy first: other threads may read the shared buffer meanwhile.
            char typed[kPasswordSize];
            typed[0] = 0;
            GetDlgItemTextA(dialog, IDC_PASSWORD_EDIT, typed, kPasswordSize);
            typed[kPasswordSize - 1] = 0;
            store_password(typed);
            SecureZeroMemory(typed, sizeof typed);
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR show_password_dialog(const wchar_t* title)
{
    if (!desktop_usable())
        return -1;  // nobody can type a password: taken as Cancel, like a dialog not made
    return DialogBoxParamW(g_library.moduleInstance, MAKEINTRESOURCEW(IDD_PASSWORD), nullptr, password_dialog_proc,
                           reinterpret_cast<LPARAM>(title));
}
