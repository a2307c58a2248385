#include "db/Schema.h"

#include <cstdlib>

namespace db {

const std::vector<std::string>& SchemaStatements() {
    static const std::vector<std::string> kStatements = {
        "CREATE TABLE IF NOT EXISTS tarvel_schema (\n"
        "    version INTEGER PRIMARY KEY\n"
        ")",
        "CREATE TABLE IF NOT EXISTS serial_series (\n"
        "    series      VARCHAR(100) PRIMARY KEY,\n"
        "    kind        VARCHAR(8)   NOT NULL CHECK (kind IN ('sequence', 'list')),\n"
        "    start_value NUMERIC(20),\n"
        "    step        NUMERIC(20),\n"
        "    max_value   NUMERIC(20),\n"
        "    next_value  NUMERIC(20),\n"
        "    created_at  TIMESTAMP WITH TIME ZONE NOT NULL DEFAULT CURRENT_TIMESTAMP\n"
        ")",
        "CREATE TABLE IF NOT EXISTS serial_numbers (\n"
        "    series     VARCHAR(100) NOT NULL REFERENCES serial_series (series),\n"
        "    value      VARCHAR(64)  NOT NULL,\n"
        "    position   NUMERIC(20)  NOT NULL,\n"
        "    state      VARCHAR(8)   NOT NULL CHECK (state IN ('taken', 'passed', 'free', 'lost')),\n"
        "    station    VARCHAR(200),\n"
        "    taker      VARCHAR(40),\n"
        "    taken_at   TIMESTAMP WITH TIME ZONE,\n"
        "    settled_at TIMESTAMP WITH TIME ZONE,\n"
        "    UNIQUE (series, value)\n"
        ")",
        "CREATE INDEX IF NOT EXISTS serial_numbers_by_state ON serial_numbers (series, state, position)",
        "CREATE TABLE IF NOT EXISTS units (\n"
        "    station        VARCHAR(200) NOT NULL,\n"
        "    record_id      VARCHAR(80)  NOT NULL,\n"
        "    time           VARCHAR(40)  NOT NULL,\n"
        "    operator       VARCHAR(200),\n"
        "    project        VARCHAR(200),\n"
        "    project_sha256 VARCHAR(64),\n"
        "    port           VARCHAR(40),\n"
        "    serial         VARCHAR(64),\n"
        "    image_crc32    VARCHAR(8),\n"
        "    outcome        VARCHAR(40),\n"
        "    seconds        NUMERIC(12, 3),\n"
        "    received_at    TIMESTAMP WITH TIME ZONE NOT NULL DEFAULT CURRENT_TIMESTAMP,\n"
        "    PRIMARY KEY (station, record_id)\n"
        ")",
        "INSERT INTO tarvel_schema (version) VALUES (1) ON CONFLICT DO NOTHING",
    };
    return kStatements;
}

Outcome EnsureSchema(Connection& c, std::string* why) {
    Error e;
    // Two stations that start at once may both create a table: the one that
    // loses is told so by the database (a unique violation in its catalog)
    // and tries again, finding the tables there.
    for (int attempt = 0;; ++attempt) {
        bool ok = true;
        for (const std::string& sql : SchemaStatements()) {
            if (!c.Execute(sql, {}, nullptr, &e)) {
                ok = false;
                break;
            }
        }
        if (ok && c.Commit(&e)) break;
        c.Rollback();
        if (e.connectionLost || attempt == 3) {
            *why = "cannot create the database's tables: " + e.Text();
            return e.connectionLost ? Outcome::Unavailable : Outcome::Refused;
        }
    }
    std::vector<Row> rows;
    if (!c.Execute("SELECT MAX(version) FROM tarvel_schema", {}, &rows, &e) || !c.Commit(&e)) {
        c.Rollback();
        *why = "cannot read the database's schema version: " + e.Text();
        return e.connectionLost ? Outcome::Unavailable : Outcome::Refused;
    }
    const long version = rows.empty() || rows[0][0].isNull ? 0 : std::strtol(rows[0][0].text.c_str(), nullptr, 10);
    if (version > kSchemaVersion) {
        *why = "the database's tables are of schema version " + std::to_string(version) + ", newer than this tool's " +
               std::to_string(kSchemaVersion);
        return Outcome::Refused;
    }
    return Outcome::Ok;
}

}  // namespace db
