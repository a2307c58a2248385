// The run's records as a script reads them: every JSON record parses and
// carries the board's facts, CSV rows keep their columns whatever the texts
// hold, numbers never depend on the process locale, and wide texts reach
// UTF-8 intact.
#include "cli/Listing.h"
#include "cli/Records.h"
#include "cli/Text.h"
#include "image/Crc32.h"

#include "tests/support/JsonRead.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

using jsonread::Value;

Value MustParse(const std::string& text) {
    Value v;
    std::string error;
    EXPECT_TRUE(jsonread::Parse(text, &v, &error)) << error << ": " << text;
    return v;
}

// Splits one CSV line the way RFC 4180 reads it.
std::vector<std::string> CsvCells(const std::string& line) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                cells.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cells.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

cli::BoardRecord Board() {
    cli::BoardRecord r;
    r.time = "2024-05-01T10:00:03.123";
    r.board = 7;
    r.hasSerial = true;
    r.serial = 18446744073709551615ull;  // a full 8-byte field
    r.code = 112;
    r.outcome = "Program error";
    r.seconds = 3.2149;
    r.librarySeconds = 3.2;
    r.waitSeconds = 0.5;
    return r;
}

TEST(Records, BoardAndSummaryJsonCarryTheFacts) {
    const Value b = MustParse(cli::BoardJson(Board()));
    EXPECT_EQ(b["record"].text, "board");
    EXPECT_EQ(b["board"].Unsigned(), 7u);
    EXPECT_EQ(b["serial"].text, "18446744073709551615");
    EXPECT_EQ(b["code"].Unsigned(), 112u);
    EXPECT_EQ(b["outcome"].text, "Program error");
    EXPECT_FALSE(b["passed"].boolean);
    EXPECT_DOUBLE_EQ(b["seconds"].Number(), 3.215);

    cli::BoardRecord noSerial = Board();
    noSerial.hasSerial = false;
    noSerial.code = 101;
    const Value n = MustParse(cli::BoardJson(noSerial));
    EXPECT_TRUE(n["serial"].IsNull());
    EXPECT_TRUE(n["passed"].boolean);

    cli::SummaryRecord s;
    s.time = "t";
    s.boards = 3;
    s.passed = 2;
    s.failed = 1;
    s.seconds = 10;
    s.boardsPerHour = cli::BoardsPerHour(2, 10);
    s.exitCode = 1;
    s.flashChecksum = 0x0A1;
    s.flashCrc = 0xCBF43926;
    const Value v = MustParse(cli::SummaryJson(s));
    EXPECT_EQ(v["record"].text, "summary");
    EXPECT_DOUBLE_EQ(v["boards_per_hour"].Number(), 720.0);
    EXPECT_EQ(v["flash_checksum"].text, "00A1");  // the window's "%04X"
    EXPECT_EQ(v["flash_crc32"].text, "CBF43926");
    EXPECT_EQ(v["exit_code"].Unsigned(), 1u);
}

TEST(Records, TextsWithQuotesCommasAndControlsStayInTheirField) {
    cli::BoardRecord r = Board();
    r.outcome = "odd \"text\", with\r\nbreaks\t\x01 and \xE6\x88\x90";
    const Value v = MustParse(cli::BoardJson(r));
    EXPECT_EQ(v["outcome"].text, r.outcome);

    r.port = "COM7";
    // A single port's log and a gang's (one column more, the port).
    for (const bool withPort : {false, true}) {
        const std::vector<std::string> header = CsvCells(cli::CsvHeader(withPort));
        const std::vector<std::string> row = CsvCells(cli::BoardCsv(r, withPort));
        ASSERT_EQ(row.size(), header.size());
        EXPECT_EQ(header.size(), withPort ? 12u : 11u);
        EXPECT_EQ(row[5], r.outcome);
        EXPECT_EQ(row[3], "18446744073709551615");
        if (withPort) {
            EXPECT_EQ(row.back(), "COM7");
        }
        const std::vector<std::string> sum = CsvCells(cli::SummaryCsv(cli::SummaryRecord{}, withPort));
        EXPECT_EQ(sum.size(), header.size());
        EXPECT_EQ(sum[0], "summary");
    }
}

TEST(Records, NumbersUseAPointWhateverTheLocale) {
    // A process that switched to a locale with a decimal comma must still
    // write records a CSV or JSON reader understands.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    const bool comma =
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr;
    EXPECT_EQ(cli::Fixed(3.2149, 3), "3.215");
    EXPECT_EQ(cli::Fixed(0.0004, 3), "0.000");
    EXPECT_EQ(cli::Fixed(1799.95, 1), "1800.0");
    EXPECT_EQ(cli::Fixed(-2.5, 0), "-3");
    EXPECT_EQ(cli::Fixed(12, 0), "12");
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!comma) GTEST_LOG_(INFO) << "no decimal-comma locale installed; checked in the C locale only";
}

TEST(Records, BoardsPerHourOfARun) {
    EXPECT_DOUBLE_EQ(cli::BoardsPerHour(10, 36), 1000.0);
    EXPECT_DOUBLE_EQ(cli::BoardsPerHour(0, 36), 0.0);
    EXPECT_DOUBLE_EQ(cli::BoardsPerHour(5, 0), 0.0);  // no run time: no figure, not infinity
    EXPECT_DOUBLE_EQ(cli::BoardsPerHour(5, -1), 0.0);
}

TEST(Records, LineShowsTimeBoardSerialOutcomeSeconds) {
    EXPECT_EQ(cli::BoardLine(Board()),
              "2024-05-01 10:00:03  board 7  serial 18446744073709551615  Program error  [3.215 s]");
    cli::BoardRecord r = Board();
    r.hasSerial = false;
    r.outcome.clear();
    r.code = 102;
    EXPECT_EQ(cli::BoardLine(r), "2024-05-01 10:00:03  board 7  result 102  [3.215 s]");
    cli::LocalTime t;
    t.year = 2024;
    t.month = 1;
    t.day = 2;
    t.hour = 3;
    t.minute = 4;
    t.second = 5;
    t.millisecond = 6;
    EXPECT_EQ(cli::TimeStamp(t), "2024-01-02T03:04:05.006");
}

TEST(Text, WideTextsReachUtf8AndBack) {
    const std::wstring wide = L"T30C64 \u6210\u529F \U0001F600";
    const std::string utf8 = cli::Utf8(wide);
    EXPECT_EQ(utf8, "T30C64 \xE6\x88\x90\xE5\x8A\x9F \xF0\x9F\x98\x80");
    EXPECT_EQ(cli::Widen(utf8), wide);
    // Broken input becomes U+FFFD instead of bytes that break a JSON reader.
    EXPECT_EQ(cli::Widen("a\xC0\xAF"
                         "b\xE6\x88"),
              L"a\uFFFD\uFFFDb\uFFFD\uFFFD");
    std::wstring lone;
    lone += L'x';
    lone += static_cast<wchar_t>(0xD800);
    EXPECT_EQ(cli::Utf8(lone), "x\xEF\xBF\xBD");
}

TEST(Text, Crc32IsTheCommonOne) {
    const std::string check = "123456789";
    EXPECT_EQ(image::Crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xCBF43926u);
    EXPECT_EQ(image::Crc32(nullptr, 0), 0u);
}

TEST(Listing, HexDumpShowsOffsetsBytesAndPrintables) {
    std::vector<std::uint8_t> bytes(20);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x41 + i);
    bytes[1] = 0x00;
    const std::vector<std::string> lines = cli::HexDumpLines(bytes.data(), bytes.size());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "0000  41 00 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  A.CDEFGHIJKLMNOP");
    EXPECT_EQ(lines[1].substr(0, 18), "0010  51 52 53 54 ");
    // The printable column starts where it does on a full line.
    EXPECT_EQ(lines[1].find("QRST"), lines[0].find("A.CD"));
}

}  // namespace
