#include "formats/decimal_text.h"

#include <charconv>

namespace moraven {

std::string shortestDecimalText(double value) {
    char text[32];  // the longest shortest form of a double takes 24 characters
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace moraven
