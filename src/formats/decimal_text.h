#pragma once

#include <string>

namespace moraven {

// The shortest decimal text that reads back as the same number, with "." as the decimal point: 25, 29.97,
// 29.97002997002997.
std::string shortestDecimalText(double value);

}  // namespace moraven
