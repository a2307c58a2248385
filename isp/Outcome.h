// What the log says about a finished library call, and when a repeat job
// clears the log. Window-free.
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

// A repeat job clears the log before a heading whose number is a multiple of
// 100, so the log never grows past a hundred runs.
inline bool ClearsLogBefore(int lineNo) { return lineNo > 0 && lineNo % 100 == 0; }

}  // namespace isp
