// The link to the target: a COM port the tool opens and hands to the library,
// or the KV707 adapter, which the library reaches by itself. The window's
// Open Port and the console's boards open and close it through this.
#pragma once

#include "framework/Handles.h"
#include "isp/IspRecords.h"
#include "isp/LibraryBinding.h"

#include <cstdint>
#include <string>

namespace isp {

// True when an opened COM port no longer answers as one: the adapter was
// pulled or its driver went away, and the handle only fails from now on.
bool ComPortLost(HANDLE port);

// How an Open went.
struct OpenOutcome {
    enum Kind {
        kPass,
        kNoSuchPort,      // the COM port does not exist on this computer
        kPortInUse,       // another program holds it (Windows opens a COM port for one program at a time)
        kPortNotOpened,   // any other reason the system gives (systemError)
        kLibraryRefused,  // OpenPort answered libraryCode
    };
    Kind kind = kPass;
    DWORD systemError = 0;
    std::uint16_t libraryCode = 0;

    bool Passed() const { return kind == kPass; }
    // The port itself could not be opened (the window's "Open com error").
    bool PortFailed() const { return kind == kNoSuchPort || kind == kPortInUse || kind == kPortNotOpened; }
};

class PortLink {
public:
    explicit PortLink(const TarvelDll& library) : m_library(library) {}

    // Opens the port named in the port list ("KV707" or "COMn") at the two
    // rates and calls OpenPort. On any failure nothing stays open: a COM port
    // the library did not take is closed again, so that it can be opened on
    // the next try (it is opened without sharing).
    OpenOutcome Open(IspParam& param, const std::wstring& portName, std::uint32_t baudRate, std::uint32_t checkRate);
    // Calls ClosePort; on success closes the COM handle. False when the
    // library refuses, and the link then stays open.
    bool Close(IspParam& param);
    bool IsOpen() const { return m_open; }
    // The open COM port no longer answers (false for the adapter).
    bool Lost() const { return m_com.valid() && ComPortLost(m_com.get()); }

private:
    const TarvelDll& m_library;
    UniqueHandle m_com;
    bool m_open = false;
};

}  // namespace isp
