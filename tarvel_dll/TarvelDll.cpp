// Tarvel_DLL.dll: the stand-in ISP library. Six plain C exports with the
// C calling convention; the records are those of isp/IspRecords.h.
#include <windows.h>

#include <cstdint>

#include "isp/IspRecords.h"
#include "tarvel_dll/DllSettings.h"
#include "tarvel_dll/protocol/PartsTable.h"

#define TARVEL_EXPORT extern "C" __declspec(dllexport)

TARVEL_EXPORT std::uint32_t TARVEL_CALL GetBodyInfo(isp::BodyInfo** table) {
    const tarvel::PartsView parts = tarvel::Parts(tarvel::ReadDllSettings().Table);
    if (table == nullptr) return 0;
    // The table is static: it stays valid for the life of the process.
    *table = const_cast<isp::BodyInfo*>(parts.Body);
    return parts.Count;
}

TARVEL_EXPORT std::uint16_t TARVEL_CALL GetDLLInfo(std::uint32_t* version, std::int32_t* edition) {
    const tarvel::DllSettings s = tarvel::ReadDllSettings();
    if (version != nullptr) *version = s.Version;
    if (edition != nullptr) *edition = s.Edition;
    return isp::kPass;
}

TARVEL_EXPORT std::uint16_t TARVEL_CALL OpenPort(isp::IspParam* param) {
    (void)param;
    return isp::kComOpenError;
}

TARVEL_EXPORT std::uint16_t TARVEL_CALL ClosePort(isp::IspParam* param) {
    (void)param;
    return isp::kComOpenError;
}

TARVEL_EXPORT std::uint16_t TARVEL_CALL UpdateMCU(isp::IspParam* param) {
    (void)param;
    return isp::kNotFindDevice;
}

TARVEL_EXPORT std::uint16_t TARVEL_CALL DumpInfo(isp::IspParam* param) {
    (void)param;
    return isp::kNotFindDevice;
}
