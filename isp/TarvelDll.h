// The binding to Tarvel_DLL.dll: loaded from the tool's own folder (never
// from the search path) and its six operations resolved by name. This is the
// only place that knows how the library is reached.
#pragma once

#include "framework/Handles.h"
#include "isp/IspRecords.h"

#include <windows.h>

#include <string>

namespace isp {

class TarvelDll {
public:
    TarvelDll() = default;
    TarvelDll(const TarvelDll&) = delete;
    TarvelDll& operator=(const TarvelDll&) = delete;

    // Loads folder + "Tarvel_DLL.dll" and resolves every operation. On
    // failure *missing names what is missing (the file or an operation) and
    // nothing stays loaded.
    bool Load(const std::wstring& folder, std::wstring* missing);
    bool IsLoaded() const { return m_module.valid(); }

    std::uint32_t GetBodyInfo(BodyInfo** table) const { return m_getBodyInfo(table); }
    void GetDLLInfo(std::uint32_t* version, std::int32_t* edition) const { m_getDllInfo(version, edition); }
    std::uint16_t OpenPort(IspParam* p) const { return m_openPort(p); }
    std::uint16_t ClosePort(IspParam* p) const { return m_closePort(p); }
    std::uint16_t UpdateMCU(IspParam* p) const { return m_updateMcu(p); }
    std::uint16_t DumpInfo(IspParam* p) const { return m_dumpInfo(p); }

    // Version as reported by the library (0 before Load).
    std::uint32_t Version() const;

private:
    UniqueModule m_module;
    GetBodyInfoFn m_getBodyInfo = nullptr;
    GetDLLInfoFn m_getDllInfo = nullptr;
    IspOperationFn m_openPort = nullptr;
    IspOperationFn m_closePort = nullptr;
    IspOperationFn m_updateMcu = nullptr;
    IspOperationFn m_dumpInfo = nullptr;
};

// The library the tool runs with, loaded by the application at start.
TarvelDll& Library();

// Folder of the running executable, with its trailing backslash.
std::wstring ModuleFolder(HMODULE module = nullptr);

}  // namespace isp
