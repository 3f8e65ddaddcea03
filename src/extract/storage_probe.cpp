#include <windows.h>
#include <winioctl.h>
#include <wchar.h>

#include "extract/extraction_workers.h"

namespace {

constexpr DWORD kVolumeUnits = 260;

// Asks the volume itself whether it incurs a seek penalty: 1 yes, 0 no, -1 no answer.
int32_t query_seek_penalty(const wchar_t* volume)
{
    HANDLE device = CreateFileW(volume, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return -1;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR answer = {};
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &answer,
                                    sizeof answer, &returned, nullptr);
    CloseHandle(device);
    if (!ok || returned < sizeof answer)
        return -1;
    return answer.IncursSeekPenalty ? 1 : 0;
}

volatile LONG g_storageAnswer = static_cast<LONG>(StorageAnswer::fromVolume);

// The volume's answer, or the one a test gave: 1 seek penalty, 0 none, -1 no answer.
int32_t seek_penalty_answer(const wchar_t* volume)
{
    switch (static_cast<StorageAnswer>(g_storageAnswer)) {
    case StorageAnswer::fast: return 0;
    case StorageAnswer::rotating: return 1;
    case StorageAnswer::unknown: return -1;
    case StorageAnswer::fromVolume: break;
    }
    return query_seek_penalty(volume);
}

}  // namespace

void set_storage_answer_for_tests(StorageAnswer answer)
{
    InterlockedExchange(&g_storageAnswer, static_cast<LONG>(answer));
}

int32_t probe_storage_kind(const wchar_t* path)
{
    wchar_t volumePath[kVolumeUnits];
    if (!GetVolumePathNameW(path, volumePath, kVolumeUnits)) {
        if (!path[0] || path[1] != L':')
            return 0;
        volumePath[0] = path[0];
        volumePath[1] = L':';
        volumePath[2] = L'\\';
        volumePath[3] = 0;
    }
    // The volume's GUID name without its trailing backslash opens the volume itself.
    wchar_t volumeName[kVolumeUnits];
    const wchar_t* device = volumePath;
    bool trimmed = false;
    if (GetVolumeNameForVolumeMountPointW(volumePath, volumeName, kVolumeUnits)) {
        const size_t length = wcslen(volumeName);
        if (length > 0 && volumeName[length - 1] == L'\\') {
            volumeName[length - 1] = 0;
            trimmed = true;
        }
        device = volumeName;
    }
    const int32_t penalty = seek_penalty_answer(device);
    if (penalty >= 0)
        return penalty;
    if (trimmed)
        wcscat(volumeName, L"\\");

    // No answer from the device: a label that says RAM or SSD counts as fast.
    wchar_t label[kVolumeUnits];
    if (!GetVolumeInformationW(device, label, kVolumeUnits, nullptr, nullptr, nullptr, nullptr, 0))
        return 0;
    static const wchar_t* const kFastWords[4] = {L"RAM", L"ram", L"SSD", L"ssd"};
    for (const wchar_t* word : kFastWords) {
        if (wcsstr(label, word))
            return 0;
    }
    return 1;
}
