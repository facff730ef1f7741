#include "engine/ColumnChoice.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The column choice alone: each step's rows and map, the map always the rows followed by
// free slots.
TEST(ColumnChoice, EditsKeepRowsAndSlotsPaired)
{
    engine::ColumnChoice c;
    const auto map = [&] {
        std::vector<int> out;
        for (const auto& e : c.map())
            out.push_back(e.iItemNo);
        return out;
    };
    EXPECT_FALSE(c.hasSlots());
    EXPECT_TRUE(map().empty());
    c.reset(3);
    EXPECT_TRUE(c.hasSlots());
    const struct {
        const char* what;
        std::function<bool()> step;
        std::vector<int> rows, map;
    } steps[] = {
        {"add",
         [&] {
             c.add(2);
             c.add(3);
             return true;
         },
         {2, 3},
         {0, 2, 3, -1}},
        {"insert at the head",
         [&] {
             c.insert(0, 1);
             return true;
         },
         {1, 2, 3},
         {0, 1, 2, 3}},
        {"add beyond the slots",
         [&] {
             c.add(1);
             return true;
         },
         {1, 2, 3, 1},
         {0, 1, 2, 3, 1}},
        {"insert in the middle",
         [&] {
             c.insert(2, 7);
             return true;
         },
         {1, 2, 7, 3, 1},
         {0, 1, 2, 7, 3, 1}},
        {"move down", [&] { return c.move(0, 3); }, {2, 7, 3, 1, 1}, {0, 2, 7, 3, 1, 1}},
        {"move up", [&] { return c.move(4, 1); }, {2, 1, 7, 3, 1}, {0, 2, 1, 7, 3, 1}},
        {"move past the end", [&] { return !c.move(1, 5); }, {2, 1, 7, 3, 1}, {0, 2, 1, 7, 3, 1}},
        {"remove", [&] { return c.remove(1); }, {2, 7, 3, 1}, {0, 2, 7, 3, 1, -1}},
        {"remove no row", [&] { return !c.remove(4); }, {2, 7, 3, 1}, {0, 2, 7, 3, 1, -1}},
        {"load skips negatives",
         [&] {
             c.load({5, -1, 0, 9});
             return true;
         },
         {5, 0, 9},
         {0, 5, 0, 9}},
        {"load nothing frees",
         [&] {
             c.load({-3});
             return true;
         },
         {},
         {0, -1, -1, -1}},
        {"clear",
         [&] {
             c.add(4);
             c.clear();
             return true;
         },
         {},
         {0, -1, -1, -1}},
    };
    for (const auto& s : steps) {
        EXPECT_TRUE(s.step()) << s.what;
        EXPECT_EQ(c.rows(), s.rows) << s.what;
        EXPECT_EQ(c.definition(), s.rows) << s.what;
        EXPECT_EQ(map(), s.map) << s.what;
    }

    c.load({3, 1, -1});
    EXPECT_TRUE(c.fits(3));
    EXPECT_FALSE(c.fits(2));
    EXPECT_FALSE(engine::ColumnChoice::fits({0, 1}, 5)); // 0 names no item of its own
    EXPECT_TRUE(engine::ColumnChoice::fits({}, 0));
}

} // namespace
