#include <cmath>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "core/model/Raster.h"

TEST(RasterFigures, CircleSetsEachOutlinePixelOnce)
{
    for (int r = 0; r <= 70; ++r) {
        std::set<std::pair<int, int>> seen;
        int calls = 0;
        Raster::circle(5, -3, r, [&](int x, int y) {
            ++calls;
            seen.insert({x, y});
            EXPECT_NEAR(std::hypot(x - 5, y + 3), r, 1.0) << "r = " << r;
        });
        EXPECT_EQ(calls, static_cast<int>(seen.size())) << "r = " << r;
        EXPECT_TRUE(seen.count({5 + r, -3}) && seen.count({5, -3 - r})) << "r = " << r;
    }
}

TEST(RasterFigures, LineCoversItsStartButNotItsEnd)
{
    for (auto [x1, y1] : {std::pair{10, 0}, std::pair{10, 7}, std::pair{-3, 12}, std::pair{0, -9},
             std::pair{0, 0}}) {
        std::set<std::pair<int, int>> seen;
        int calls = 0;
        Raster::line(0, 0, x1, y1, [&](int x, int y) {
            ++calls;
            seen.insert({x, y});
        });
        EXPECT_EQ(calls, static_cast<int>(seen.size()));
        EXPECT_EQ(calls, std::max(std::abs(x1), std::abs(y1)));
        EXPECT_EQ(seen.count({x1, y1}), 0u);
        if (calls > 0) {
            EXPECT_EQ(seen.count({0, 0}), 1u);
        }
    }
}

TEST(RasterFigures, ClippingKeepsThePartInsideAndDropsTheRest)
{
    double x0 = -1e9, y0 = 50, x1 = 1e9, y1 = 50;
    ASSERT_TRUE(Raster::clip(x0, y0, x1, y1, 0, 0, 100, 100));
    EXPECT_DOUBLE_EQ(x0, 0);
    EXPECT_DOUBLE_EQ(x1, 100);
    EXPECT_DOUBLE_EQ(y0, 50);

    double a = -10, b = -10, c = -5, d = 200;
    EXPECT_FALSE(Raster::clip(a, b, c, d, 0, 0, 100, 100));

    double inside[4] = {10, 20, 30, 40};
    ASSERT_TRUE(Raster::clip(inside[0], inside[1], inside[2], inside[3], 0, 0, 100, 100));
    EXPECT_EQ(inside[0], 10);
    EXPECT_EQ(inside[3], 40);
}
