#include "cli/RunRecords.h"

#include "run/UnitRecord.h"

#include "cli/Console.h"
#include "cli/ExitCodes.h"
#include "cli/Records.h"
#include "cli/Text.h"

#include <string>

namespace cli {

int StartRunRecords(const Options& o, SerialRun& serials, CsvLog& log, CsvLog& units) {
    if (o.serial) {
        std::wstring note, why;
        if (const int rc = serials.Setup(o, &note, &why)) return Fail(rc, why);
        if (!note.empty()) Err().Line("Tarvel_CLI: " + Utf8(note));
    }
    if (!o.log.empty()) {
        std::wstring why;
        if (!log.Open(o.log, LogColumns(), &why))
            return Fail(kExitFile, L"cannot write the log " + o.log + L": " + why);
    }
    if (!o.units.empty()) {
        std::wstring why;
        if (!units.Open(o.units, run::UnitFields(), &why))
            return Fail(kExitFile, L"cannot write the unit records " + o.units + L": " + why);
    }
    return kExitOk;
}

}  // namespace cli
