#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "geometry.h"

namespace {

using qrimage::MakeGeometry;

struct GeometryCase {
    int32_t width, margin, moduleSize;
    std::optional<int32_t> side;  // nullopt: no picture
};

TEST(MakeGeometry, SideAndLimits) {
    const GeometryCase cases[] = {
        {21, 1, 5, 115},
        {21, 0, 1, 21},
        {177, 4, 3, 555},
        {21, -1, 5, std::nullopt},
        {21, 1, 0, std::nullopt},
        {21, 1, -5, std::nullopt},
        {0, 1, 1, std::nullopt},
        {21, 1, INT32_MAX, std::nullopt},
        {21, INT32_MAX, 1, std::nullopt},
        {21, INT32_MAX, INT32_MAX, std::nullopt},
        {21, INT32_MIN, 1, std::nullopt},
        // 4 * 23170^2 is the last square that fits 2^31 - 1 bytes.
        {23170, 0, 1, 23170},
        {23171, 0, 1, std::nullopt},
        {2, 11584, 1, 23170},
        {1, 11585, 1, std::nullopt},
        {2317, 0, 10, 23170},
    };
    for (const GeometryCase& c : cases) {
        const auto geometry = MakeGeometry(c.width, c.margin, c.moduleSize);
        SCOPED_TRACE(testing::Message() << c.width << " modules, margin " << c.margin
                                        << ", module size " << c.moduleSize);
        ASSERT_EQ(geometry.has_value(), c.side.has_value());
        if (geometry) {
            EXPECT_EQ(geometry->side, *c.side);
            EXPECT_EQ(geometry->quietPixels, int64_t(c.margin) * c.moduleSize);
            EXPECT_EQ(geometry->RowBytes32(), std::size_t(*c.side) * 4);
            EXPECT_EQ(geometry->PictureBytes32(), std::size_t(*c.side) * std::size_t(*c.side) * 4);
            EXPECT_LE(geometry->PictureBytes32(), std::size_t(qrimage::kMaxPixelBytes));
        }
    }
}

}  // namespace
