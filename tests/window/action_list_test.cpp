#include "window/action_list.h"

#include <set>

#include <gtest/gtest.h>

namespace moraven {
namespace {

TEST(ActionListTest, CategoriesCompareExactly) {
    EXPECT_EQ(categoryFromText("permanent"), Category::Permanent);
    EXPECT_EQ(categoryFromText("vide"), Category::Vide);
    EXPECT_EQ(categoryFromText("liste"), Category::Liste);
    EXPECT_EQ(categoryFromText("mono"), Category::Mono);
    EXPECT_EQ(categoryFromText("multi"), Category::Multi);
    EXPECT_EQ(categoryFromText("Multi"), Category::None);
    EXPECT_EQ(categoryFromText(""), Category::None);
    const CategorySet set{Category::Permanent, Category::Multi};
    EXPECT_TRUE(set.contains(Category::Multi));
    EXPECT_FALSE(set.contains(Category::None));
    EXPECT_FALSE(set.contains(Category::Liste));
}

TEST(ActionListTest, TheWindowsOwnActionsHaveUniqueNamesAndKnownCategories) {
    ActionList al(windowActions());
    std::set<std::string> names;
    for (const Action& action : al.actions()) {
        EXPECT_TRUE(names.insert(asciiLower(action.name)).second) << action.name;
        EXPECT_NE(action.categoryNumber(), Category::None) << action.name;
        EXPECT_FALSE(action.caption.empty()) << action.name;
        EXPECT_EQ(action.tag, -1);
    }
    ASSERT_NE(al.find("AFQUITTER"), nullptr);
    EXPECT_EQ(al.find("afQuitter")->secondaryShortcuts, std::vector<std::string>{"Ctrl+Q"});
    EXPECT_EQ(al.find("afViderListe")->caption, "Empty th list");
    EXPECT_EQ(al.find("afViderListe")->hint, "Empty th list");
    EXPECT_EQ(al.find("afBasculerListe")->category, "multi");
    EXPECT_EQ(al.find("noSuchAction"), nullptr);
}

}  // namespace
}  // namespace moraven
