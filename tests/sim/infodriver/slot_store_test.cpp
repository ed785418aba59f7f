#include "sim/infodriver/slot_store.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel::sim {
namespace {

TEST(SlotStore, KeepsTheLastTextOfEachSlotInIndexOrder) {
    SlotStore store;
    EXPECT_EQ(store.read(3), "");
    EXPECT_TRUE(store.slots().empty());  // a read creates nothing

    store.write(3, "first");
    store.write(3, "second");
    store.write(4000000000u, "far");
    store.write(0, "");
    EXPECT_EQ(store.read(3), "second");
    EXPECT_EQ(store.read(4000000000u), "far");

    ASSERT_EQ(store.slots().size(), 3u);
    auto it = store.slots().begin();
    EXPECT_EQ(it->first, 0u);
    EXPECT_EQ((++it)->first, 3u);
    EXPECT_EQ((++it)->first, 4000000000u);
}

TEST(SlotStore, CutsATextToWhatASlotHolds) {
    SlotStore store;
    EXPECT_EQ(store.write(1, std::string(700, 'z')), std::string(511, 'z'));
    EXPECT_EQ(store.read(1).size(), 511u);
    EXPECT_EQ(store.write(2, std::string("ab\0cd", 5)), "ab");
}

}  // namespace
}  // namespace korvel::sim
