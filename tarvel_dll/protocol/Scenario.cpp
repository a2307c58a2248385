#include "tarvel_dll/protocol/Scenario.h"

#include <limits>
#include <string_view>

#include "text/Numbers.h"

namespace tarvel {
namespace {

const struct {
    const char* Name;
    FailPoint Point;
} kFailNames[] = {
    {"none", FailPoint::None},      {"sync", FailPoint::Sync},         {"erase", FailPoint::Erase},
    {"option", FailPoint::Options}, {"register", FailPoint::Config},   {"program", FailPoint::Program},
    {"verify", FailPoint::Verify},  {"readinfo", FailPoint::ReadInfo}, {"silent", FailPoint::Silent},
};

constexpr char kFailExpected[] =
    "unknown value, expected none, sync, erase, option, register, program, verify, readinfo or silent";

wchar_t LowerWide(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Index of the part named (in any case), or -1.
int FindPartAnyCase(PartsView parts, const std::string& name) {
    for (std::uint32_t i = 0; i < parts.Count; ++i) {
        const wchar_t* w = parts.Body[i].PartName;
        std::size_t k = 0;
        while (k < name.size() && w[k] != 0 &&
               LowerWide(w[k]) == LowerWide(static_cast<wchar_t>(static_cast<unsigned char>(name[k])))) {
            ++k;
        }
        if (k == name.size() && w[k] == 0) return static_cast<int>(i);
    }
    return -1;
}

std::string NarrowName(const wchar_t* w) {
    std::string s;
    for (; *w != 0; ++w) s.push_back(*w < 0x80 ? static_cast<char>(*w) : '?');
    return s;
}

}  // namespace

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool ParseOptionNumber(const std::string& text, std::int64_t& out) {
    // An optional minus, then decimal or "0x" hexadecimal digits, nothing else.
    const bool negative = !text.empty() && text[0] == '-';
    std::uint64_t v = 0;
    if (!numbers::ParseUnsignedAuto(std::string_view(text).substr(negative ? 1 : 0),
                                    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()), v))
        return false;
    out = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    return true;
}

const char* FailPointName(FailPoint f) {
    for (const auto& n : kFailNames)
        if (n.Point == f) return n.Name;
    return "none";
}

std::string ApplyScenarioOption(Scenario& s, const std::string& rawName, const std::string& value, PartsView parts) {
    const std::string name = LowerAscii(rawName);
    static const char* const kNames[] = {
        "part",     "appear-ms", "never",           "customer-id", "device-id", "max-baud",    "page-ms",
        "erase-ms", "pace",      "repeat-delay-ms", "serial",      "fail",      "fail-offset", "wait-status",
    };
    bool known = false;
    for (const char* n : kNames) known |= name == n;
    if (!known) return "unknown option";
    if (name == "never") {
        if (!value.empty()) return "takes no value";
        s.AppearMs = -1;
        return std::string();
    }
    if (value.empty()) return "value missing";

    if (name == "part") {
        const int i = FindPartAnyCase(parts, value);
        if (i < 0) return "no such part in the table";
        s.Part = NarrowName(parts.Body[i].PartName);
        return std::string();
    }
    if (name == "fail") {
        for (const auto& n : kFailNames) {
            if (LowerAscii(value) == n.Name) {
                s.Fail = n.Point;
                return std::string();
            }
        }
        return kFailExpected;
    }
    if (name == "pace") {
        if (value != "0" && value != "1") return "unknown value, expected 0 or 1";
        s.Pace = value == "1";
        return std::string();
    }

    std::int64_t v = 0;
    if (!ParseOptionNumber(value, v)) return "not a number";
    const std::int64_t max = name == "wait-status" ? 0xFFFF : 0xFFFFFFFFLL;
    if (v < 0 || v > max) return "out of range, expected 0 to " + std::to_string(max);
    const auto u32 = static_cast<std::uint32_t>(v);
    if (name == "appear-ms") s.AppearMs = v;
    else if (name == "repeat-delay-ms") s.RepeatDelayMs = v;
    else if (name == "customer-id") s.CustomerId = u32;
    else if (name == "device-id") s.DeviceId = u32;
    else if (name == "max-baud") s.MaxBaud = u32;
    else if (name == "page-ms") s.PageMs = u32;
    else if (name == "erase-ms") s.EraseMs = u32;
    else if (name == "serial") s.Serial = u32;
    else if (name == "fail-offset") s.FailOffset = u32;
    else s.WaitStatus = static_cast<std::uint16_t>(v);
    return std::string();
}

bool SetScenarioOption(Scenario& s, const std::string& name, const std::string& value, std::string* error) {
    const std::string why = ApplyScenarioOption(s, name, value, Parts(TableVariant::Normal));
    if (why.empty()) return true;
    if (error != nullptr) *error = name + ": " + why;
    return false;
}

}  // namespace tarvel
