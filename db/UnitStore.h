// Unit records in the shared database's units table: one INSERT per record,
// keyed by (station, record_id), so that a record sent again after a lost
// answer is stored once.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/Odbc.h"
#include "db/Schema.h"
#include "run/UnitRecord.h"

namespace db {

class UnitStore {
public:
    explicit UnitStore(std::string connection) : connection_(std::move(connection)) {}
    // Inserts the records, in order, in one transaction.
    Outcome Insert(const std::vector<std::pair<std::string, run::UnitRecord>>& records, std::string* why);

private:
    std::string connection_;
    Connection db_;
    bool schemaChecked_ = false;
};

}  // namespace db
