// What the log says about a finished library call. Window-free.
#pragma once

#include "text/UiText.h"

#include <cstdint>

namespace isp {

enum class JobKind { Update, Dump };

// The text that follows the heading of a run's log line, or -1 when the code
// has none (the heading is then followed directly by the elapsed time). An
// update knows the codes 101 and 103 to 112; a dump knows 101, 103 to 106 and
// 113, the only codes its read-back can produce.
int OutcomeTextId(JobKind job, std::uint16_t code);

}  // namespace isp
