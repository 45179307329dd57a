#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/physbox-sim/options.h"

namespace corvex {
namespace {

bool Parse(const std::vector<std::string>& args, SimOptions& o, std::string& error) {
    return ParseSimOptions(args, o, error);
}

TEST(SimOptions, DefaultsAndFullCommandLine) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_EQ(o.seed, 1);
    EXPECT_EQ(o.frames, 600);
    EXPECT_FALSE(o.hasMouse);
    EXPECT_FALSE(o.SpawnBefore(1));
    ASSERT_TRUE(Parse({"--seed", "-7", "--frames", "30", "--spawn-at", "1,5,9", "--spawn-every", "4", "--mouse",
                       "-3,250", "--drag", "2-12", "--dump", "a.csv", "--dump-final", "b.csv"},
                      o, error))
        << error;
    EXPECT_EQ(o.seed, -7);
    EXPECT_EQ(o.frames, 30);
    ASSERT_TRUE(Parse({"--frames", "0"}, o, error));
    EXPECT_EQ(o.frames, 0);
    ASSERT_TRUE(Parse({"--seed", "-7", "--frames", "30", "--spawn-at", "1,5,9", "--spawn-every", "4", "--mouse",
                       "-3,250", "--drag", "2-12", "--dump", "a.csv", "--dump-final", "b.csv"},
                      o, error));
    EXPECT_EQ(o.spawnAt, (std::vector<int32_t>{1, 5, 9}));
    EXPECT_TRUE(o.hasMouse);
    EXPECT_EQ(o.mouseX, -3);
    EXPECT_EQ(o.mouseY, 250);
    EXPECT_TRUE(o.hasDrag);
    EXPECT_EQ(o.dragFrom, 2);
    EXPECT_EQ(o.dragTo, 12);
    EXPECT_EQ(o.dump, "a.csv");
    EXPECT_EQ(o.dumpFinal, "b.csv");
    std::vector<int32_t> spawned;
    for (int32_t f = 1; f <= 13; ++f) {
        if (o.SpawnBefore(f)) {
            spawned.push_back(f);
        }
    }
    EXPECT_EQ(spawned, (std::vector<int32_t>{1, 4, 5, 8, 9, 12}));
}

TEST(SimOptions, PicturesAreAskedForExplicitly) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--frames", "9"}, o, error));
    EXPECT_FALSE(o.WantsPictures());  // a plain run draws nothing
    ASSERT_TRUE(Parse({"--picture", "last.png"}, o, error)) << error;
    EXPECT_TRUE(o.WantsPictures());
    EXPECT_EQ(o.picture, "last.png");
    EXPECT_TRUE(o.pictures.empty());
    ASSERT_TRUE(Parse({"--pictures", "out", "--body-image", "crate.png"}, o, error)) << error;
    EXPECT_TRUE(o.WantsPictures());
    EXPECT_EQ(o.every, 1);
    EXPECT_EQ(o.bodyImage, "crate.png");
    ASSERT_TRUE(Parse({"--every", "25", "--pictures", "out"}, o, error)) << error;  // in any order
    EXPECT_EQ(o.every, 25);
}

TEST(SimOptions, RejectsBadValuesWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frames"},           {"--frames", "-1"},        {"--frames", "12x"},     {"--frames", "99999999999"},
        {"--seed", ""},         {"--spawn-at", "1,,3"},    {"--spawn-at", "0"},     {"--spawn-at", "2,"},
        {"--spawn-every", "0"}, {"--mouse", "10"},         {"--mouse", "1,2,3"},    {"--drag", "5-3"},
        {"--drag", "0-3"},      {"--drag", "4"},           {"--dump", ""},          {"--bogus", "1"},
        {"--picture", ""},      {"--pictures", ""},        {"--every", "0"},        {"--body-image", ""},
        {"--every", "5"},                                   // a frequency with no folder to write into
        {"--frames", "0", "--picture", "a.png"},            // no frame to picture
    };
    for (const auto& args : bad) {
        SimOptions o;
        o.frames = 77;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
        EXPECT_EQ(o.frames, 77) << args[0];  // left untouched
    }
    SimOptions o;
    std::string error = "x";
    EXPECT_FALSE(Parse({"--help"}, o, error));
    EXPECT_TRUE(error.empty());  // help is not an error
}

}  // namespace
}  // namespace corvex
