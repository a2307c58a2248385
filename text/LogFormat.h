// The numbered, timed lines of the message log. Each operation writes a
// heading, a result text and the elapsed-time tail as three appends:
//   "007 - Open Port =>" "Pass" "   [0.047\"]\r\n"
#pragma once

#include <cstdint>
#include <string>

namespace logfmt {

// "%03d - %s =>": at least three digits, more from 1000 on.
std::wstring Heading(int lineNo, const std::wstring& operation);

// Seconds between two millisecond tick counts, taken as an unsigned 32-bit
// difference so that a span across the counter's wrap (every 49.7 days)
// still comes out right.
double ElapsedSeconds(std::uint32_t startTick, std::uint32_t nowTick);

// Three blanks, "[", the seconds with three decimals, the seconds sign '"',
// "]", CR LF.
std::wstring ElapsedTail(double seconds);

// A repeat job empties the log before a heading whose number is a multiple
// of 100, so the log never grows past a hundred runs.
inline bool ClearsLogBefore(int lineNo) { return lineNo > 0 && lineNo % 100 == 0; }

}  // namespace logfmt
