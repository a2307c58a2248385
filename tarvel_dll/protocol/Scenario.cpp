#include "tarvel_dll/protocol/Scenario.h"

#include <cerrno>
#include <cstdlib>

namespace tarvel {
namespace {

bool ParseNumber(const std::string& text, long long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end != nullptr && *end == '\0';
}

const struct {
    const char* Name;
    FailPoint Point;
} kFailNames[] = {
    {"none", FailPoint::None},       {"sync", FailPoint::Sync},         {"erase", FailPoint::Erase},
    {"option", FailPoint::Options},  {"register", FailPoint::Config},   {"program", FailPoint::Program},
    {"verify", FailPoint::Verify},   {"readinfo", FailPoint::ReadInfo}, {"silent", FailPoint::Silent},
};

}  // namespace

const char* FailPointName(FailPoint f) {
    for (const auto& n : kFailNames)
        if (n.Point == f) return n.Name;
    return "none";
}

bool SetScenarioOption(Scenario& s, const std::string& name, const std::string& value, std::string* error) {
    auto fail = [&](const char* why) {
        if (error != nullptr) *error = name + ": " + why;
        return false;
    };
    if (name == "part") {
        s.Part = value;
        return true;
    }
    if (name == "fail") {
        for (const auto& n : kFailNames) {
            if (value == n.Name) {
                s.Fail = n.Point;
                return true;
            }
        }
        return fail("expected none, sync, erase, option, register, program, verify, readinfo or silent");
    }
    if (name == "never") {
        s.AppearMs = -1;
        return true;
    }
    long long v = 0;
    if (!ParseNumber(value, v)) return fail("expected a number");
    auto u32 = [&](std::uint32_t& field) {
        if (v < 0 || v > 0xFFFFFFFFLL) return fail("out of range");
        field = static_cast<std::uint32_t>(v);
        return true;
    };
    if (name == "appear-ms") {
        s.AppearMs = v;
        return true;
    }
    if (name == "repeat-delay-ms") {
        if (v < 0) return fail("out of range");
        s.RepeatDelayMs = v;
        return true;
    }
    if (name == "pace") {
        s.Pace = v != 0;
        return true;
    }
    if (name == "customer-id") return u32(s.CustomerId);
    if (name == "device-id") return u32(s.DeviceId);
    if (name == "max-baud") return u32(s.MaxBaud);
    if (name == "page-ms") return u32(s.PageMs);
    if (name == "erase-ms") return u32(s.EraseMs);
    if (name == "serial") return u32(s.Serial);
    if (name == "fail-offset") return u32(s.FailOffset);
    return fail("unknown option");
}

}  // namespace tarvel
