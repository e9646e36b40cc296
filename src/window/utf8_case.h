#pragma once

#include <string>
#include <string_view>

namespace moraven {

// `text` with its capital letters in lower case, without regard to the global locale: ASCII, Latin-1
// Supplement, Latin Extended-A, Greek and Cyrillic (with its Supplement), by their simple one-to-one
// mappings ("ÉTÉ.avi" gives "été.avi"; "İ" gives "i"). Every other character stays, and so does every byte
// that is not part of a well-formed UTF-8 sequence (file names are bytes), so the result is as valid as the
// text was.
std::string lowerUtf8(std::string_view text);

}  // namespace moraven
