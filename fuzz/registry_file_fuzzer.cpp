// Parses arbitrary text as a registry file. What parses must write back as text that parses to the same
// keys and values (writing it again gives the same text), and the written text stays within a small multiple
// of the text read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "settings/registry_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = moraven::parseRegistryText(text);
    if (std::holds_alternative<moraven::RegistryParseError>(parsed)) return 0;

    const std::string written = moraven::registryText(std::get<moraven::RegistryKeyNode>(parsed));
    // Each key's header repeats its path (at most 64 names deep), strings may turn into hex bytes.
    if (written.size() > 100 * size + 1024) std::abort();
    const auto again = moraven::parseRegistryText(written);
    if (!std::holds_alternative<moraven::RegistryKeyNode>(again)) std::abort();
    if (moraven::registryText(std::get<moraven::RegistryKeyNode>(again)) != written) std::abort();
    return 0;
}
