// Unit records reach the database exactly once and in order: they wait in
// the outbox while the database is away, across a restart, and a record
// whose answer was lost (stored, but not marked sent) is not stored twice.
#include "cli/UnitOutbox.h"

#include <gtest/gtest.h>

#include <sstream>

#include "DbTestEnv.h"
#include "db/Odbc.h"

namespace {

class MemoryJournal : public cli::JournalSink {
public:
    bool Append(const std::string& line, std::string*) override {
        text += line + "\n";
        return true;
    }
    std::string text;
};

run::UnitRecord Unit(const std::string& station, const std::string& serial) {
    run::UnitRecord u;
    u.time = "2026-12-11T09:00:00.000+00:00";
    u.station = station;
    u.operatorName = "op\tone\\two\nthree";
    u.port = "COM7";
    u.serial = serial;
    u.imageCrc32 = "0A1B2C3D";
    u.outcome = "Pass";
    u.seconds = 6.25;
    return u;
}

// "serial:outcome" of the station's rows, in the order they were stored.
std::string Stored(const std::string& station) {
    db::Connection c;
    db::Error e;
    std::vector<db::Row> rows;
    if (!c.Open(dbtest::Connection(), &e) ||
        !c.Execute("SELECT serial, operator, seconds FROM units WHERE station = ? ORDER BY received_at, record_id",
                   {db::Param::Str(station)}, &rows, &e))
        return "error: " + e.Text();
    c.Rollback();
    std::string s;
    for (const db::Row& r : rows) {
        EXPECT_EQ(r[1].text, "op\tone\\two\nthree");
        EXPECT_EQ(r[2].text, "6.250");
        s += (s.empty() ? "" : " ") + r[0].text;
    }
    return s;
}

TEST(UnitOutbox, RecordsWaitAndArriveOnceInOrder) {
    TARVEL_NEED_DB();
    const std::string station = dbtest::FreshName("outbox");
    const std::string dead = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=tarvel;Uid=postgres;";
    MemoryJournal journal;
    std::string why;
    {
        cli::UnitOutbox away(dead);
        away.SetRetryPause(std::chrono::milliseconds(0));
        ASSERT_TRUE(away.Start("", &journal, &why)) << why;
        for (const char* serial : {"1", "2", "3"}) ASSERT_TRUE(away.Add(Unit(station, serial), &why)) << why;
        EXPECT_EQ(away.Waiting(), 3u);
        EXPECT_FALSE(away.LastWhy().empty());
    }
    {
        // The next start sends them, then a new record.
        cli::UnitOutbox back(dbtest::Connection());
        ASSERT_TRUE(back.Start(journal.text, &journal, &why)) << why;
        EXPECT_EQ(back.Waiting(), 3u);
        ASSERT_TRUE(back.Send(&why, true)) << why;
        ASSERT_TRUE(back.Add(Unit(station, "4"), &why)) << why;
        EXPECT_EQ(back.Waiting(), 0u);
    }
    EXPECT_EQ(Stored(station), "1 2 3 4");

    // Stored, but the "sent" lines never reached the disk: sent again, kept once.
    std::string lostAnswers;
    std::istringstream in(journal.text);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, 5, "sent ") != 0) lostAnswers += line + "\n";
    cli::UnitOutbox again(dbtest::Connection());
    MemoryJournal sink;
    ASSERT_TRUE(again.Start(lostAnswers, &sink, &why)) << why;
    EXPECT_EQ(again.Waiting(), 4u);
    ASSERT_TRUE(again.Send(&why, true)) << why;
    EXPECT_EQ(Stored(station), "1 2 3 4");
}

}  // namespace
