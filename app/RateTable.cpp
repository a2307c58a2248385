#include "app/RateTable.h"

bool IsComPortName(const std::wstring& portName) {
    return portName.compare(0, 3, L"COM") == 0;
}

namespace {

template <std::size_t N>
void AppendRates(std::vector<std::wstring>& items, const std::array<std::uint32_t, N>& rates) {
    for (std::uint32_t rate : rates) items.push_back(std::to_wstring(rate));
}

}  // namespace

std::vector<std::wstring> RateListItems(bool downloadList, bool comPort, int partClass) {
    std::vector<std::wstring> items;
    if (partClass == 1 || partClass == 2) {
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
