// Classic dialog templates read back from a module's resources, field by field.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace dlltest {

struct DialogControl {
    int id;
    std::wstring className;  // predefined classes by name: BUTTON, EDIT, STATIC
    std::wstring text;
    DWORD style;
    short x, y, cx, cy;
    DWORD exStyle = 0;
    bool operator==(const DialogControl&) const = default;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, windowClass, caption;
    uint16_t pointSize = 0;
    std::wstring font;
    std::vector<DialogControl> controls;
};

// The template `id` in English (United States); false when the module has none.
bool read_dialog_template(HMODULE module, int id, DialogTemplate* out);

}  // namespace dlltest
