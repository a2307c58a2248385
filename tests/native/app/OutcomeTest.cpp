// The outcome text of a library result code, the repeat job's log clear rule,
// and the port and rate texts the link is opened with.
#include "isp/Outcome.h"
#include "isp/RateTable.h"

#include <gtest/gtest.h>

namespace {

using isp::JobKind;

TEST(Outcome, UpdateAndDumpEachNameOnlyTheCodesTheyCanProduce) {
    struct Case {
        int code;
        int update;
        int dump;
    };
    const Case cases[] = {
        {101, texts::kPass, texts::kPass},
        {102, -1, -1},
        {103, texts::kStop, texts::kStop},
        {104, texts::kNotFindDevice, texts::kNotFindDevice},
        {105, texts::kCustomerIdError, texts::kCustomerIdError},
        {106, texts::kDeviceIdError, texts::kDeviceIdError},
        {107, texts::kBaudRateTooLarge, -1},
        {108, texts::kSetSyncError, -1},
        {109, texts::kWriteOrError, -1},
        {110, texts::kEraseError, -1},
        {111, texts::kRegisterError, -1},
        {112, texts::kProgramError, -1},
        {113, -1, texts::kFail},
        {0, -1, -1},
        {100, -1, -1},
        {114, -1, -1},
        {0xFFFF, -1, -1},
    };
    for (const Case& c : cases) {
        const auto code = static_cast<std::uint16_t>(c.code);
        EXPECT_EQ(isp::OutcomeTextId(JobKind::Update, code), c.update) << c.code;
        EXPECT_EQ(isp::OutcomeTextId(JobKind::Dump, code), c.dump) << c.code;
    }
}

TEST(PortTexts, RatesReadTheirLeadingDigitsAndComPortsAboveNineUseTheDeviceName) {
    EXPECT_EQ(RateValue(L"115200"), 115200u);
    EXPECT_EQ(RateValue(L"Auto"), 0u);
    EXPECT_EQ(RateValue(L""), 0u);
    EXPECT_EQ(RateValue(L"9600 bps"), 9600u);
    EXPECT_EQ(ComDeviceName(L"COM9"), L"COM9");
    EXPECT_EQ(ComDeviceName(L"COM10"), L"\\\\.\\COM10");
    EXPECT_EQ(ComDeviceName(L"COM256"), L"\\\\.\\COM256");
}

}  // namespace
