#include "cli/JsonLine.h"

#include <cmath>

namespace cli {

std::string JsonLine(const JsonObject& record) {
    return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

double Rounded(double value, int decimals) {
    if (!std::isfinite(value)) return 0;
    double scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    // Halves round away from zero, as the console lines' Fixed does.
    return std::copysign(std::floor(std::fabs(value) * scale + 0.5), value) / scale;
}

}  // namespace cli
