// The content of Tarvel_DLL.ini: what each entry sets, and that an entry the
// library cannot take is reported with its section, its text and the cause,
// never skipped.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tarvel_dll/protocol/IniSettings.h"

namespace tarvel {
namespace {

// The sections as the profile functions hand them over: "[Name]" starts a
// section, every other line belongs to the current one.
std::vector<IniSection> File(const std::string& text) {
    std::vector<IniSection> file;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            file.push_back({line.substr(1, line.find(']') - 1), {}});
        } else if (!file.empty()) {
            file.back().Lines.push_back(line);
        }
    }
    return file;
}

TEST(IniSettings, EntriesTakeEffectInAnyCase) {
    const struct {
        const char* Text;
        std::function<bool(const DllSettings&)> Took;
    } cases[] = {
        {"[Parts]\nTable=highbits", [](const DllSettings& s) { return s.Table == TableVariant::HighBits; }},
        {"[PARTS]\ntable=EMPTY", [](const DllSettings& s) { return s.Table == TableVariant::Empty; }},
        {"[Info]\nVersion=0x02030405\nEdition=3",
         [](const DllSettings& s) { return s.Version == 0x02030405u && s.Edition == 3; }},
        {"[info]\nVERSION=0X0A0B0C0D", [](const DllSettings& s) { return s.Version == 0x0A0B0C0Du; }},
        {"[Link]\nReplyTimeoutMs=250\nEraseTimeoutMs=600000\nSyncIntervalMs=15\nAttempts=10",
         [](const DllSettings& s) {
             return s.Timing.ReplyTimeoutMs == 250 && s.Timing.EraseTimeoutMs == 600000 &&
                    s.Timing.SyncIntervalMs == 15 && s.Timing.Attempts == 10;
         }},
        {"[Adapter]\nFail=Erase", [](const DllSettings& s) { return s.Adapter.Fail == FailPoint::Erase; }},
        {"[Adapter]\nFAIL=READINFO", [](const DllSettings& s) { return s.Adapter.Fail == FailPoint::ReadInfo; }},
        {"[Adapter]\nnever", [](const DllSettings& s) { return s.Adapter.AppearMs < 0; }},
        {"[Adapter]\nNever=", [](const DllSettings& s) { return s.Adapter.AppearMs < 0; }},
        {"[Adapter]\n  serial = 0x10  ", [](const DllSettings& s) { return s.Adapter.Serial == 16; }},
        // Leading zeros are decimal, not octal.
        {"[Adapter]\nserial=010", [](const DllSettings& s) { return s.Adapter.Serial == 10; }},
        {"[Adapter]\nserial=4294967295", [](const DllSettings& s) { return s.Adapter.Serial == 0xFFFFFFFFu; }},
        {"[Adapter]\npart=t30c64", [](const DllSettings& s) { return s.Adapter.Part == "T30C64"; }},
        // A part of the high-bit table is there once [Parts] selects it,
        // wherever that section stands.
        {"[Adapter]\npart=tx15z32\n[Parts]\nTable=highbits",
         [](const DllSettings& s) { return s.Adapter.Part == "TX15Z32"; }},
        {"[Adapter]\nPace=0\nRepeat-Delay-Ms=0",
         [](const DllSettings& s) { return !s.Adapter.Pace && s.Adapter.RepeatDelayMs == 0; }},
        {"[Adapter]\nwait-status=0x66", [](const DllSettings& s) { return s.Adapter.WaitStatus == 102; }},
        {"[Adapter]\n; fail=erase\n\nserial=7",
         [](const DllSettings& s) { return s.Adapter.Fail == FailPoint::None && s.Adapter.Serial == 7; }},
    };
    for (const auto& c : cases) {
        const DllSettings s = ParseDllSettings(File(c.Text));
        EXPECT_TRUE(c.Took(s)) << c.Text;
        EXPECT_EQ(s.FirstProblem(), nullptr) << c.Text << "\n" << s.FirstProblem()->Text;
    }
}

TEST(IniSettings, MissingFileAndKeysGiveTheDefaults) {
    for (const char* text : {"", "[Adapter]\n", "[Link]\n[Parts]\n[Info]\n"}) {
        const DllSettings s = ParseDllSettings(File(text));
        const HostTiming timing;
        EXPECT_EQ(s.FirstProblem(), nullptr);
        EXPECT_EQ(s.Table, TableVariant::Normal);
        EXPECT_EQ(s.Version, 0x01000007u);
        EXPECT_EQ(s.Edition, 0);
        EXPECT_EQ(s.Timing.ReplyTimeoutMs, timing.ReplyTimeoutMs);
        EXPECT_EQ(s.Timing.Attempts, timing.Attempts);
        EXPECT_EQ(s.Adapter.AppearMs, 0);
        EXPECT_EQ(s.Adapter.Fail, FailPoint::None);
        EXPECT_EQ(s.Adapter.WaitStatus, isp::kStatusWaitingForTarget);
        // The built-in adapter is as slow as the hardware unless told otherwise.
        EXPECT_TRUE(s.Adapter.Pace);
        EXPECT_EQ(s.Adapter.RepeatDelayMs, 2000);
    }
}

TEST(IniSettings, EntriesThatCannotBeTakenAreReportedWithTheirCause) {
    const struct {
        const char* Text;
        const char* Section;  // the section FirstProblem finds it under
        const char* Problem;
    } cases[] = {
        {"[Adapter]\nfail=bogus", "Adapter",
         "Tarvel_DLL.ini [Adapter] fail=bogus: unknown value, expected none, sync, erase, option, register, "
         "program, verify, readinfo or silent"},
        {"[Adapter]\nfail=", "Adapter", "Tarvel_DLL.ini [Adapter] fail=: value missing"},
        {"[Adapter]\nserial=4294967296", "Adapter",
         "Tarvel_DLL.ini [Adapter] serial=4294967296: out of range, expected 0 to 4294967295"},
        {"[Adapter]\nserial=99999999999999999999", "Adapter",
         "Tarvel_DLL.ini [Adapter] serial=99999999999999999999: not a number"},
        {"[Adapter]\nserial=0x", "Adapter", "Tarvel_DLL.ini [Adapter] serial=0x: not a number"},
        {"[Adapter]\nserial=+5", "Adapter", "Tarvel_DLL.ini [Adapter] serial=+5: not a number"},
        {"[Adapter]\nserial=12 34", "Adapter", "Tarvel_DLL.ini [Adapter] serial=12 34: not a number"},
        {"[Adapter]\nmax-baud=-115200", "Adapter",
         "Tarvel_DLL.ini [Adapter] max-baud=-115200: out of range, expected 0 to 4294967295"},
        {"[Adapter]\npart=TX15Z32", "Adapter", "Tarvel_DLL.ini [Adapter] part=TX15Z32: no such part in the table"},
        {"[Adapter]\nPart=T30C64\npart=T30C128", "Adapter",
         "Tarvel_DLL.ini [Adapter] part=T30C128: given more than once"},
        {"[Adapter]\n=5", "Adapter", "Tarvel_DLL.ini [Adapter] =5: unknown option"},
        {"[Parts]\nTable", "Parts", "Tarvel_DLL.ini [Parts] Table: value missing"},
        {"[Parts]\nTable=normal\nTABLE=empty", "Parts", "Tarvel_DLL.ini [Parts] TABLE=empty: given more than once"},
        {"[Parts]\nColumns=2", "Parts", "Tarvel_DLL.ini [Parts] Columns=2: unknown option"},
        {"[Info]\nVersion=0x100000000", "Info",
         "Tarvel_DLL.ini [Info] Version=0x100000000: out of range, expected 0 to 4294967295"},
        {"[Info]\nEdition=2147483648", "Info",
         "Tarvel_DLL.ini [Info] Edition=2147483648: out of range, expected 0 to 2147483647"},
        {"[Link]\nEraseTimeoutMs=-1", "Link",
         "Tarvel_DLL.ini [Link] EraseTimeoutMs=-1: out of range, expected 0 to 600000"},
        {"[Link]\nAttempts=11", "Link", "Tarvel_DLL.ini [Link] Attempts=11: out of range, expected 1 to 10"},
        {"[Link]\nattempts", "Link", "Tarvel_DLL.ini [Link] attempts: value missing"},
        {"[Adapter]\nnever\n[adapter]\nfail=erase", "adapter",
         "Tarvel_DLL.ini [adapter]: section given more than once"},
        {"[Setting]\nLanguage=1", "Setting", "Tarvel_DLL.ini [Setting]: unknown section"},
    };
    for (const auto& c : cases) {
        const DllSettings s = ParseDllSettings(File(c.Text));
        const SettingsProblem* p = s.FirstProblem(c.Section);
        ASSERT_NE(p, nullptr) << c.Text;
        EXPECT_EQ(p->Text, c.Problem);
        EXPECT_EQ(s.FirstProblem(), p) << "the only problem of " << c.Text;
    }
}

// Each call looks only at the sections it reads: a bad [Adapter] entry
// leaves the parts table and the version as the file sets them.
TEST(IniSettings, ProblemsAreFoundPerSection) {
    const DllSettings s =
        ParseDllSettings(File("[Adapter]\nfail=later\n[Parts]\nTable=empty\n[Info]\nVersion=2\n[Link]\nAttempts=x"));
    EXPECT_EQ(s.FirstProblem("Parts"), nullptr);
    EXPECT_EQ(s.FirstProblem("Info"), nullptr);
    EXPECT_EQ(s.Table, TableVariant::Empty);
    EXPECT_EQ(s.Version, 2u);
    ASSERT_NE(s.FirstProblem("Adapter"), nullptr);
    ASSERT_NE(s.FirstProblem("link"), nullptr);
    EXPECT_EQ(s.FirstProblem("link")->Text, "Tarvel_DLL.ini [Link] Attempts=x: not a number");
    EXPECT_EQ(s.Problems.size(), 2u);
}

}  // namespace
}  // namespace tarvel
