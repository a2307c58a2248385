// The port list ("KV707" and the COM ports that open) and the two rate lists,
// whose items follow the port kind and the part class.
#pragma once

#include "framework/Controls.h"

#include <cstdint>
#include <string>

class PortPicker {
public:
    PortPicker(CComboBox& ports, CComboBox& baudRates, CComboBox& checkRates)
        : m_ports(ports), m_baudRates(baudRates), m_checkRates(checkRates) {}

    // "KV707", then every COM port from COM1 to COM256 that can be opened now.
    void FillPorts();
    // The two halves of FillPorts: "KV707" alone, selected; then the COM
    // ports after it, leaving the selection as it is.
    void ListAdapter();
    void AddComPorts();
    // Refills both rate lists for the selected port and the part class.
    void FillRates(int partClass);

    std::wstring PortName() const { return m_ports.GetSelectedText(); }
    // The rates as the lists show them; "Auto" gives 0.
    std::uint32_t BaudRate() const;
    std::uint32_t CheckRate() const;
    // The lists' selected texts ("Auto", "9600").
    std::wstring BaudText() const { return m_baudRates.GetSelectedText(); }
    std::wstring CheckText() const { return m_checkRates.GetSelectedText(); }
    // Selects the items of these texts; a list without its text stays as it
    // is.
    void SelectRates(const std::wstring& baud, const std::wstring& check);

private:
    CComboBox& m_ports;
    CComboBox& m_baudRates;
    CComboBox& m_checkRates;
};
