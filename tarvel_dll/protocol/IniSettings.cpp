#include "tarvel_dll/protocol/IniSettings.h"

#include <set>

namespace tarvel {
namespace {

std::string Trim(const std::string& s) {
    const std::string::size_type b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    const std::string::size_type e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

struct Entry {
    std::string Key;    // as written
    std::string Value;  // "" when there is no '=' or nothing after it
    std::string Shown;  // "key=value" or "key", for the message
};

// Why the number cannot be taken, or "" with out set.
std::string Number(const std::string& value, std::int64_t min, std::int64_t max, std::int64_t& out) {
    if (value.empty()) return "value missing";
    if (!ParseOptionNumber(value, out)) return "not a number";
    if (out < min || out > max) return "out of range, expected " + std::to_string(min) + " to " + std::to_string(max);
    return std::string();
}

// Longest deadline or period of the link section: ten minutes.
constexpr std::int64_t kMaxLinkMs = 600000;

std::string ApplyParts(DllSettings& s, const Entry& e) {
    if (LowerAscii(e.Key) != "table") return "unknown option";
    const std::string v = LowerAscii(e.Value);
    if (v.empty()) return "value missing";
    if (v == "normal") s.Table = TableVariant::Normal;
    else if (v == "empty") s.Table = TableVariant::Empty;
    else if (v == "highbits") s.Table = TableVariant::HighBits;
    else return "unknown value, expected normal, empty or highbits";
    return std::string();
}

std::string ApplyInfo(DllSettings& s, const Entry& e) {
    const std::string key = LowerAscii(e.Key);
    std::int64_t v = 0;
    std::string why;
    if (key == "version") {
        if ((why = Number(e.Value, 0, 0xFFFFFFFFLL, v)).empty()) s.Version = static_cast<std::uint32_t>(v);
    } else if (key == "edition") {
        if ((why = Number(e.Value, 0, 0x7FFFFFFF, v)).empty()) s.Edition = static_cast<std::int32_t>(v);
    } else {
        why = "unknown option";
    }
    return why;
}

std::string ApplyLink(DllSettings& s, const Entry& e) {
    const std::string key = LowerAscii(e.Key);
    std::uint32_t* ms = key == "replytimeoutms"   ? &s.Timing.ReplyTimeoutMs
                        : key == "erasetimeoutms" ? &s.Timing.EraseTimeoutMs
                        : key == "syncintervalms" ? &s.Timing.SyncIntervalMs
                                                  : nullptr;
    std::int64_t v = 0;
    std::string why;
    if (ms != nullptr) {
        // Values below the host's floor are raised to it where they are used.
        if ((why = Number(e.Value, 0, kMaxLinkMs, v)).empty()) *ms = static_cast<std::uint32_t>(v);
    } else if (key == "attempts") {
        if ((why = Number(e.Value, 1, 10, v)).empty()) s.Timing.Attempts = static_cast<int>(v);
    } else {
        why = "unknown option";
    }
    return why;
}

}  // namespace

Scenario AdapterDefaults() {
    Scenario s;
    s.Pace = true;
    s.RepeatDelayMs = kAdapterRepeatDelayMs;
    return s;
}

const SettingsProblem* DllSettings::FirstProblem(const char* section) const {
    for (const SettingsProblem& p : Problems)
        if (section == nullptr || LowerAscii(p.Section) == LowerAscii(section)) return &p;
    return nullptr;
}

DllSettings ParseDllSettings(const std::vector<IniSection>& file) {
    DllSettings s;
    enum Kind { kParts, kInfo, kLink, kAdapter, kUnknown };
    const auto kindOf = [](const std::string& name) {
        const std::string n = LowerAscii(Trim(name));
        return n == "parts" ? kParts : n == "info" ? kInfo : n == "link" ? kLink : n == "adapter" ? kAdapter : kUnknown;
    };
    const auto problem = [&s](const std::string& section, const std::string& what, const std::string& why) {
        s.Problems.push_back(
            {section, "Tarvel_DLL.ini [" + section + "]" + (what.empty() ? "" : " " + what) + ": " + why});
    };

    // Sections named twice, and unknown ones, in the order of the file.
    std::vector<const IniSection*> taken;
    std::set<std::string> seen;
    for (const IniSection& sec : file) {
        if (!seen.insert(LowerAscii(Trim(sec.Name))).second) problem(sec.Name, "", "section given more than once");
        else if (kindOf(sec.Name) == kUnknown) problem(sec.Name, "", "unknown section");
        else taken.push_back(&sec);
    }

    // [Parts] first: it selects the table that [Adapter] part= looks in.
    for (const Kind pass : {kParts, kInfo, kLink, kAdapter}) {
        for (const IniSection* sec : taken) {
            if (kindOf(sec->Name) != pass) continue;
            std::set<std::string> keys;
            for (const std::string& raw : sec->Lines) {
                const std::string line = Trim(raw);
                if (line.empty() || line[0] == ';') continue;
                Entry e;
                const std::string::size_type eq = line.find('=');
                e.Key = Trim(line.substr(0, eq));
                if (eq != std::string::npos) e.Value = Trim(line.substr(eq + 1));
                e.Shown = eq == std::string::npos ? e.Key : e.Key + "=" + e.Value;
                std::string why;
                if (!keys.insert(LowerAscii(e.Key)).second) why = "given more than once";
                else if (pass == kParts) why = ApplyParts(s, e);
                else if (pass == kInfo) why = ApplyInfo(s, e);
                else if (pass == kLink) why = ApplyLink(s, e);
                else why = ApplyScenarioOption(s.Adapter, e.Key, e.Value, Parts(s.Table));
                if (!why.empty()) problem(sec->Name, e.Shown, why);
            }
        }
    }
    return s;
}

}  // namespace tarvel
