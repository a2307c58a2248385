// The record of every unit: its fields and their quoting, a row for an older
// file's own columns, the time with its UTC offset, and a project's counters
// read back from the file.
#include "run/UnitRecord.h"

#include <gtest/gtest.h>

namespace {

run::UnitRecord Sample() {
    run::UnitRecord r;
    r.time = "2026-12-11T04:02:03.123+01:00";
    r.station = "LINE-PC-3";
    r.operatorName = "mia";
    r.project = "line 1";
    r.projectSha256 = std::string(64, 'a');
    r.port = "COM7";
    r.serial = "00:1A:2B:3C:4D:5E";
    r.imageCrc32 = "1A2B3C4D";
    r.outcome = "Pass";
    r.seconds = 6.0004;
    return r;
}

TEST(UnitRecord, OneRowPerBoardWithItsFieldsQuotedWhereCsvNeedsIt) {
    EXPECT_EQ(run::UnitCsvHeader(),
              "time,station,operator,project,project_sha256,port,serial,image_crc32,outcome,seconds");
    const std::vector<std::string> columns = run::CsvColumns(run::UnitCsvHeader());
    ASSERT_EQ(columns, run::UnitFields());
    run::UnitRecord r = Sample();
    EXPECT_EQ(run::UnitCsvRow(r, columns), "2026-12-11T04:02:03.123+01:00,LINE-PC-3,mia,line 1," +
                                               std::string(64, 'a') + ",COM7,00:1A:2B:3C:4D:5E,1A2B3C4D,Pass,6.000");
    struct Case {
        const char* project;
        const char* field;
    };
    const Case cases[] = {
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {"plain", "plain"},
    };
    for (const Case& c : cases) {
        r.project = c.project;
        const std::string row = run::UnitCsvRow(r, {"project", "outcome"});
        EXPECT_EQ(row, std::string(c.field) + ",Pass") << c.project;
    }
}

TEST(UnitRecord, AnOlderFileKeepsTheColumnsItsHeaderNames) {
    const std::vector<std::string> columns = run::CsvColumns("\xEF\xBB\xBFtime,port,\"outcome\",comment\r\n");
    EXPECT_EQ(columns, (std::vector<std::string>{"time", "port", "outcome", "comment"}));
    EXPECT_EQ(run::UnitCsvRow(Sample(), columns), "2026-12-11T04:02:03.123+01:00,COM7,Pass,");
}

TEST(UnitRecord, TimeCarriesItsUtcOffset) {
    EXPECT_EQ(run::TimeWithOffset(2026, 12, 11, 4, 2, 3, 7, 60), "2026-12-11T04:02:03.007+01:00");
    EXPECT_EQ(run::TimeWithOffset(2026, 1, 2, 23, 59, 59, 999, -330), "2026-01-02T23:59:59.999-05:30");
    EXPECT_EQ(run::TimeWithOffset(2026, 6, 1, 0, 0, 0, 0, 0), "2026-06-01T00:00:00.000+00:00");
    EXPECT_EQ(run::Crc32Text(0xA), "0000000A");
}

TEST(UnitRecord, CountersAreAProjectsRowsSinceItsLastReset) {
    std::string file = run::UnitCsvHeader() + "\r\n";
    const std::vector<std::string> columns = run::UnitFields();
    run::UnitRecord r = Sample();
    auto add = [&](const char* project, const char* outcome) {
        r.project = project;
        r.outcome = outcome;
        file += run::UnitCsvRow(r, columns) + "\r\n";
    };
    add("line 1", "Pass");
    add("line 1", "Not find device");
    add("line 1", run::kCountersReset);
    add("line 1", "Pass");
    add("line 1", "Pass");
    add("line,2", "Pass");
    add("line 1", "Stop");  // stopped by the operator: no unit's result
    add("line 1", "Program error");
    add("", "Pass");                               // the main window without a project
    file += "2026-12-11T05:00:00.000+01:00,LINE";  // a line cut by a power failure
    const run::UnitCounters one = run::CountUnits(file, "line 1");
    EXPECT_EQ(one.passed, 2u);
    EXPECT_EQ(one.failed, 1u);
    EXPECT_EQ(one.Total(), 3u);
    EXPECT_NEAR(one.YieldPercent(), 66.67, 0.01);
    EXPECT_EQ(run::CountUnits(file, "line,2").passed, 1u);
    EXPECT_EQ(run::CountUnits(file, "").passed, 1u);
    EXPECT_EQ(run::CountUnits("", "line 1").Total(), 0u);
    EXPECT_EQ(run::CountUnits("", "line 1").YieldPercent(), 0);
}

}  // namespace
