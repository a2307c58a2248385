#include "isp/PortLink.h"

#include "isp/RateTable.h"

namespace isp {

PortLink::OpenResult PortLink::Open(IspParam& param, const std::wstring& portName, std::uint32_t baudRate,
                                    std::uint32_t checkRate) {
    param.PortHandle = nullptr;
    if (portName == L"KV707") {
        param.PortType = kPortKV707;
    } else {
        param.PortType = kPortCom;
        UniqueHandle com(::CreateFileW(ComDeviceName(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!com.valid()) {
            param.StatusCell->store(kComOpenError);
            return OpenResult::ComOpenError;
        }
        m_com = std::move(com);
        param.PortHandle = m_com.get();
    }
    param.BaudRate = static_cast<std::int32_t>(baudRate);
    param.CheckRate = static_cast<std::int32_t>(checkRate);
    if (m_library.OpenPort(&param) != kPass) {
        m_com.reset();
        param.PortHandle = nullptr;
        return OpenResult::Fail;
    }
    m_open = true;
    return OpenResult::Pass;
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
