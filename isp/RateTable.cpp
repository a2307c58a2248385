#include "isp/RateTable.h"

#include "text/Letters.h"

#include "isp/PartRules.h"

#include <cwchar>

bool IsComPortName(const std::wstring& portName) { return portName.compare(0, 3, L"COM") == 0; }

namespace {

template <std::size_t N>
void AppendRates(std::vector<std::wstring>& items, const std::array<std::uint32_t, N>& rates) {
    for (std::uint32_t rate : rates) items.push_back(std::to_wstring(rate));
}

}  // namespace

std::vector<std::wstring> RateListItems(bool downloadList, bool comPort, int partClass) {
    std::vector<std::wstring> items;
    if (parts::IsFixedRateClass(partClass)) {
        items.push_back(L"115200");
        return items;
    }
    if (downloadList) {
        items.push_back(L"Auto");
        if (comPort) AppendRates(items, RateTable::kBaudrateCom);
        else AppendRates(items, RateTable::kBaudrateAdapter);
    } else {
        if (comPort) AppendRates(items, RateTable::kCheckrateCom);
        else AppendRates(items, RateTable::kCheckrateAdapter);
    }
    return items;
}

std::uint32_t RateValue(const std::wstring& text) {
    const long value = std::wcstol(text.c_str(), nullptr, 10);
    return static_cast<std::uint32_t>(value);
}

std::wstring ComDeviceName(const std::wstring& portName) {
    return portName.size() > 4 ? L"\\\\.\\" + portName : portName;
}

bool NormalizePort(const std::wstring& text, PortChoice* port) {
    if (text::SameIgnoringCase(text, L"KV707")) {
        port->com = false;
        port->name = L"KV707";
        return true;
    }
    if (text.size() < 4 || text.size() > 6 || !text::SameIgnoringCase(text.substr(0, 3), L"COM")) return false;
    const std::wstring digits = text.substr(3);
    if (digits[0] == L'0') return false;
    unsigned n = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        n = n * 10 + static_cast<unsigned>(c - L'0');
    }
    if (n < 1 || n > 255) return false;
    port->com = true;
    port->name = L"COM" + digits;
    return true;
}
