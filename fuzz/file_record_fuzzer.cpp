// The record of a listed file on arbitrary bytes: it must be made (no error for a file that opens), end,
// read nothing outside the file, give texts and keys that agree with each other, and leave the file as it
// was, even where it rewrote the video handler for a second scan.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "formats/avi_fichier.h"
#include "memory_file.h"

namespace {

bool isOneOf(const std::string& text, std::initializer_list<const char*> values) {
    for (const char* value : values) {
        if (text == value) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryFile file(data, size);
    const moraven::TAfficherFichier record(file.path());

    if (!record.Exists() || record.SizeLow() != size) std::abort();
    const std::string& key = record.DatecodeKey();
    const bool datecode = key.size() == 14 && key.find_first_not_of("0123456789") == std::string::npos;
    if (!datecode && !isOneOf(key, {"N/A", "\xFE", "\xFF"})) std::abort();
    if (record.ListKey().compare(0, key.size(), key) != 0) std::abort();
    if (record.IsDv() != (record.DvType() != 0)) std::abort();
    if (record.IsDv() && (record.TvSystem() == 0 || record.ImageText().back() != ')')) std::abort();
    if (!record.IsDv() && !isOneOf(record.DatecodeText(), {"-", ""})) std::abort();
    if (datecode != (record.Datecode().days() != 0.0)) std::abort();
    if (record.Codec().size() > 4 || record.Fps() < 0) std::abort();
    if (record.ImageText() == "N/A" && !record.Codec().empty()) std::abort();

    // The handler rewritten for the second scan is always put back.
    const auto after = file.contents();
    if (after.size() != size || (size != 0 && !std::equal(after.begin(), after.end(), data))) std::abort();
    return 0;
}
