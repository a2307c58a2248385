// Part names, port names, rates and option bits against a small parts table:
// the command line offers exactly what the window's lists offer for the port
// kind and the part's class.
#include "cli/PartChoice.h"

#include <gtest/gtest.h>

namespace {

using isp::BodyInfo;

#define NO_OPT \
    { L"", L"" }
#define CAPS3                                                                                                    \
    {                                                                                                            \
        {L"Reset pin as GPIO", L"a"}, {L"Low voltage reset", L"b"}, {L"Watchdog", L"c"}, NO_OPT, NO_OPT, NO_OPT, \
            NO_OPT, NO_OPT                                                                                       \
    }
#define CAPS0 \
    { NO_OPT, NO_OPT, NO_OPT, NO_OPT, NO_OPT, NO_OPT, NO_OPT, NO_OPT }

// A class-0 part with EEPROM and three option bits, a fixed-rate class-1
// part, a part without EEPROM or options, and two names that differ only in
// letter case.
const BodyInfo kTable[] = {
    {L"T30C64", 1u << 2, 0, 65536, 2048, 0xF800, 3, CAPS3},
    {L"HX2560", 1u << 13, 1, 262144, 4096, 0x3F000, 3, CAPS3},
    {L"T10N4", 1u << 4, 0, 4096, 0, 0xF00, 0, CAPS0},
    {L"Twin", 1u << 4, 0, 4096, 0, 0, 0, CAPS0},
    {L"TWIN", 1u << 4, 0, 4096, 0, 0, 0, CAPS0},
    {L"T40F1M", 1u << 1, 0, 1048576, 0, 0, 10, CAPS3},
};
constexpr std::uint32_t kCount = sizeof(kTable) / sizeof(kTable[0]);

TEST(PartChoice, NamesMatchExactlyOrByCaseWhenThatIsUnambiguous) {
    EXPECT_EQ(cli::FindPart(kTable, kCount, L"T30C64"), 0);
    EXPECT_EQ(cli::FindPart(kTable, kCount, L"t30c64"), 0);
    EXPECT_EQ(cli::FindPart(kTable, kCount, L"TWIN"), 4);
    EXPECT_EQ(cli::FindPart(kTable, kCount, L"Twin"), 3);
    EXPECT_EQ(cli::FindPart(kTable, kCount, L"twin"), -1);  // could be either
    EXPECT_EQ(cli::FindPart(kTable, kCount, L"T30C6"), -1);
    EXPECT_EQ(cli::FindPart(kTable, kCount, L"T30C645"), -1);
    EXPECT_EQ(cli::FindPart(kTable, kCount, L""), -1);
    EXPECT_EQ(cli::FindPart(nullptr, 0, L"T30C64"), -1);
}

TEST(PartChoice, PortsAreComPortsOrTheAdapter) {
    struct Case {
        const wchar_t* text;
        bool ok;
        bool com;
        const wchar_t* name;
    };
    const Case cases[] = {
        {L"COM1", true, true, L"COM1"},    {L"com12", true, true, L"COM12"},  {L"COM255", true, true, L"COM255"},
        {L"KV707", true, false, L"KV707"}, {L"kv707", true, false, L"KV707"}, {L"COM0", false, false, L""},
        {L"COM256", false, false, L""},    {L"COM07", false, false, L""},     {L"COM", false, false, L""},
        {L"COM1a", false, false, L""},     {L"KV705", false, false, L""},     {L"\\\\.\\COM3", false, false, L""},
        {L"LPT1", false, false, L""},
    };
    for (const Case& c : cases) {
        cli::PortChoice port;
        const bool ok = cli::NormalizePort(c.text, &port);
        EXPECT_EQ(ok, c.ok) << std::wstring(c.text).size();
        if (ok) {
            EXPECT_EQ(port.com, c.com);
            EXPECT_EQ(port.name, c.name);
        }
    }
}

cli::Options ProgramOn(const wchar_t* port, const wchar_t* baud, const wchar_t* check) {
    cli::Options o;
    o.command = cli::Command::Program;
    o.port = port;
    o.baud = baud;
    o.checkrate = check;
    return o;
}

TEST(PartChoice, RatesAreThoseTheWindowOffersForPortAndClass) {
    struct Case {
        const wchar_t* port;
        int part;
        const wchar_t* baud;
        const wchar_t* check;
        bool ok;
        std::int32_t baudValue, checkValue;
    };
    cli::LinkSettings refused;
    // A refusal lists what would have been accepted.
    EXPECT_NE(cli::CheckChoices(ProgramOn(L"KV707", L"", L"1200"), kTable[0], &refused).find(L": 4800, 9600"),
              std::wstring::npos);
    const Case cases[] = {
        {L"COM3", 0, L"", L"", true, 0, 9600},  // defaults: Auto, 9600
        {L"COM3", 0, L"auto", L"1200", true, 0, 1200},
        {L"COM3", 0, L"14400", L"2400", true, 14400, 2400},
        {L"COM3", 0, L"51200", L"", false, 0, 0},  // an adapter rate
        {L"KV707", 0, L"51200", L"4800", true, 51200, 4800},
        {L"KV707", 0, L"1200", L"", false, 0, 0},  // the adapter has no rate below 4800
        {L"KV707", 0, L"", L"1200", false, 0, 0},
        {L"COM3", 0, L"115201", L"", false, 0, 0},
        {L"COM3", 0, L"0115200", L"", false, 0, 0},
        {L"COM3", 1, L"", L"", true, 115200, 115200},  // fixed-rate class
        {L"KV707", 1, L"115200", L"115200", true, 115200, 115200},
        {L"COM3", 1, L"Auto", L"", false, 0, 0},
        {L"COM3", 1, L"", L"9600", false, 0, 0},
    };
    for (const Case& c : cases) {
        cli::LinkSettings link;
        const std::wstring why = cli::CheckChoices(ProgramOn(c.port, c.baud, c.check), kTable[c.part], &link);
        EXPECT_EQ(why.empty(), c.ok) << std::string(why.begin(), why.end());
        if (c.ok) {
            EXPECT_EQ(link.baudRate, c.baudValue);
            EXPECT_EQ(link.checkRate, c.checkValue);
        } else {
            EXPECT_NE(why.find(L"not offered"), std::wstring::npos);
        }
    }
}

// A project keeps COM ports only, and rates that a port it may run on
// offers: its own ports', or with none a COM port's or the adapter's.
TEST(PartChoice, ProjectRatesAreThoseOfAPortItMayRunOn) {
    struct Case {
        std::vector<std::wstring> ports;
        const wchar_t* baud;
        const wchar_t* check;
        const wchar_t* refusal;  // nullptr: accepted
        const wchar_t* baudText;
    };
    const Case cases[] = {
        {{}, L"", L"", nullptr, L"Auto"},
        {{}, L"auto", L"1200", nullptr, L"Auto"},    // 1200 on a COM port
        {{}, L"51200", L"4800", nullptr, L"51200"},  // on the adapter
        {{L"COM3", L"com4"}, L"14400", L"", nullptr, L"14400"},
        {{L"COM3"}, L"51200", L"", L"not offered for a COM port", nullptr},
        {{}, L"51200", L"1200", L"not offered for KV707", nullptr},  // no port offers both
        {{}, L"300", L"", L"not offered for a COM port", nullptr},
        {{L"COM3", L"KV707"}, L"", L"", L"a project keeps COM ports only", nullptr},
        {{L"LPT1"}, L"", L"", L"'LPT1' is neither", nullptr},
    };
    for (const Case& c : cases) {
        cli::Options o;
        o.command = cli::Command::ProjectNew;
        o.ports = c.ports;
        o.baud = c.baud;
        o.checkrate = c.check;
        cli::LinkSettings link;
        const std::wstring why = cli::CheckChoices(o, kTable[0], &link);
        if (c.refusal == nullptr) {
            EXPECT_EQ(why, L"") << std::string(why.begin(), why.end());
            EXPECT_EQ(link.baudText, c.baudText);
        } else {
            EXPECT_NE(why.find(c.refusal), std::wstring::npos) << std::string(why.begin(), why.end());
        }
    }
}

TEST(PartChoice, OptionBitsEepromAndDumpFollowThePart) {
    cli::Options o = ProgramOn(L"KV707", L"", L"");
    cli::LinkSettings link;
    o.optionBitsGiven = true;
    o.optionBits = 0x07;
    EXPECT_TRUE(cli::CheckChoices(o, kTable[0], &link).empty());
    o.optionBits = 0x08;  // box 3 of a part with three
    EXPECT_NE(cli::CheckChoices(o, kTable[0], &link).find(L"3 option bits"), std::wstring::npos);
    o.optionBits = 0x01;
    EXPECT_FALSE(cli::CheckChoices(o, kTable[2], &link).empty());
    o.optionBits = 0xFF;  // ten options: the window shows eight boxes, all usable
    EXPECT_TRUE(cli::CheckChoices(o, kTable[5], &link).empty());

    cli::Options e = ProgramOn(L"KV707", L"", L"");
    cli::FileLoad load;
    load.area = cli::Area::Eeprom;
    e.loads.push_back(load);
    EXPECT_TRUE(cli::CheckChoices(e, kTable[0], &link).empty());
    EXPECT_NE(cli::CheckChoices(e, kTable[2], &link).find(L"no EEPROM"), std::wstring::npos);

    cli::Options d = ProgramOn(L"KV707", L"", L"");
    d.command = cli::Command::Dump;
    EXPECT_TRUE(cli::CheckChoices(d, kTable[1], &link).empty());
    EXPECT_NE(cli::CheckChoices(d, kTable[0], &link).find(L"class 1 and 2"), std::wstring::npos);

    cli::Options badPort = ProgramOn(L"COM0", L"", L"");
    EXPECT_NE(cli::CheckChoices(badPort, kTable[0], &link).find(L"COM0"), std::wstring::npos);
}

}  // namespace
