#include "examples/check/check_steps.h"

#include <gtest/gtest.h>

#include "game/e2e/screen_reading.h"

namespace examplecheck {
namespace {

Step Parse(const std::string& word) {
    std::string error;
    std::optional<Step> step = ParseStep(word, &error);
    EXPECT_TRUE(step) << error;
    return step.value_or(Step{});
}

bool Rejected(const std::string& word) {
    std::string error;
    bool rejected = !ParseStep(word, &error);
    if (rejected) {
        EXPECT_NE(error.find(word), std::string::npos) << "the reason names the step";
    }
    return rejected;
}

// A 4 x 3 shot of one colour with a few pixels set.
e2e::Screenshot Shot(uint32_t fill) {
    e2e::Screenshot shot;
    shot.width = 4;
    shot.height = 3;
    shot.rgb.assign(12, fill);
    return shot;
}

TEST(CheckSteps, ParsesEveryStepWithItsNumbers) {
    Step pixel = Parse("pixel=100,95,DC503C");
    EXPECT_EQ(pixel.kind, StepKind::Pixel);
    EXPECT_EQ(pixel.x, 100);
    EXPECT_EQ(pixel.y, 95);
    EXPECT_EQ(pixel.width, 1);
    EXPECT_EQ(pixel.rgb, 0xDC503Cu);
    EXPECT_EQ(pixel.tolerance, 8);

    Step any = Parse("any=1,2,30,40,00ff00,0");
    EXPECT_EQ(any.kind, StepKind::Any);
    EXPECT_EQ(any.width, 30);
    EXPECT_EQ(any.height, 40);
    EXPECT_EQ(any.rgb, 0x00FF00u);
    EXPECT_EQ(any.tolerance, 0);

    EXPECT_EQ(Parse("none=0,0,5,5,FFFFFF,20").kind, StepKind::None);
    EXPECT_EQ(Parse("wait=250").number, 250);
    EXPECT_EQ(Parse("key=Right").name, "Right");
    EXPECT_EQ(Parse("hold=space").kind, StepKind::Hold);
    EXPECT_EQ(Parse("release=space").kind, StepKind::Release);
    EXPECT_EQ(Parse("type=hi 2").name, "hi 2");
    EXPECT_EQ(Parse("down=3").number, 3);
    EXPECT_EQ(Parse("up=1").kind, StepKind::Up);
    Step move = Parse("move=320,240");
    EXPECT_EQ(move.x, 320);
    EXPECT_EQ(move.y, 240);
    EXPECT_EQ(Parse("mark=10,10,20,20").kind, StepKind::Mark);
    EXPECT_EQ(Parse("changed").kind, StepKind::Changed);
    EXPECT_EQ(Parse("shot=example-text.png").name, "example-text.png");

    Step text = Parse("text=20,130,left, then right");  // commas belong to the text
    EXPECT_EQ(text.kind, StepKind::Text);
    EXPECT_EQ(text.y, 130);
    EXPECT_EQ(text.name, "left, then right");
    Step number = Parse("number=40,400,ticks per second: ,29,31");
    EXPECT_EQ(number.kind, StepKind::Number);
    EXPECT_EQ(number.name, "ticks per second: ");
    EXPECT_EQ(number.number, 29);
    EXPECT_EQ(number.most, 31);
    EXPECT_EQ(Parse("number=0,0,a, b: ,-3,3").name, "a, b: ");
}

TEST(CheckSteps, RejectsMalformedSteps) {
    EXPECT_TRUE(Rejected("blink=3"));
    EXPECT_TRUE(Rejected("wait=soon"));
    EXPECT_TRUE(Rejected("wait=-5"));
    EXPECT_TRUE(Rejected("key="));
    EXPECT_TRUE(Rejected("type=a+b"));                   // only what one key types
    EXPECT_TRUE(Rejected("move=3"));
    EXPECT_TRUE(Rejected("down=0"));
    EXPECT_TRUE(Rejected("pixel=1,2"));                  // no colour
    EXPECT_TRUE(Rejected("pixel=1,2,FFF"));              // short colour
    EXPECT_TRUE(Rejected("pixel=1,2,GGGGGG"));
    EXPECT_TRUE(Rejected("pixel=1,2,FFFFFF,-1"));
    EXPECT_TRUE(Rejected("pixel=1,2,FFFFFF,3,4"));
    EXPECT_TRUE(Rejected("pixel=-1,2,FFFFFF"));
    EXPECT_TRUE(Rejected("any=0,0,0,5,FFFFFF"));         // empty rectangle
    EXPECT_TRUE(Rejected("any=0,0,5,FFFFFF"));
    EXPECT_TRUE(Rejected("mark=0,0,5"));
    EXPECT_TRUE(Rejected("changed=1"));
    EXPECT_TRUE(Rejected("shot=../escape.png"));         // stays in the screenshot folder
    EXPECT_TRUE(Rejected("shot=picture.jpg"));
    EXPECT_TRUE(Rejected("text=1,2"));
    EXPECT_TRUE(Rejected("text=1,2,"));
    EXPECT_TRUE(Rejected("number=1,2,rate: ,30"));     // no maximum
    EXPECT_TRUE(Rejected("number=1,2,rate: ,31,29"));  // empty range
    EXPECT_TRUE(Rejected("number=1,2,31,29"));         // no prefix
}

TEST(CheckSteps, PixelAndRectangleStepsLookAtExactlyTheirPixels) {
    e2e::Screenshot shot = Shot(0x000000);
    shot.rgb[2 * 4 + 3] = 0xFF8000;  // (3, 2), the last pixel
    std::string seen;
    EXPECT_TRUE(StepHolds(Parse("pixel=3,2,FF8000"), shot, {}, &seen));
    EXPECT_TRUE(StepHolds(Parse("pixel=3,2,F88408"), shot, {}, &seen)) << "within the tolerance of 8";
    EXPECT_FALSE(StepHolds(Parse("pixel=3,2,F68000"), shot, {}, &seen)) << "9 off in red";
    EXPECT_FALSE(StepHolds(Parse("pixel=2,2,FF8000"), shot, {}, &seen));
    EXPECT_NE(seen.find("000000"), std::string::npos) << seen;

    // A rectangle that ends just before the pixel does not see it; one that reaches it does.
    EXPECT_FALSE(StepHolds(Parse("any=0,0,3,3,FF8000"), shot, {}, &seen));
    EXPECT_FALSE(StepHolds(Parse("any=0,0,4,2,FF8000"), shot, {}, &seen));
    EXPECT_TRUE(StepHolds(Parse("any=0,0,4,3,FF8000"), shot, {}, &seen));
    EXPECT_TRUE(StepHolds(Parse("none=0,0,3,3,FF8000"), shot, {}, &seen));
    EXPECT_FALSE(StepHolds(Parse("none=1,1,3,2,FF8000"), shot, {}, &seen));
    EXPECT_NE(seen.find("(3, 2)"), std::string::npos) << seen;

    // A rectangle reaching outside the window fails instead of reading past the pixels.
    EXPECT_FALSE(StepHolds(Parse("any=1,1,4,2,FF8000"), shot, {}, &seen));
    EXPECT_FALSE(StepHolds(Parse("none=4,0,1,1,FF8000"), shot, {}, &seen));
    EXPECT_FALSE(StepHolds(Parse("pixel=0,3,000000"), shot, {}, &seen));
}

TEST(CheckSteps, ChangedComparesWithTheMarkedPixels) {
    e2e::Screenshot marked = Shot(0x102030), now = Shot(0x102030);
    std::string seen;
    Step changed = Parse("changed");
    EXPECT_FALSE(StepHolds(changed, now, {}, &seen)) << "nothing marked";
    EXPECT_FALSE(StepHolds(changed, now, marked, &seen));
    now.rgb[5] = 0x102038;  // 8 off: within the tolerance
    EXPECT_FALSE(StepHolds(changed, now, marked, &seen));
    now.rgb[11] = 0x10203A;  // the last pixel, 10 off
    EXPECT_TRUE(StepHolds(changed, now, marked, &seen));
}

// A shot with text drawn in white at (x, y) on black, as the built-in font draws it.
e2e::Screenshot TextShot(const std::string& text, int x, int y, int width) {
    e2e::Screenshot shot;
    shot.width = width;
    shot.height = 40;
    shot.rgb.assign(size_t(shot.width) * shot.height, 0);
    auto mask = e2e::RenderText(text);
    for (size_t row = 0; row < mask.size(); ++row)
        for (size_t col = 0; col < mask[row].size(); ++col)
            if (mask[row][col]) shot.rgb[(y + row) * size_t(shot.width) + x + col] = 0xFFFFFF;
    return shot;
}

TEST(CheckSteps, TextAndNumbersAreReadWhereTheyWereDrawn) {
    e2e::Screenshot shot = TextShot("ticks per second: 30", 4, 10, 200);
    std::string seen;
    EXPECT_TRUE(StepHolds(Parse("text=4,10,ticks per second: 30"), shot, {}, &seen)) << seen;
    EXPECT_FALSE(StepHolds(Parse("text=4,10,ticks per second: 3"), shot, {}, &seen)) << "the text goes on";
    EXPECT_FALSE(StepHolds(Parse("text=4,10,ticks per minute: 30"), shot, {}, &seen));
    EXPECT_NE(seen.find("ticks per second"), std::string::npos) << seen;
    EXPECT_FALSE(StepHolds(Parse("text=5,10,ticks per second: 30"), shot, {}, &seen)) << "one pixel off";
    EXPECT_TRUE(StepHolds(Parse("text=84,10,second: 30"), shot, {}, &seen)) << seen;

    EXPECT_TRUE(StepHolds(Parse("number=4,10,ticks per second: ,29,31"), shot, {}, &seen)) << seen;
    EXPECT_TRUE(StepHolds(Parse("number=4,10,ticks per second: ,30,30"), shot, {}, &seen)) << seen;
    EXPECT_FALSE(StepHolds(Parse("number=4,10,ticks per second: ,31,40"), shot, {}, &seen));
    EXPECT_FALSE(StepHolds(Parse("number=4,10,ticks per minute: ,0,99"), shot, {}, &seen));

    // The digits may reach the right edge of the window: 20 characters in 164 pixels.
    e2e::Screenshot edge = TextShot("ticks per second: 30", 4, 10, 164);
    EXPECT_TRUE(StepHolds(Parse("number=4,10,ticks per second: ,29,31"), edge, {}, &seen)) << seen;
    EXPECT_TRUE(StepHolds(Parse("text=4,10,ticks per second: 30"), edge, {}, &seen)) << seen;
    // Text that would not fit cannot hold.
    EXPECT_FALSE(StepHolds(Parse("text=100,10,ticks per second"), edge, {}, &seen));
}

}  // namespace
}  // namespace examplecheck
