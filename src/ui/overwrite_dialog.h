// The overwrite confirmation dialog (template 10611) and its answers.
#pragma once
#include <windows.h>

#include "archive/central_directory.h"

struct ArchiveHandle;

// The dialog's creation parameter: the existing file and the entry about to replace it.
struct OverwritePrompt {
    const wchar_t* existingPath;
    EntryExtraInfo* extras;  // extras->entry is the central header
};

// Shows the dialog modally on the calling thread; returns IDYES, IDNO, one of the
// IDC_OVERWRITE_ALL .. IDC_BACKUP_EXISTING answers, or -1 for cancel (also when no desktop is
// usable or the dialog cannot be made).
INT_PTR show_overwrite_dialog(OverwritePrompt* prompt);

// On the caller's thread, while the archive's sharedState is -2: shows the dialog for the
// worker's prompt in dialogParam, stores the answer in dialogResult and moves sharedState
// from -2 to -3.
void answer_overwrite_request(ArchiveHandle* archive);

INT_PTR CALLBACK overwrite_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
