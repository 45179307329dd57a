// example_check run against check_target: a check passes only when the program drew what the
// steps ask for and ended on Escape with exit code 0; every other outcome fails it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the driver on the target in the given mode with a short time-out.
Outcome Check(const std::string& mode, const std::string& steps) {
    const std::string command = "CHECK_TARGET_MODE=" + mode + " " EXAMPLE_CHECK " --title 'check target' --timeout 3 " +
                                CHECK_TARGET " " + steps + " >check-out.txt 2>check-err.txt";
    int status = std::system(command.c_str());
    Outcome outcome;
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = Slurp("check-out.txt");
    outcome.err = Slurp("check-err.txt");
    return outcome;
}

TEST(ExampleCheck, PassesOnlyWhenEveryStepHoldsAndEscapeEndsWithZero) {
    Outcome ok = Check("good", "pixel=100,50,0AC81E any=0,0,200,100,0AC81E,0 none=0,0,200,100,FFFFFF");
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_NE(ok.out.find("3 steps held"), std::string::npos) << ok.out;

    std::filesystem::remove("failure-check_target.png");
    Outcome wrong = Check("good", "pixel=100,50,FF0000");
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.err.find("pixel=100,50,FF0000 did not hold: nearest 0AC81E at (100, 50)"), std::string::npos)
        << wrong.err;
    EXPECT_TRUE(std::filesystem::exists("failure-check_target.png")) << "the window is kept for a look";

    Outcome outside = Check("good", "pixel=200,50,0AC81E");  // one past the right edge
    EXPECT_EQ(outside.code, 1);
    EXPECT_NE(outside.err.find("a window of 200 x 100 pixels"), std::string::npos) << outside.err;
}

TEST(ExampleCheck, FailsWhenTheProgramDoesNotEndWellOnEscape) {
    Outcome stubborn = Check("ignore", "pixel=100,50,0AC81E");
    EXPECT_EQ(stubborn.code, 1);
    EXPECT_NE(stubborn.err.find("still running 3 s after Escape"), std::string::npos) << stubborn.err;

    Outcome failing = Check("fail", "pixel=100,50,0AC81E");
    EXPECT_EQ(failing.code, 1);
    EXPECT_NE(failing.err.find("ended on Escape with exit code 255"), std::string::npos) << failing.err;
    EXPECT_NE(failing.err.find("failing on Escape, as asked"), std::string::npos) << "its standard error is shown";

    Outcome early = Check("early", "wait=2000 pixel=100,50,0AC81E");
    EXPECT_EQ(early.code, 1);
    EXPECT_NE(early.err.find("ended early with exit code 5"), std::string::npos) << early.err;
}

TEST(ExampleCheck, RefusesBadStepsAndMissingWindows) {
    Outcome bad = Check("good", "pixel=1,2");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("bad step \"pixel=1,2\""), std::string::npos) << bad.err;

    const std::string command = EXAMPLE_CHECK " --title 'no such window' --timeout 2 " CHECK_TARGET
                                " >check-out.txt 2>check-err.txt";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_NE(Slurp("check-err.txt").find("no window titled \"no such window\" appeared"), std::string::npos);
}

}  // namespace
