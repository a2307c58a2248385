#include "app/PortPicker.h"

#include "framework/Handles.h"
#include "isp/RateTable.h"

void PortPicker::FillPorts() {
    ListAdapter();
    AddComPorts();
}

void PortPicker::ListAdapter() {
    m_ports.ResetContent();
    m_ports.AddString(L"KV707");
    m_ports.SetCurSel(0);
}

void PortPicker::AddComPorts() {
    for (int n = 1; n <= 256; ++n) {
        const std::wstring name = L"COM" + std::to_wstring(n);
        UniqueHandle port(::CreateFileW(ComDeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (port.valid()) m_ports.AddString(name.c_str());
    }
}

void PortPicker::FillRates(int partClass) {
    const bool com = IsComPortName(PortName());
    m_baudRates.ResetContent();
    m_checkRates.ResetContent();
    for (const std::wstring& item : RateListItems(true, com, partClass)) m_baudRates.AddString(item.c_str());
    for (const std::wstring& item : RateListItems(false, com, partClass)) m_checkRates.AddString(item.c_str());
    m_baudRates.SetCurSel(0);
    m_checkRates.SetCurSel(0);
}

std::uint32_t PortPicker::BaudRate() const { return RateValue(m_baudRates.GetSelectedText()); }
std::uint32_t PortPicker::CheckRate() const { return RateValue(m_checkRates.GetSelectedText()); }

void PortPicker::SelectRates(const std::wstring& baud, const std::wstring& check) {
    for (auto [list, text] : {std::pair{&m_baudRates, &baud}, std::pair{&m_checkRates, &check}}) {
        const LRESULT item =
            list->SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text->c_str()));
        if (item != CB_ERR) list->SetCurSel(static_cast<int>(item));
    }
}
