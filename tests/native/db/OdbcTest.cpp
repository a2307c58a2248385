// The connection layer against a real server: values travel as bound
// parameters (quotes and non-ASCII text arrive unchanged), the database's own
// unique constraint is reported with its SQLSTATE, and no password ever
// reaches a message.
#include "db/Odbc.h"

#include <gtest/gtest.h>

#include <ctime>

#include "DbTestEnv.h"
#include "db/Schema.h"

namespace {

TEST(OdbcPassword, HiddenInEveryForm) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Driver={PostgreSQL Unicode};Server=h;Pwd=secret;", "Driver={PostgreSQL Unicode};Server=h;Pwd=***;"},
        {"DSN=line1;UID=op;PWD=secret", "DSN=line1;UID=op;PWD=***"},
        {"DSN=line1; pwd = {se;cr}}et} ;Uid=x", "DSN=line1; pwd =***;Uid=x"},
        {"DSN=line1;Password=secret;", "DSN=line1;Password=***;"},
        {"DSN=line1;Uid=pwd;", "DSN=line1;Uid=pwd;"},
    };
    for (const auto& c : cases) EXPECT_EQ(db::HidePassword(c.in), c.out) << c.in;
    // A password with reserved characters goes in braced and is still hidden.
    const std::string with = db::WithPassword("DSN=line1", "a;b}c");
    EXPECT_EQ(with, "DSN=line1;Pwd={a;b}}c};");
    EXPECT_EQ(db::HidePassword(with), "DSN=line1;Pwd=***;");
}

TEST(Odbc, ConnectionFailureNamesNoPassword) {
    TARVEL_NEED_DB();
    // A port nothing listens on.
    db::Connection c;
    db::Error e;
    ASSERT_FALSE(
        c.Open(db::WithPassword("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=tarvel;Uid=postgres",
                                "Hunter2pw"),
               &e));
    EXPECT_TRUE(e.connectionLost);
    EXPECT_FALSE(e.sqlState.empty());
    EXPECT_EQ(e.Text().find("Hunter2pw"), std::string::npos) << e.Text();
}

TEST(Odbc, BoundTextRoundTripsAndUniqueViolationIsTold) {
    TARVEL_NEED_DB();
    db::Connection c;
    db::Error e;
    ASSERT_TRUE(c.Open(dbtest::Connection(), &e)) << e.Text();
    std::string why;
    ASSERT_EQ(db::EnsureSchema(c, &why), db::Outcome::Ok) << why;
    const std::string station = dbtest::FreshName("st'a;--\"tion");
    const std::string text = "O'Brien; DROP TABLE units; -- \xe5\xb7\xa5\xe4\xbd\x8d \xf0\x9f\x94\xa7";
    const std::vector<db::Param> row = {db::Param::Str(station), db::Param::Str("r1"), db::Param::Str(text)};
    const char* insert = "INSERT INTO units (station, record_id, time, operator) VALUES (?, ?, 'now', ?)";
    ASSERT_TRUE(c.Execute(insert, row, nullptr, &e)) << e.Text();
    ASSERT_TRUE(c.Commit(&e)) << e.Text();
    EXPECT_FALSE(c.Execute(insert, row, nullptr, &e));
    EXPECT_EQ(e.sqlState, "23505");
    EXPECT_FALSE(e.connectionLost);
    c.Rollback();
    std::vector<db::Row> rows;
    ASSERT_TRUE(c.Execute("SELECT operator, CAST(? AS BIGINT) + 1 FROM units WHERE station = ?",
                          {db::Param::Int(41), db::Param::Str(station)}, &rows, &e))
        << e.Text();
    c.Rollback();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].text, text);
    EXPECT_EQ(rows[0][1].text, "42");
}

}  // namespace
