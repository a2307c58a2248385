#include "db/UnitStore.h"

#include <cstdio>

namespace db {

Outcome UnitStore::Insert(const std::vector<std::pair<std::string, run::UnitRecord>>& records, std::string* why) {
    Error e;
    if (!db_.Open(connection_, &e)) {
        *why = "cannot reach the database: " + e.Text();
        return Outcome::Unavailable;
    }
    if (!schemaChecked_) {
        const Outcome o = EnsureSchema(db_, why);
        if (o != Outcome::Ok) return o;
        schemaChecked_ = true;
    }
    for (const auto& r : records) {
        const run::UnitRecord& u = r.second;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", u.seconds);
        const auto text = [](const std::string& s) { return s.empty() ? Param::None() : Param::Str(s); };
        if (!db_.Execute("INSERT INTO units (station, record_id, time, operator, project, project_sha256, port, "
                         "serial, image_crc32, outcome, seconds) "
                         "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, CAST(? AS NUMERIC(12, 3))) ON CONFLICT DO NOTHING",
                         {Param::Str(u.station), Param::Str(r.first), Param::Str(u.time), text(u.operatorName),
                          text(u.project), text(u.projectSha256), text(u.port), text(u.serial), text(u.imageCrc32),
                          text(u.outcome), Param::Str(seconds)},
                         nullptr, &e)) {
            db_.Rollback();
            *why = "cannot store a unit record: " + e.Text();
            return e.connectionLost ? Outcome::Unavailable : Outcome::Refused;
        }
    }
    if (!db_.Commit(&e)) {
        db_.Rollback();
        *why = "cannot store the unit records: " + e.Text();
        return e.connectionLost ? Outcome::Unavailable : Outcome::Refused;
    }
    return Outcome::Ok;
}

}  // namespace db
