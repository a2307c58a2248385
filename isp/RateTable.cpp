#include "isp/RateTable.h"

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
