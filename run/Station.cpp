#include "run/Station.h"

#include <windows.h>

#include "run/UnitRecord.h"
#include "text/Utf8.h"

namespace run {

std::string StationName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &size) ? text::Utf8(std::wstring(name, size)) : std::string();
}

std::string OperatorName() {
    wchar_t name[257] = {};
    DWORD size = 257;
    return ::GetUserNameW(name, &size) && size > 0 ? text::Utf8(std::wstring(name, size - 1)) : std::string();
}

std::string UnitTimeNow() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = ::GetTimeZoneInformation(&zone);
    // Bias is minutes west of UTC; a daylight period adds its own.
    LONG bias = zone.Bias;
    if (kind == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    else if (kind == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    if (kind == TIME_ZONE_ID_INVALID) bias = 0;
    return TimeWithOffset(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                          local.wMilliseconds, -static_cast<int>(bias));
}

}  // namespace run
