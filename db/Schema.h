// The tables of the shared database, the tool's own: created on first use
// when they are missing, with the schema's version in tarvel_schema. The
// README shows the same statements for an administrator to run by hand.
//
//   serial_series   one row per series: a sequence (start, step, the
//                   largest value its field holds, the next value never
//                   handed out) or a list (its values are rows of
//                   serial_numbers from the start)
//   serial_numbers  one row per value handed out (or, for a list, loaded):
//                   taken (on a board being programmed), passed (used up),
//                   free (given back: taken first by the next board of any
//                   station), lost (its board's fate unknown: never again);
//                   UNIQUE (series, value) makes a second use impossible
//   units           the record of every unit, the unit record's fields as
//                   columns; (station, record_id) is unique, so a record
//                   sent twice is stored once
#pragma once

#include <string>
#include <vector>

#include "db/Odbc.h"

namespace db {

constexpr int kSchemaVersion = 1;

// The statements that create the tables, in order.
const std::vector<std::string>& SchemaStatements();

enum class Outcome { Ok, Unavailable, Refused };

// Creates what is missing (one transaction) and checks the version: Refused
// for a database whose schema is newer than this tool's.
Outcome EnsureSchema(Connection& c, std::string* why);

}  // namespace db
