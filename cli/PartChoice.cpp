#include "cli/PartChoice.h"

#include "text/Letters.h"

#include "isp/PartRules.h"
#include "isp/RateTable.h"

#include <vector>

namespace cli {

namespace {

std::wstring Joined(const std::vector<std::wstring>& items) {
    std::wstring s;
    for (const std::wstring& item : items) s += (s.empty() ? L"" : L", ") + item;
    return s;
}

// Picks `given` (or the default) out of a rate list; "auto" in any case
// stands for the list's "Auto".
bool PickRate(const std::vector<std::wstring>& items, const std::wstring& given, const std::wstring& fallback,
              std::wstring* text) {
    const std::wstring want = given.empty() ? fallback : given;
    for (const std::wstring& item : items) {
        if (item == want || (item == L"Auto" && text::SameIgnoringCase(want, L"Auto"))) {
            *text = item;
            return true;
        }
    }
    return false;
}

// The rates for a port of the kind given, or what is not offered.
std::wstring PickRates(const Options& options, const isp::BodyInfo& part, bool com, LinkSettings* link) {
    const std::wstring partName = part.PartName ? part.PartName : L"";
    const std::vector<std::wstring> baudItems = RateListItems(true, com, part.PartClass);
    const std::vector<std::wstring> checkItems = RateListItems(false, com, part.PartClass);
    const std::wstring kind = (com ? L"a COM port" : L"KV707") + std::wstring(L" and ") + partName;
    if (!PickRate(baudItems, options.baud, baudItems.front(), &link->baudText))
        return L"--baud " + options.baud + L" is not offered for " + kind + L": " + Joined(baudItems);
    // The check rate defaults to 9600 where the list has it, else its last.
    std::wstring checkDefault = checkItems.back();
    for (const std::wstring& item : checkItems)
        if (item == L"9600") checkDefault = item;
    if (!PickRate(checkItems, options.checkrate, checkDefault, &link->checkText))
        return L"--checkrate " + options.checkrate + L" is not offered for " + kind + L": " + Joined(checkItems);
    link->baudRate = static_cast<std::int32_t>(RateValue(link->baudText));
    link->checkRate = static_cast<std::int32_t>(RateValue(link->checkText));
    return L"";
}

}  // namespace

std::wstring CheckChoices(const Options& options, const isp::BodyInfo& part, LinkSettings* link) {
    const std::wstring partName = part.PartName ? part.PartName : L"";
    if (options.command == Command::Dump && !parts::IsFixedRateClass(part.PartClass))
        return L"Dump Info reads parts of class 1 and 2 only; " + partName + L" is of class " +
               std::to_wstring(part.PartClass);
    for (const FileLoad& load : options.loads) {
        if (load.area == Area::Eeprom && part.DataCapacity == 0) return partName + L" has no EEPROM";
    }
    if (options.optionBitsGiven) {
        const unsigned boxes = parts::VisibleOptions(part);
        if (boxes < 8 && (options.optionBits >> boxes) != 0) {
            return L"--option-bits: " + partName + L" has " + std::to_wstring(boxes) + L" option bit" +
                   (boxes == 1 ? L"" : L"s") + (boxes == 0 ? L"" : L" (0 to " + std::to_wstring(boxes - 1) + L")");
        }
    }
    if (options.command == Command::ProjectNew) {
        // A project keeps COM ports only; its rates must be ones a port it
        // may run on offers: its own ports', or else a COM port's or KV707's.
        for (const std::wstring& name : options.ports) {
            if (!NormalizePort(name, &link->port))
                return L"--port: '" + name + L"' is neither a COM port (COM1 to COM255) nor KV707";
            if (!link->port.com)
                return L"--port: a project keeps COM ports only (COM1 to COM255); name " + link->port.name +
                       L" with --port when the project runs";
        }
        const std::wstring onCom = PickRates(options, part, true, link);
        if (onCom.empty() || !options.ports.empty()) return onCom;
        const std::wstring onAdapter = PickRates(options, part, false, link);
        return onAdapter.empty() ? L"" : onCom + L"; " + onAdapter;
    }
    if (options.command != Command::Program && options.command != Command::Dump) return L"";

    if (!NormalizePort(options.port, &link->port))
        return L"--port: '" + options.port + L"' is neither a COM port (COM1 to COM255) nor KV707";
    // The window's rule for which lists a port entry gets.
    return PickRates(options, part, IsComPortName(link->port.name), link);
}

}  // namespace cli
