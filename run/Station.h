// What a unit record says about where and when a board was programmed: the
// computer's and the user's names and the local time with its UTC offset.
#pragma once

#include <string>

namespace run {

std::string StationName();   // the computer's name, UTF-8
std::string OperatorName();  // the signed-in user's name, UTF-8
std::string UnitTimeNow();   // "2026-12-11T04:02:03.123+01:00"

}  // namespace run
