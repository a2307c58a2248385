#include "isp/PortLink.h"

#include "isp/RateTable.h"

namespace isp {

OpenOutcome PortLink::Open(IspParam& param, const std::wstring& portName, std::uint32_t baudRate,
                           std::uint32_t checkRate) {
    OpenOutcome outcome;
    param.PortHandle = nullptr;
    if (portName == L"KV707") {
        param.PortType = kPortKV707;
    } else {
        param.PortType = kPortCom;
        UniqueHandle com(::CreateFileW(ComDeviceName(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!com.valid()) {
            outcome.systemError = ::GetLastError();
            switch (outcome.systemError) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND: outcome.kind = OpenOutcome::kNoSuchPort; break;
            // A port another program holds is refused with "access denied".
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION: outcome.kind = OpenOutcome::kPortInUse; break;
            default: outcome.kind = OpenOutcome::kPortNotOpened; break;
            }
            param.StatusCell->store(kComOpenError);
            return outcome;
        }
        m_com = std::move(com);
        param.PortHandle = m_com.get();
    }
    param.BaudRate = static_cast<std::int32_t>(baudRate);
    param.CheckRate = static_cast<std::int32_t>(checkRate);
    const std::uint16_t code = m_library.OpenPort(&param);
    if (code != kPass) {
        m_com.reset();
        param.PortHandle = nullptr;
        outcome.kind = OpenOutcome::kLibraryRefused;
        outcome.libraryCode = code;
        return outcome;
    }
    m_open = true;
    return outcome;
}

bool PortLink::Close(IspParam& param) {
    if (m_library.ClosePort(&param) != kPass) return false;
    m_com.reset();
    param.PortHandle = nullptr;
    m_open = false;
    return true;
}

bool ComPortLost(HANDLE port) {
    if (port == nullptr || port == INVALID_HANDLE_VALUE) return false;
    DWORD errors = 0;
    COMSTAT status{};
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return !::ClearCommError(port, &errors, &status) || !::GetCommState(port, &dcb);
}

}  // namespace isp
