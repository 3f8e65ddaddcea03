// The language of the dialogs and questions: Japanese for a Japanese user locale, else English.
#pragma once
#include <windows.h>

inline bool user_locale_is_japanese() { return LOWORD(GetUserDefaultLCID()) == 0x0411; }
