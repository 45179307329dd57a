// The graphics front end against a scripted driver and a controllable clock: driver
// selection, the mode cache, contexts, OpenGraphics and its sequence, Flip and the pacer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <corvex/graphics/gl_graphics.h>
#include <corvex/graphics/graphics.h>
#include <corvex/runtime/exception.h>
#include <corvex/system/clock.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/system.h>
#include "graphics/graphics_module.h"
#include "system/input_module.h"
#include "system/system_module.h"

using namespace corvex;

namespace {

// The clock the pacer reads; sleeping moves it on.
int32_t fakeNow = 0;
std::vector<int32_t> sleeps;
int32_t FakeClock() { return fakeNow; }
void FakeSleep(int32_t ms) {
    sleeps.push_back(ms);
    fakeNow += ms;
}

std::vector<std::string> calls;  // what the drivers were asked, in order

class TFakeGraphics : public TGraphics {
public:
    TFakeGraphics(Ref<TGraphicsDriver> driver, std::string name, int32_t w, int32_t h, int32_t d, int32_t hz, int32_t f)
        : driver(std::move(driver)), name(std::move(name)), w(w), h(h), d(d), hz(hz), f(f) {}
    Ref<TGraphicsDriver> Driver() override { return driver; }
    void GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) override {
        *width = w, *height = h, *depth = d, *hertz = hz, *flags = f;
    }
    void Close() override { calls.push_back("close " + name); }
    int32_t TakeNewSize(int32_t* width, int32_t* height) override {
        if (newW == 0) return 0;
        *width = w = newW;
        *height = h = newH;
        newW = newH = 0;
        return 1;
    }
    Ref<TGraphicsDriver> driver;
    std::string name;
    int32_t w, h, d, hz, f;
    int32_t newW = 0, newH = 0;  // a size the "user" gave the window, not yet taken
};

class TFakeDriver : public TGraphicsDriver, public std::enable_shared_from_this<TFakeDriver> {
public:
    explicit TFakeDriver(std::string name) : name(std::move(name)) {}
    TGraphicsModes GraphicsModes() override {
        ++modeQueries;
        return modes;
    }
    Ref<TGraphics> AttachGraphics(uintptr_t window, int32_t flags) override {
        return std::make_shared<TFakeGraphics>(shared_from_this(), "attached" + std::to_string(window), 640, 480, 0, 0,
                                               flags);
    }
    Ref<TGraphics> CreateGraphics(int32_t w, int32_t h, int32_t d, int32_t hz, int32_t flags) override {
        if (failCreate) throw TRuntimeException("GLGraphicsDriver failed to set display mode");
        const std::string n = name + "#" + std::to_string(++created);
        calls.push_back("create " + n);
        return std::make_shared<TFakeGraphics>(shared_from_this(), n, w, h, d, hz, flags);
    }
    void SetGraphics(const Ref<TGraphics>& g) override {
        calls.push_back(name + " set " + (g ? static_cast<TFakeGraphics&>(*g).name : "null"));
    }
    void Flip(int32_t sync) override {
        flips.push_back(sync);
        fakeNow += flipMillis;
        calls.push_back("flip at " + std::to_string(CurrentGraphicsWidth()) + "x" +
                        std::to_string(CurrentGraphicsHeight()));
    }
    void GraphicsResized(const Ref<TGraphics>& g) override {
        calls.push_back("resized " + static_cast<TFakeGraphics&>(*g).name + " to " +
                        std::to_string(CurrentGraphicsWidth()) + "x" + std::to_string(CurrentGraphicsHeight()));
    }
    std::string name;
    TGraphicsModes modes;
    int modeQueries = 0;
    int created = 0;
    bool failCreate = false;
    int32_t flipMillis = 0;  // how long a flip takes on the fake clock
    std::vector<int32_t> flips;
};

class TPointerRecorder : public THeadlessSystemDriver {
public:
    void MoveMouse(int32_t x, int32_t y) override { moves.push_back({x, y}); }
    std::vector<std::pair<int32_t, int32_t>> moves;
};

class GraphicsFront : public ::testing::Test {
protected:
    void SetUp() override {
        StartGraphicsModule();
        GraphicsModule().Reset();
        PolledInputModule().Reset();
        SystemModule().Reset();
        GraphicsModule().clock = FakeClock;
        GraphicsModule().sleep = FakeSleep;
        fakeNow = 1000;
        sleeps.clear();
        calls.clear();
        driver = std::make_shared<TFakeDriver>("gl");
        SelectGraphicsDriver(driver, GFX_DOUBLE_BUFFER);
    }
    void TearDown() override {
        GraphicsModule().Reset();
        PolledInputModule().Reset();
        SystemModule().Reset();
    }
    std::shared_ptr<TFakeDriver> driver;
};

}  // namespace

TEST_F(GraphicsFront, OpenedWindowTakesDefaultFlagsAndPacesAtItsRate) {
    const int32_t before = GraphicsSequence();
    Ref<TGraphics> g = OpenGraphics(800, 600, 0, 60, 0);
    ASSERT_TRUE(g);
    EXPECT_EQ(CurrentGraphics(), g);
    EXPECT_EQ(OpenedGraphics(), g);
    EXPECT_EQ(CurrentGraphicsWidth(), 800);
    EXPECT_EQ(CurrentGraphicsHeight(), 600);
    EXPECT_EQ(CurrentGraphicsDepth(), 0);
    EXPECT_EQ(CurrentGraphicsHertz(), 60);
    EXPECT_EQ(CurrentGraphicsFlags(), GFX_DOUBLE_BUFFER);
    EXPECT_EQ(GraphicsSequence(), before + 1);
    const TFramePacer& p = GraphicsModule().pacer;
    EXPECT_EQ(p.pacingEnabled, 1);
    EXPECT_EQ(p.frameMillis, 16);
    EXPECT_EQ(p.frameRemainder, 40);
    EXPECT_EQ(p.nextFlipTime, 1000);
    EXPECT_EQ(PolledInputModule().enabled, 1);
    EXPECT_TRUE(driver->flips.empty());  // a window is never measured
}

TEST_F(GraphicsFront, FlipTimesAreKeptOnTheSecondsClock) {
    OpenGraphics(800, 600, 0, 0, 0);
    EXPECT_EQ(SecondsSinceFlip(), 0.0);
    EXPECT_EQ(FlipIntervalSeconds(), 0.0);
    Flip(0);
    EXPECT_EQ(FlipIntervalSeconds(), 0.0) << "one flip has no interval yet";
    SleepMillis(30);
    double since = SecondsSinceFlip();
    EXPECT_GE(since, 0.029);
    EXPECT_LT(since, 5.0);
    Flip(0);
    EXPECT_GE(FlipIntervalSeconds(), since);
    EXPECT_LT(SecondsSinceFlip(), since);
}

TEST_F(GraphicsFront, PacedFlipsAverageTheRateAndFlipZeroNeverSleeps) {
    OpenGraphics(800, 600, 0, 60, 0);
    for (int i = 0; i < 60; ++i) Flip(-1);
    EXPECT_EQ(fakeNow, 2000);  // 60 paced frames span exactly one second
    int seventeen = 0;
    for (int32_t s : sleeps) {
        EXPECT_TRUE(s == 16 || s == 17) << s;
        seventeen += s == 17;
    }
    EXPECT_EQ(seventeen, 40);
    EXPECT_EQ(driver->flips, std::vector<int32_t>(60, 0));

    sleeps.clear();
    driver->flips.clear();
    for (int i = 0; i < 10; ++i) Flip(0);
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(driver->flips, std::vector<int32_t>(10, 0));
    Flip(5);
    EXPECT_EQ(driver->flips.back(), 5);  // passed on as it is; the driver treats it as 1
}

TEST_F(GraphicsFront, LateFrameRestartsTheScheduleFromNow) {
    OpenGraphics(800, 600, 0, 60, 0);
    Flip(-1);
    ASSERT_EQ(sleeps, std::vector<int32_t>{16});
    fakeNow += 50;  // a slow frame
    Flip(-1);
    EXPECT_EQ(sleeps.size(), 1u);  // no sleep, no hurrying
    EXPECT_EQ(GraphicsModule().pacer.nextFlipTime, fakeNow);
    Flip(-1);
    EXPECT_EQ(sleeps.back(), 16 + (GraphicsModule().pacer.remainderAccumulator < 40 ? 1 : 0));
}

TEST_F(GraphicsFront, WithoutRateFlipMinusOneWaitsOnlyFullScreen) {
    OpenGraphics(800, 600, 0, 0, 0);
    EXPECT_EQ(GraphicsModule().pacer.pacingEnabled, 0);
    EXPECT_EQ(GraphicsModule().pacer.frameMillis, 0);
    Flip(-1);
    OpenGraphics(1024, 768, 32, 0, 0);
    Flip(-1);
    EXPECT_EQ(driver->flips, (std::vector<int32_t>{0, 1}));
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(GraphicsFront, FullScreenIsPacedOnlyWhenTheDisplayMissesTheRate) {
    auto pointer = std::make_shared<TPointerRecorder>();
    SetSystemDriver(pointer);
    driver->flipMillis = 16;  // the display keeps 60 Hz: three good flips end the measurement
    OpenGraphics(1024, 768, 32, 60, 0);
    EXPECT_EQ(GraphicsModule().pacer.pacingEnabled, 0);
    EXPECT_EQ(driver->flips, (std::vector<int32_t>{1, 1, 1}));
    ASSERT_EQ(pointer->moves.size(), 1u);
    EXPECT_EQ(pointer->moves[0], std::make_pair(512, 384));

    driver->flips.clear();
    driver->flipMillis = 5;  // the display presents at once: a whole second of bad flips
    const int32_t start = fakeNow;
    OpenGraphics(801, 601, 16, 60, 0);
    EXPECT_EQ(GraphicsModule().pacer.pacingEnabled, 1);
    EXPECT_GE(fakeNow - start, 1000);
    EXPECT_EQ(driver->flips.size(), 200u);
    EXPECT_EQ(pointer->moves.back(), std::make_pair(400, 300));  // halves round toward zero
}

TEST_F(GraphicsFront, OpeningTwiceClosesTheFirstBeforeCreatingTheSecond) {
    const int32_t before = GraphicsSequence();
    OpenGraphics(800, 600, 0, 60, 0);
    calls.clear();
    Ref<TGraphics> second = OpenGraphics(640, 480, 0, 60, 0);
    EXPECT_EQ(GraphicsSequence(), before + 3);  // open, close, open
    EXPECT_EQ(calls, (std::vector<std::string>{"gl set null", "close gl#1", "create gl#2", "gl set gl#2"}));
    CloseOpenedGraphics();
    EXPECT_EQ(GraphicsSequence(), before + 4);
    EXPECT_FALSE(CurrentGraphics());
    EXPECT_FALSE(OpenedGraphics());
    EXPECT_EQ(CurrentGraphicsWidth(), 0);
    EXPECT_EQ(PolledInputModule().enabled, 0);
    calls.clear();
    CloseOpenedGraphics();  // nothing opened: nothing happens
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(GraphicsSequence(), before + 4);
}

TEST_F(GraphicsFront, FailedCreationYieldsNullAndKeepsTheState) {
    OpenGraphics(800, 600, 0, 60, 0);
    const int32_t before = GraphicsSequence();
    driver->failCreate = true;
    EXPECT_FALSE(CreateGraphics(640, 480, 32, 75, 0));
    EXPECT_FALSE(OpenGraphics(640, 480, 32, 75, 0));
    EXPECT_EQ(GraphicsSequence(), before + 1);  // only the close of the old context
    EXPECT_FALSE(OpenedGraphics());
    EXPECT_FALSE(CurrentGraphics());
    EXPECT_EQ(GraphicsModule().pacer.frameMillis, 16);
}

TEST_F(GraphicsFront, ModesAreFetchedOncePerDriverAndMatchOnNonZeroFields) {
    EXPECT_EQ(HasGraphicsMode(0, 0, 0, 0), 0);  // an empty list has no modes
    driver->modes = {TGraphicsMode::Create(640, 480, 16, 60), nullptr, TGraphicsMode::Create(800, 600, 32, 75)};
    GraphicsModule().modeCache.clear();
    EXPECT_EQ(GraphicsModeCount(), 3);
    EXPECT_EQ(HasGraphicsMode(0, 0, 0, 0), 1);
    EXPECT_EQ(HasGraphicsMode(800, 600, 0, 0), 1);
    EXPECT_EQ(HasGraphicsMode(800, 600, 32, 75), 1);
    EXPECT_EQ(HasGraphicsMode(800, 600, 16, 0), 0);
    EXPECT_EQ(HasGraphicsMode(0, 0, 0, 60), 1);
    EXPECT_EQ(HasGraphicsMode(640, 0, 0, 75), 0);
    const int queries = driver->modeQueries;
    TGraphicsModes copy = GraphicsModes();
    copy.clear();  // callers may change their copy
    EXPECT_EQ(GraphicsModeCount(), 3);
    EXPECT_EQ(driver->modeQueries, queries);
    int32_t w = 0, h = 0, d = 0, hz = 0;
    GraphicsModeAt(2, &w, &h, &d, &hz);
    EXPECT_EQ(std::vector<int32_t>({w, h, d, hz}), std::vector<int32_t>({800, 600, 32, 75}));
    EXPECT_THROW(GraphicsModeAt(3, &w, &h, &d, &hz), TRuntimeException);
    EXPECT_THROW(GraphicsModeAt(-1, &w, &h, &d, &hz), TRuntimeException);

    // Another driver empties the cache; choosing the same one again keeps it.
    auto other = std::make_shared<TFakeDriver>("d3d");
    SelectGraphicsDriver(driver, 0);
    EXPECT_EQ(driver->modeQueries, queries);
    SelectGraphicsDriver(other, 0);
    EXPECT_EQ(GraphicsModeCount(), 0);
    EXPECT_EQ(other->modeQueries, 1);
}

TEST_F(GraphicsFront, ContextsSwitchDriversAndCloseCleanly) {
    Ref<TGraphics> g = CreateGraphics(320, 200, 0, 0, GFX_DEPTH_BUFFER);
    ASSERT_TRUE(g);
    EXPECT_FALSE(CurrentGraphics());  // creating does not make current
    SetGraphics(g);
    EXPECT_EQ(CurrentGraphicsFlags(), GFX_DEPTH_BUFFER | GFX_DOUBLE_BUFFER);

    // A context of another driver makes that driver current after unselecting the old one.
    auto other = std::make_shared<TFakeDriver>("d3d");
    Ref<TGraphics> h = other->CreateGraphics(100, 100, 0, 0, 0);
    calls.clear();
    SetGraphics(h);
    EXPECT_EQ(GraphicsDriver(), other);
    EXPECT_EQ(calls, (std::vector<std::string>{"gl set null", "d3d set d3d#1"}));

    calls.clear();
    CloseGraphics(h);
    EXPECT_EQ(calls, (std::vector<std::string>{"d3d set null", "close d3d#1"}));
    EXPECT_FALSE(CurrentGraphics());
    EXPECT_EQ(CurrentGraphicsWidth(), 0);

    // Choosing a driver forgets the current graphics after unselecting it in the old driver.
    SetGraphics(g);  // back to the first driver
    calls.clear();
    SelectGraphicsDriver(other, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"gl set null"}));
    EXPECT_FALSE(CurrentGraphics());
    EXPECT_EQ(CurrentGraphicsFlags(), 0);
    SelectGraphicsDriver(driver, 0);

    Ref<TGraphics> attached = AttachGraphics(77, GFX_ALPHA_BITS);
    ASSERT_TRUE(attached);
    int32_t w, hh, d, hz, f;
    attached->GetSettings(&w, &hh, &d, &hz, &f);
    EXPECT_EQ(f, GFX_ALPHA_BITS);  // default flags are now 0
}

TEST_F(GraphicsFront, FlipRunsItsHookFirstAndNeedsADriver) {
    static int hookRuns = 0;
    hookRuns = 0;
    auto hook = [](int32_t, const Ref<TObject>& data, const Ref<TObject>&) -> Ref<TObject> {
        ++hookRuns;
        EXPECT_TRUE(GraphicsModule().driver);
        return data;
    };
    InstallHook(FlipHookId(), hook, nullptr, 0);
    Flip(0);
    Flip(-1);
    UninstallHook(FlipHookId(), hook, nullptr);
    EXPECT_EQ(hookRuns, 2);
    SelectGraphicsDriver(nullptr, 0);
    EXPECT_THROW(Flip(0), TRuntimeException);
    EXPECT_THROW(CreateGraphics(1, 1, 0, 0, 0), TRuntimeException);
}

// A resize noted mid-frame is taken after the frame is presented at the old size; then the
// driver hears of it, and the event carries the graphics and the new size.
TEST_F(GraphicsFront, ANewWindowSizeIsTakenAfterPresentingAndAnnounced) {
    static std::vector<std::string> events;
    events.clear();
    auto hook = [](int32_t, const Ref<TObject>& data, const Ref<TObject>&) -> Ref<TObject> {
        auto* e = dynamic_cast<TEvent*>(data.get());
        if (e && e->id == EVENT_WINDOWSIZE) {
            events.push_back(static_cast<TFakeGraphics&>(*e->source).name + " " + std::to_string(e->x) + "x" +
                             std::to_string(e->y) + " now " + std::to_string(CurrentGraphicsWidth()));
        }
        return data;
    };
    InstallHook(EventEmitHookId(), hook, nullptr, 0);
    Ref<TGraphics> g = OpenGraphics(800, 600, 0, 0, GFX_RESIZABLE);
    auto& fake = static_cast<TFakeGraphics&>(*g);
    Flip(0);
    fake.newW = 1024;
    fake.newH = 500;
    EXPECT_EQ(CurrentGraphicsWidth(), 800) << "not before the frame boundary";
    calls.clear();
    Flip(0);
    Flip(0);  // taken once
    UninstallHook(EventEmitHookId(), hook, nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"flip at 800x600", "resized gl#1 to 1024x500", "flip at 1024x500"}));
    EXPECT_EQ(events, (std::vector<std::string>{"gl#1 1024x500 now 1024"}));
    EXPECT_EQ(CurrentGraphicsHeight(), 500);
    EXPECT_EQ(CurrentGraphicsFlags() & GFX_RESIZABLE, GFX_RESIZABLE);
}

TEST(GraphicsMode, PrintsWithoutPadding) {
    EXPECT_EQ(TGraphicsMode::Create(800, 600, 32, 60)->ToString(), u"800,600,32 60Hz");
    EXPECT_EQ(TGraphicsMode::Create(1024, 768, 16, 0)->ToString(), u"1024,768,16 0Hz");
}

TEST(GraphicsSequenceStep, SkipsZero) {
    EXPECT_EQ(NextGraphicsSequence(-1), 1);
    EXPECT_EQ(NextGraphicsSequence(1), 2);
    EXPECT_EQ(NextGraphicsSequence(0x7FFFFFFF), static_cast<int32_t>(0x80000000u));
}

TEST(Pacer, ScheduleSurvivesTheClockWrapping) {
    for (int32_t hertz : {60, 75, 30, 144, 7}) {
        TFramePacer p;
        int32_t now = 0x7FFFFFF0;  // the 32-bit clock wraps during the run
        p.Start(hertz, now);
        int64_t slept = 0;
        for (int i = 0; i < hertz; ++i) {
            const int32_t wait = p.NextFrameWait(now);
            ASSERT_GT(wait, 0);
            slept += wait;
            now = MillisAdd(now, wait);
        }
        EXPECT_EQ(slept, 1000) << hertz;
        EXPECT_EQ(p.remainderAccumulator, 0) << hertz;
    }
}

TEST(Pacer, DisplayRateCheckNeedsThreeGoodFlipsInARow) {
    int32_t now = 0;
    std::vector<int32_t> durations = {30, 16, 17, 40, 15, 16, 17};  // one good run of three at the end
    size_t next = 0;
    int flips = 0;
    auto clock = [&] { return now; };
    auto flip = [&] {
        ++flips;
        now += next < durations.size() ? durations[next++] : 100;
    };
    EXPECT_TRUE(DisplayKeepsRate(60, clock, flip));
    EXPECT_EQ(flips, 7);
    now = 0;
    next = durations.size();  // every flip takes 100 ms: the second runs out
    EXPECT_FALSE(DisplayKeepsRate(60, clock, flip));
    EXPECT_EQ(now, 1000);
}

TEST(GLGraphicsStartUp, NoDisplayEndsTheProcessWithOneClearLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("DISPLAY", ":9999", 1);  // no server there
            StartGLGraphicsModule();
            SelectGraphicsDriver(GLGraphicsDriver(), GFX_DOUBLE_BUFFER);
            CreateGraphics(800, 600, 0, 60, 0);
        },
        ::testing::ExitedWithCode(255), "Corvex: cannot open the X display \":9999\"");
}
