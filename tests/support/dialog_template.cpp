#include "dialog_template.h"

#include <string.h>
#include <wctype.h>

namespace dlltest {

namespace {

struct Reader {
    const uint8_t* p;
    uint16_t u16()
    {
        uint16_t v;
        memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    uint32_t u32()
    {
        uint32_t v;
        memcpy(&v, p, 4);
        p += 4;
        return v;
    }
    short s16() { return static_cast<short>(u16()); }
    std::wstring text()
    {
        std::wstring out;
        for (uint16_t c = u16(); c; c = u16())
            out += static_cast<wchar_t>(c);
        return out;
    }
    // A name or an ordinal (written as "#n").
    std::wstring name()
    {
        uint16_t first;
        memcpy(&first, p, 2);
        if (first == 0xFFFF) {
            p += 2;
            return L"#" + std::to_wstring(u16());
        }
        return text();
    }
    void align4(const uint8_t* base) { p += (4 - ((p - base) & 3)) & 3; }
};

std::wstring class_name(const std::wstring& name)
{
    if (name == L"#128")
        return L"BUTTON";
    if (name == L"#129")
        return L"EDIT";
    if (name == L"#130")
        return L"STATIC";
    std::wstring upper;
    for (wchar_t c : name)
        upper += static_cast<wchar_t>(towupper(c));
    return upper;
}

}  // namespace

bool read_dialog_template(HMODULE module, int id, DialogTemplate* out)
{
    HRSRC found = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found)
        return false;
    const auto* base = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    if (!base)
        return false;
    Reader r{base};
    out->style = r.u32();  // a classic template starts with its style
    out->exStyle = r.u32();
    const uint16_t count = r.u16();
    out->x = r.s16();
    out->y = r.s16();
    out->cx = r.s16();
    out->cy = r.s16();
    out->menu = r.name();
    out->windowClass = r.name();
    out->caption = r.text();
    if (out->style & DS_SETFONT) {
        out->pointSize = r.u16();
        out->font = r.text();
    }
    out->controls.clear();
    for (uint16_t i = 0; i < count; ++i) {
        r.align4(base);
        DialogControl c;
        c.style = r.u32();
        c.exStyle = r.u32();
        c.x = r.s16();
        c.y = r.s16();
        c.cx = r.s16();
        c.cy = r.s16();
        c.id = static_cast<short>(r.u16());
        c.className = class_name(r.name());
        c.text = r.name();
        r.p += r.u16();  // creation data
        out->controls.push_back(c);
    }
    return true;
}

}  // namespace dlltest
