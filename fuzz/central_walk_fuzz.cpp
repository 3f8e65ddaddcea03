// The central-directory walk over arbitrary directory bytes: the check whether it can be walked,
// headers, names from the header or a Unicode-path record, neutralisation, their UTF-16 form,
// extra fields, directories by attribute, and the listing fields of each entry.
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <vector>

#include "archive/entry_extras.h"
#include "archive/entry_names.h"
#include "archive/zip_format.h"
#include "listing/listing.h"
#include "listing/listing_fields.h"

namespace {

uint64_t fake_dos_time(uint16_t date, uint16_t time) { return static_cast<uint64_t>(date) << 16 | time; }

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// What neutralisation promises: no leading separator, no segment that Windows folds into "..",
// no byte that would make a drive, a stream or a device name.
void check_neutralised(const char* name)
{
    check(!is_separator(name[0]));
    const char* segment = name;
    for (const char* p = name;; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        check(c == 0 || (c >= 0x20 && c != ':' && c != '"' && c != '<' && c != '>' && c != 0x7F));
        if (c == 0 || is_separator(*p)) {
            int dots = 0;
            bool onlyDotsAndBlanks = true;
            for (const char* q = segment; q < p; ++q) {
                if (*q == '.')
                    ++dots;
                else if (*q != ' ')
                    onlyDotsAndBlanks = false;
            }
            check(!(onlyDotsAndBlanks && dots >= 2));
            if (c == 0)
                break;
            segment = p + 1;
        }
    }
}

bool inside(const uint8_t* p, size_t length, const std::vector<uint8_t>& buffer)
{
    return p >= buffer.data() && p + length <= buffer.data() + buffer.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int32_t safePaths = data[0] & 1;
    const int32_t wantAll = (data[0] & 2) ? kExtraWantAllZip64 : 0;
    std::vector<uint8_t> directory(data + 1, data + size);
    const DirectoryCheck usable = check_central_directory(directory.data(), directory.data() + directory.size(), 1,
                                                          directory.data(), static_cast<uint32_t>(directory.size()));
    CentralCursor cursor = {directory.data(), directory.data() + directory.size(), safePaths};
    char name[kNameSize];
    bool utf8;
    while (const uint8_t* header = take_central_entry(&cursor, name, &utf8)) {
        check(inside(header, kCentralHeaderSize, directory));
        check(cursor.current > header && cursor.current <= cursor.end);
        check(strnlen(name, kNameSize) < kNameSize);
        if (safePaths) {
            check_neutralised(name);
            char again[kNameSize];
            memcpy(again, name, kNameSize);
            neutralise_name(again);
            check(strcmp(again, name) == 0);
        }

        // The UTF-16 form holds an ASCII character only where the name holds that byte.
        char16_t utf16[kNameSize];
        const size_t unitCount = decode_utf8(name, utf16);
        check(unitCount <= strlen(name) && utf16[unitCount] == 0);
        size_t asciiBytes = 0, asciiUnits = 0;
        for (size_t i = 0; name[i]; ++i)
            asciiBytes += static_cast<unsigned char>(name[i]) < 0x80;
        for (size_t i = 0; i < unitCount; ++i)
            asciiUnits += utf16[i] < 0x80;
        check(asciiBytes == asciiUnits);

        EntryExtraInfo extras = {};
        extras.flags = wantAll;
        const int32_t flags = read_entry_extras_with(header, &extras, fake_dos_time);
        check((flags & ~0x3D) == 0);
        if (flags & kExtraHasZip64Size)
            check(inside(extras.zip64UncompressedSize, 8, directory));
        if (flags & kExtraHasZip64CompressedSize)
            check(inside(extras.zip64CompressedSize, 8, directory));
        if (flags & kExtraHasZip64Offset)
            check(inside(extras.zip64LocalHeaderOffset, 8, directory));
        const uint64_t u = entry_uncompressed_size(header, extras);
        const uint64_t c = entry_compressed_size(header, extras);
        entry_local_header_offset(header, extras);
        if (marked_as_directory(header, u))
            check(u == 0);

        wchar_t ratio[kRatioUnits];
        format_ratio(ratio, u, c);
        wchar_t method[kMethodUnits];
        format_method_label(method, read_u16(header + central::method), read_u16(header + central::flags));
        wchar_t version[kVersionUnits];
        format_version(version, read_u16(header + central::versionMadeBy));
        wchar_t attributes[8];
        format_attributes(header, attributes, true);
        check(wcslen(attributes) == 7);
        format_attributes(header, attributes, false);
        check(wcslen(attributes) == 4);

        wchar_t wide[kNameSize];
        size_t n = 0;
        for (; name[n]; ++n)
            wide[n] = static_cast<unsigned char>(name[n]);
        wide[n] = 0;
        wchar_t size16[kDecimalUnits], csize16[kDecimalUnits];
        format_decimal(size16, u);
        format_decimal(csize16, c);
        static wchar_t line[kJsonLineUnits];
        const size_t units = compose_json_line(line, kJsonLineUnits, size16, csize16, L"**-**-** **:**:**.***", wide);
        check(units < kJsonLineUnits && line[units - 1] == L',');
    }
    check(cursor.current <= cursor.end);
    // A directory that begins with a header is usable.
    CentralCursor first = {directory.data(), directory.data() + directory.size(), 0};
    if (take_central_entry(&first, name, &utf8))
        check(usable == DirectoryCheck::Usable);
    return 0;
}
