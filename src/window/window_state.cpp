#include "window/window_state.h"

#include <array>

namespace moraven {

namespace {
constexpr std::array<std::string_view, 6> kCategoryTexts{"", "permanent", "vide", "liste", "mono", "multi"};
}

Category categoryFromText(std::string_view text) {
    for (std::size_t i = 1; i < kCategoryTexts.size(); ++i) {
        if (kCategoryTexts[i] == text) return static_cast<Category>(i);
    }
    return Category::None;
}

std::string_view categoryText(Category category) {
    const auto index = static_cast<std::size_t>(category);
    return index < kCategoryTexts.size() ? kCategoryTexts[index] : std::string_view{};
}

}  // namespace moraven
