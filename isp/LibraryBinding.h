// The binding to Tarvel_DLL.dll: loaded from the tool's own folder (never
// from the search path) and its six operations resolved by name. This is the
// only place that knows how the library is reached.
#pragma once

#include "framework/Handles.h"
#include "isp/IspRecords.h"

#include <windows.h>

#include <string>

namespace isp {

// Why the library could not be used.
struct LoadFailure {
    enum Kind { kNone, kFileMissing, kNotLoadable, kOperationsMissing };
    Kind kind = kNone;
    std::wstring path;        // the library file, as the user knows it
    std::wstring operations;  // kOperationsMissing: the missing names, ", " between them
    DWORD systemError = 0;    // kNotLoadable: the loader's GetLastError
};

class TarvelDll {
public:
    TarvelDll() = default;
    TarvelDll(const TarvelDll&) = delete;
    TarvelDll& operator=(const TarvelDll&) = delete;

    // Loads folder + "Tarvel_DLL.dll" and resolves every operation. On
    // failure *failure tells why: no such file, a file the loader refuses
    // (not a 32-bit library, or one that cannot start), or operations it
    // lacks. Nothing stays loaded then.
    bool Load(const std::wstring& folder, LoadFailure* failure);
    // The same, with *missing naming what failed in one line: the file, or
    // "Tarvel_DLL.dll: " and the operations it lacks.
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
