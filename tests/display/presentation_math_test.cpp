#include "runtime/display/presentation_math.h"

#include <gtest/gtest.h>

namespace quendrel {
namespace {

TEST(PresentationRectTest, PlacesTheFrameAsTheModeSays) {
    struct Case {
        const char* name;
        int fw, fh, ww, wh, full_screen, stretch;
        PixelRect rect;
        float scale_x, scale_y;
        int letterbox;
    } cases[] = {
        {"same size", 640, 400, 640, 400, 0, 0, {0, 0, 639, 399}, 1, 1, 0},
        {"windowed, no stretch", 640, 200, 640, 400, 0, 0, {0, 0, 639, 199}, 1, 1, 0},
        {"windowed stretch", 640, 400, 800, 500, 0, 1, {0, 0, 799, 499}, 1.25f, 1.25f, 0},
        {"full screen stretched", 640, 400, 1920, 1080, 1, 0, {0, 0, 1919, 1079}, 3.0f, 2.7f, 0},
        {"full screen, aspect kept",
         640,
         400,
         1920,
         1080,
         2,
         0,
         {96, 0, 1823, 1079},
         2.7f,
         2.7f,
         1},
        {"aspect kept, tall screen",
         640,
         400,
         1280,
         1024,
         2,
         0,
         {0, 112, 1279, 911},
         2.0f,
         2.0f,
         2},
        {"aspect kept, same aspect", 640, 400, 1280, 800, 2, 0, {0, 0, 1279, 799}, 2.0f, 2.0f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Presentation p =
            compute_presentation_rect(c.fw, c.fh, c.ww, c.wh, c.full_screen, c.stretch, false);
        EXPECT_EQ(p.rect, c.rect);
        EXPECT_FLOAT_EQ(p.scale_x, c.scale_x);
        EXPECT_FLOAT_EQ(p.scale_y, c.scale_y);
        EXPECT_EQ(p.letterbox_kind, c.letterbox);
    }
}

TEST(PresentationRectTest, SmoothingFollowsTheModeButNeverAtOneToOne) {
    EXPECT_TRUE(compute_presentation_rect(640, 400, 800, 500, 0, 2, false).smooth);
    EXPECT_FALSE(compute_presentation_rect(640, 400, 800, 500, 0, 1, true).smooth);
    EXPECT_TRUE(compute_presentation_rect(640, 400, 1920, 1080, 1, 0, true).smooth);
    EXPECT_FALSE(compute_presentation_rect(640, 400, 640, 400, 1, 2, true).smooth);
}

TEST(PresentationRectTest, LetterboxBarsCoverExactlyTheMargins) {
    Presentation p = compute_presentation_rect(640, 400, 1920, 1080, 2, 0, false);
    PixelRect bars[2];
    ASSERT_EQ(letterbox_bars(p, 1920, 1080, bars), 2);
    EXPECT_EQ(bars[0], (PixelRect{0, 0, 95, 1079}));
    EXPECT_EQ(bars[1], (PixelRect{1824, 0, 1919, 1079}));
    Presentation none = compute_presentation_rect(640, 400, 640, 400, 0, 0, false);
    EXPECT_EQ(letterbox_bars(none, 640, 400, bars), 0);
}

TEST(MapFrameRectTest, ScalesRoundsTiesToEvenAndCoversWholePixels) {
    Presentation p = compute_presentation_rect(640, 400, 1920, 1080, 2, 0, false);
    // 2.7 per pixel from x0 = 96.
    EXPECT_EQ(map_frame_rect(p, 0, 0, 639, 399), (PixelRect{96, 0, 1823, 1079}));
    EXPECT_EQ(map_frame_rect(p, 10, 10, 10, 10), (PixelRect{123, 27, 125, 29}));
    Presentation half;
    half.scale_x = half.scale_y = 0.5f;
    // 5 x 0.5 = 2.5 rounds to 2, 7 x 0.5 = 3.5 to 4.
    EXPECT_EQ(map_frame_rect(half, 5, 7, 5, 7), (PixelRect{2, 4, 2, 4}));
    Presentation one;
    EXPECT_EQ(map_frame_rect(one, 639, 399, 0, 0), (PixelRect{639, 399, 1278, 798}));
}

TEST(ImageRectQuadTest, TexelEdgesStayInsideTheSourceAndPaddingIsRespected) {
    ImageQuad q = image_rect_quad({0, 0, 639, 399}, {0, 0, 639, 399}, 1024, 512);
    EXPECT_FLOAT_EQ(q.positions[2], 640);  // right edge one past the last pixel
    EXPECT_FLOAT_EQ(q.positions[5], 400);
    EXPECT_FLOAT_EQ(q.texcoords[0], 0.01f / 1024);
    EXPECT_FLOAT_EQ(q.texcoords[2], 639.99f / 1024);  // about 0.625
    EXPECT_FLOAT_EQ(q.texcoords[5], 399.99f / 512);   // about 0.78
    // One source pixel still spans it from 0.01 to 0.99.
    ImageQuad one = image_rect_quad({4, 4, 4, 4}, {0, 0, 0, 0}, 1, 1);
    EXPECT_FLOAT_EQ(one.texcoords[0], 0.01f);
    EXPECT_FLOAT_EQ(one.texcoords[2], 0.99f);
}

TEST(ImageRectQuadTest, ADestinationGivenBackwardsMirrorsTheSource) {
    PixelRect d{9, 0, 0, 0}, s{0, 0, 9, 0};
    order_image_rect(d, s);
    EXPECT_EQ(d, (PixelRect{0, 0, 9, 0}));
    EXPECT_EQ(s, (PixelRect{9, 0, 0, 0}));
    ImageQuad q = image_rect_quad(d, s, 16, 1);
    EXPECT_FLOAT_EQ(q.texcoords[0], 9.99f / 16);  // left edge shows the last pixel
    EXPECT_FLOAT_EQ(q.texcoords[2], 0.01f / 16);
}

TEST(RefreshTimerTest, IntervalLeavesRoomForTheSleep) {
    EXPECT_EQ(refresh_timer_interval(60), 12);
    EXPECT_EQ(refresh_timer_interval(200), 1);
    EXPECT_EQ(refresh_timer_interval(1), 996);
}

TEST(PadToPowerOfTwoTest, RepeatsTheLastColumnAndRow) {
    const uint32_t image[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
    std::vector<uint32_t> scratch;
    int32_t tw = 0, th = 0;
    const uint32_t* padded = pad_to_power_of_two(3, 2, image, scratch, tw, th);
    ASSERT_EQ(tw, 4);
    ASSERT_EQ(th, 2);
    EXPECT_EQ(std::vector<uint32_t>(padded, padded + 8),
              (std::vector<uint32_t>{1, 2, 3, 3, 4, 5, 6, 6}));
    const uint32_t tall[3] = {7, 8, 9};  // 1 x 3
    padded = pad_to_power_of_two(1, 3, tall, scratch, tw, th);
    ASSERT_EQ(tw, 1);
    ASSERT_EQ(th, 4);
    EXPECT_EQ(std::vector<uint32_t>(padded, padded + 4), (std::vector<uint32_t>{7, 8, 9, 9}));
    const uint32_t square[4] = {1, 2, 3, 4};
    EXPECT_EQ(pad_to_power_of_two(2, 2, square, scratch, tw, th), square);
    // 640 x 400 goes into the corner of 1024 x 512.
    std::vector<uint32_t> frame(640 * 400, 0xFF00FF00);
    frame[399 * 640 + 639] = 0xFFFFFFFF;
    padded = pad_to_power_of_two(640, 400, frame.data(), scratch, tw, th);
    EXPECT_EQ(tw, 1024);
    EXPECT_EQ(th, 512);
    EXPECT_EQ(padded[399 * 1024 + 640], 0xFFFFFFFFu);
    EXPECT_EQ(padded[400 * 1024 + 640], 0xFFFFFFFFu);
    EXPECT_EQ(padded[400 * 1024 + 0], 0xFF00FF00u);
}

}  // namespace
}  // namespace quendrel
