// The GL driver on a real X server (a private Xvfb with Mesa's software renderer): window
// geometry, title and class as read back through Xlib, buffers per flag, texture sharing,
// the swap interval, closing, modes, full screen and adopted windows.
#include <gtest/gtest.h>
// gtest before the X headers: their macros (None, Bool) break it otherwise.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <corvex/graphics/gl_graphics.h>
#include "tests/support/resident_memory.h"
#include "graphics/glx/fbconfig.h"
#include "graphics/glx/native.h"
#include "graphics/glx/swap_interval.h"
#include <corvex/stream/stream.h>
#include "stream/fontbits.h"
#include <corvex/system/entry.h>
#include <corvex/system/input.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>
#include "system/x11/display.h"
#include "graphics/glx/glx_module.h"

using namespace corvex;

extern char** environ;

namespace {

Display* D() { return x11::X11Display(); }

using test_support::ResidentBytes;
// Growth bound for the drop loops.
constexpr int64_t kDropGrowthBound = test_support::GrowthBound(100L << 20);

glx::TGLContextRecord* RecordOf(const Ref<TGraphics>& g) { return static_cast<TGLGraphics&>(*g)._context; }

bool WindowExists(Window window) {
    x11::TX11ErrorTrap trap;
    XWindowAttributes attributes{};
    XGetWindowAttributes(D(), window, &attributes);
    return !trap.Failed();
}

int ConfigAttribute(GLXFBConfig config, int attribute) {
    int value = 0;
    glXGetFBConfigAttrib(D(), config, attribute, &value);
    return value;
}

class GLDriver : public ::testing::Test {
protected:
    void SetUp() override {
        StartGLGraphicsModule();
        SelectGraphicsDriver(GLGraphicsDriver(), GFX_DOUBLE_BUFFER);
    }
    void TearDown() override {
        CloseOpenedGraphics();
        SetGraphics(nullptr);
    }
};

}  // namespace

TEST_F(GLDriver, TheModuleAloneServesItsFontAsAnIncbinUrl) {
    // This program starts the OpenGL graphics module and nothing of the drawing layer.
    Ref<TStream> font = ReadUrlStream(TString(u"incbin::gldrawtextfont.bin"));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->Size(), 1536);
    EXPECT_EQ(font->Pos(), 0);
    unsigned char bytes[1536] = {};
    EXPECT_EQ(font->ReadBytes(bytes, 1536), 1536);
    EXPECT_EQ(0, std::memcmp(bytes, kBuiltinFontBits, sizeof bytes));
    font->Close();
    EXPECT_FALSE(WriteUrlStream(TString(u"incbin::gldrawtextfont.bin")));
    EXPECT_EQ(IncbinSize("tundrafont.bin"), 0);  // the drawing layer's copy is not here
}

TEST_F(GLDriver, OpenedWindowHasTheRequestedGeometryTitleAndClass) {
    Ref<TGraphics> g = OpenGraphics(800, 600, 0, 60, 0);
    ASSERT_TRUE(g);
    glx::TGLContextRecord* r = RecordOf(g);
    EXPECT_EQ(r->kind, glx::KIND_WINDOW);
    EXPECT_EQ(CurrentGraphicsWidth(), 800);
    EXPECT_EQ(CurrentGraphicsHeight(), 600);
    EXPECT_EQ(CurrentGraphicsDepth(), 0);
    EXPECT_EQ(CurrentGraphicsHertz(), 60);
    EXPECT_EQ(CurrentGraphicsFlags(), GFX_DOUBLE_BUFFER);

    Window root = 0, child = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, bits = 0;
    ASSERT_TRUE(XGetGeometry(D(), r->window, &root, &x, &y, &w, &h, &border, &bits));
    EXPECT_EQ(w, 800u);
    EXPECT_EQ(h, 600u);
    ASSERT_TRUE(XTranslateCoordinates(D(), r->window, root, 0, 0, &x, &y, &child));
    EXPECT_EQ(x, 32);
    EXPECT_EQ(y, 32);
    XWindowAttributes attributes{};
    XGetWindowAttributes(D(), r->window, &attributes);
    EXPECT_EQ(attributes.map_state, IsViewable);

    char* name = nullptr;
    ASSERT_TRUE(XFetchName(D(), r->window, &name));
    EXPECT_STREQ(name, "Corvex Application");
    XFree(name);
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(D(), r->window, &hint));
    EXPECT_STREQ(hint.res_class, "Corvex GLGraphics");
    XFree(hint.res_name);
    XFree(hint.res_class);
    XSizeHints* size = XAllocSizeHints();
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(D(), r->window, size, &supplied));
    EXPECT_EQ(size->min_width, 800);
    EXPECT_EQ(size->max_width, 800);
    EXPECT_EQ(size->min_height, 600);
    EXPECT_EQ(size->max_height, 600);
    EXPECT_TRUE(size->flags & USPosition);
    XFree(size);

    // Double-buffered (the default flags) and current, with a working GL.
    EXPECT_EQ(ConfigAttribute(r->config, GLX_DOUBLEBUFFER), 1);
    EXPECT_EQ(glXGetCurrentContext(), r->context);
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
}

TEST_F(GLDriver, TitleFollowsTheApplicationTitleInUtf8) {
    const TString saved = ApplicationTitle();
    SetApplicationTitle(u"Bo\u00eetes \u2192 eau");
    Ref<TGraphics> g = CreateGraphics(100, 80, 0, 0, 0);
    SetApplicationTitle(saved);
    ASSERT_TRUE(g);
    const x11::TX11Atoms& atoms = x11::X11Atoms();
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(D(), RecordOf(g)->window, atoms.netWmName, 0, 1024, False, atoms.utf8String, &type,
                                 &format, &count, &after, &data),
              Success);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), count), "Bo\xc3\xae" "tes \xe2\x86\x92 eau");
    XFree(data);
    CloseGraphics(g);
}

TEST_F(GLDriver, RequestedBuffersArePresent) {
    Ref<TGraphics> g = CreateGraphics(64, 64, 0, 0, GFX_ALPHA_BITS | GFX_DEPTH_BUFFER | GFX_STENCIL_BUFFER);
    ASSERT_TRUE(g);
    GLXFBConfig c = RecordOf(g)->config;
    EXPECT_GT(ConfigAttribute(c, GLX_ALPHA_SIZE), 0);
    EXPECT_GT(ConfigAttribute(c, GLX_DEPTH_SIZE), 0);
    EXPECT_GT(ConfigAttribute(c, GLX_STENCIL_SIZE), 0);
    EXPECT_EQ(ConfigAttribute(c, GLX_DOUBLEBUFFER), 1);  // the default flags still apply
    CloseGraphics(g);

    // An accumulation buffer, where the renderer has one; otherwise Null and no window left.
    const size_t listed = glx::GLXModule().list.size();
    if (Ref<TGraphics> accum = CreateGraphics(64, 64, 0, 0, GFX_ACCUM_BUFFER)) {
        EXPECT_GT(ConfigAttribute(RecordOf(accum)->config, GLX_ACCUM_RED_SIZE), 0);
        CloseGraphics(accum);
    }
    EXPECT_EQ(glx::GLXModule().list.size(), listed);

    SelectGraphicsDriver(GLGraphicsDriver(), 0);
    Ref<TGraphics> plain = CreateGraphics(64, 64, 0, 0, 0);
    ASSERT_TRUE(plain);
    c = RecordOf(plain)->config;
    EXPECT_EQ(ConfigAttribute(c, GLX_DEPTH_SIZE), 0);  // nothing unasked when a config without exists
    EXPECT_EQ(ConfigAttribute(c, GLX_STENCIL_SIZE), 0);
    CloseGraphics(plain);
}

TEST_F(GLDriver, TexturesMadeInTheSharedContextAreSeenByWindows) {
    Ref<TGraphics> g = OpenGraphics(128, 128, 0, 0, 0);
    ASSERT_TRUE(g);
    TGLGraphicsDriver& driver = *GLGraphicsDriver();
    driver.SwapSharedContext();
    EXPECT_EQ(glXGetCurrentContext(), glx::GLXModule().shared.context);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned char pixel[4] = {255, 0, 0, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    glFinish();
    driver.SwapSharedContext();  // back to the window
    EXPECT_EQ(glXGetCurrentContext(), RecordOf(g)->context);
    EXPECT_TRUE(glIsTexture(texture));

    // A second window sees it too.
    Ref<TGraphics> second = CreateGraphics(32, 32, 0, 0, 0);
    SetGraphics(second);
    EXPECT_TRUE(glIsTexture(texture));
    glDeleteTextures(1, &texture);
    CloseGraphics(second);
}

TEST_F(GLDriver, SwapIntervalChangesOnlyWhenTheSyncDoes) {
    Ref<TGraphics> g = OpenGraphics(64, 64, 0, 0, 0);
    ASSERT_TRUE(g);
    glx::TGLXModule& s = glx::GLXModule();
    s.Reset();
    const int32_t calls = 0;
    Flip(0);
    EXPECT_EQ(s.swapIntervalCalls, calls + 1);
    EXPECT_EQ(s.lastSwapInterval, 0);
    Flip(0);
    Flip(0);
    EXPECT_EQ(s.swapIntervalCalls, calls + 1);
    Flip(1);
    EXPECT_EQ(s.swapIntervalCalls, calls + 2);
    EXPECT_EQ(s.lastSwapInterval, 1);
    if (std::string(glx::SwapIntervalExtension(D())) == "GLX_EXT_swap_control") {
        unsigned interval = 99;
        glXQueryDrawable(D(), RecordOf(g)->window, GLX_SWAP_INTERVAL_EXT, &interval);
        EXPECT_EQ(interval, 1u);
    }
    Flip(5);  // any non-zero sync is 1
    EXPECT_EQ(s.swapIntervalCalls, calls + 2);
    Flip(-1);  // unpaced window: presents at once
    EXPECT_EQ(s.swapIntervalCalls, calls + 3);
    EXPECT_EQ(s.lastSwapInterval, 0);
}

TEST_F(GLDriver, ClosingLeavesNothingCurrentAndTwiceIsHarmless) {
    Ref<TGraphics> g = CreateGraphics(64, 64, 0, 0, 0);
    ASSERT_TRUE(g);
    SetGraphics(g);
    const Window window = RecordOf(g)->window;
    const size_t listed = glx::GLXModule().list.size();
    CloseGraphics(g);
    EXPECT_FALSE(CurrentGraphics());
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    EXPECT_FALSE(WindowExists(window));
    EXPECT_EQ(glx::GLXModule().list.size(), listed - 1);
    g->Close();  // a second close does nothing
    CloseGraphics(g);
    EXPECT_EQ(glx::GLXModule().list.size(), listed - 1);
    int32_t w = -1, h = -1, d = -1, hz = -1, f = -1;
    g->GetSettings(&w, &h, &d, &hz, &f);
    EXPECT_EQ(w, 0);
}

// Dropping the last reference closes the context and its window, whether or not the program
// closed it first, and current or not.
TEST_F(GLDriver, DroppedContextsFreeTheirWindowsAndBuffers) {
    const size_t listed = glx::GLXModule().list.size();
    Window last = 0;
    auto cycle = [&last](int i) {
        Ref<TGraphics> g = CreateGraphics(1024, 768, 0, 0, GFX_DOUBLE_BUFFER);
        ASSERT_TRUE(g);
        last = RecordOf(g)->window;
        SetGraphics(g);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        Flip(0);
        if (i % 3 == 1) SetGraphics(nullptr);  // dropped while not current
        if (i % 3 == 2) CloseGraphics(g);      // closed, then dropped
    };
    cycle(0);
    SetGraphics(nullptr);
    const int64_t before = ResidentBytes();
    for (int i = 0; i < 60; ++i) {
        cycle(i);
        SetGraphics(nullptr);
        ASSERT_EQ(glx::GLXModule().list.size(), listed) << "context " << i << " outlived its last reference";
        ASSERT_FALSE(WindowExists(last)) << "window of context " << i;
    }
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    const int64_t grown = ResidentBytes() - before;
    EXPECT_LT(grown, kDropGrowthBound) << "the process grew by " << (grown >> 20) << " MB";
}

// Something outside the driver (another library, the program's own GLX calls) may change the
// current context: making a context current again must not trust the driver's memory of it.
TEST_F(GLDriver, SetGraphicsMakesTheContextCurrentEvenIfSomethingElseChangedIt) {
    Ref<TGraphics> g = CreateGraphics(64, 64, 0, 0, 0);
    ASSERT_TRUE(g);
    SetGraphics(g);
    ASSERT_EQ(glXGetCurrentContext(), RecordOf(g)->context);
    glXMakeCurrent(D(), None, nullptr);
    SetGraphics(g);
    EXPECT_EQ(glXGetCurrentContext(), RecordOf(g)->context);
    EXPECT_EQ(glXGetCurrentDrawable(), RecordOf(g)->window);
    CloseGraphics(g);
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
}

TEST_F(GLDriver, OpeningTwiceDestroysTheFirstWindowAndBumpsTheSequenceByTwo) {
    Ref<TGraphics> first = OpenGraphics(200, 100, 0, 60, 0);
    ASSERT_TRUE(first);
    const Window firstWindow = RecordOf(first)->window;
    const int32_t sequence = GraphicsSequence();
    Ref<TGraphics> second = OpenGraphics(300, 100, 0, 60, 0);
    ASSERT_TRUE(second);
    EXPECT_EQ(GraphicsSequence(), sequence + 2);
    EXPECT_FALSE(WindowExists(firstWindow));
    EXPECT_EQ(CurrentGraphics(), second);
    EXPECT_EQ(CurrentGraphicsWidth(), 300);
}

TEST_F(GLDriver, ModesAreTheMonitorsAtSixteenBitsOrMore) {
    const TGraphicsModes modes = GraphicsModes();
    ASSERT_FALSE(modes.empty());
    EXPECT_LE(modes.size(), 1024u);
    for (const Ref<TGraphicsMode>& m : modes) EXPECT_GE(m->depth, 16) << ToUtf8(m->ToString());
    EXPECT_EQ(HasGraphicsMode(0, 0, 0, 0), 1);
    EXPECT_EQ(HasGraphicsMode(DisplayWidth(D(), 0), DisplayHeight(D(), 0), 0, 0), 1);  // the desktop's own
    EXPECT_EQ(HasGraphicsMode(12345, 0, 0, 0), 0);
}

TEST_F(GLDriver, FullScreenHoldsTheDisplayUntilItLosesTheFocus) {
    const int32_t width = DisplayWidth(D(), 0), height = DisplayHeight(D(), 0);
    Ref<TGraphics> g = CreateGraphics(width, height, 32, 0, 0);
    ASSERT_TRUE(g) << "switching to the desktop's own mode should succeed";
    glx::TGLContextRecord* r = RecordOf(g);
    EXPECT_EQ(r->kind, glx::KIND_FULLSCREEN);
    EXPECT_EQ(glx::GLXModule().fullScreen, r);
    EXPECT_TRUE(glx::DisplayModeSwitched());
    EXPECT_EQ(glx::GLXModule().lastSwapInterval, 0);  // no rate was asked for

    // Focus elsewhere: the desktop mode comes back.
    const Window other = XCreateSimpleWindow(D(), DefaultRootWindow(D()), 0, 0, 10, 10, 0, 0, 0);
    XMapWindow(D(), other);
    XSync(D(), False);
    {
        x11::TX11ErrorTrap trap;
        XSetInputFocus(D(), other, RevertToParent, CurrentTime);
    }
    XSync(D(), False);
    PollSystemEvents();
    EXPECT_EQ(glx::GLXModule().fullScreen, nullptr);
    EXPECT_FALSE(glx::DisplayModeSwitched());
    // And back: it switches again.
    XMapWindow(D(), r->window);
    XSync(D(), False);
    {
        x11::TX11ErrorTrap trap;
        XSetInputFocus(D(), r->window, RevertToParent, CurrentTime);
    }
    XSync(D(), False);
    PollSystemEvents();
    EXPECT_EQ(glx::GLXModule().fullScreen, r);
    CloseGraphics(g);  // closing restores the desktop's mode
    EXPECT_FALSE(glx::DisplayModeSwitched());
    XDestroyWindow(D(), other);
}

TEST_F(GLDriver, FullScreenIntervalReachesItsOwnWindowWhileAnotherIsCurrent) {
    // Read back from the server where the extension can name a drawable; elsewhere only the
    // driver's own record of where the interval went can be checked.
    const bool readBack = std::string(glx::SwapIntervalExtension(D())) == "GLX_EXT_swap_control";
    const auto intervalOf = [](Window window) {
        unsigned interval = 99;
        glXQueryDrawable(D(), window, GLX_SWAP_INTERVAL_EXT, &interval);
        return interval;
    };
    glx::TGLXModule& s = glx::GLXModule();
    Ref<TGraphics> desk = OpenGraphics(64, 64, 0, 0, 0);
    ASSERT_TRUE(desk);
    s.Reset();  // Flip's memory as at start-up, so the next Flip sets the interval
    Flip(1);  // the desktop window waits for vertical blank
    const Window deskWindow = RecordOf(desk)->window;
    EXPECT_EQ(s.lastSwapDrawable, deskWindow);  // Flip's goes to the current drawable
    if (readBack) {
        ASSERT_EQ(intervalOf(deskWindow), 1u);
    }

    // Made while the desktop window's context is current: no rate asked, so interval 0, for the
    // full-screen window and not for the current one.
    const int32_t calls = s.swapIntervalCalls;
    const int32_t width = DisplayWidth(D(), 0), height = DisplayHeight(D(), 0);
    Ref<TGraphics> full = CreateGraphics(width, height, 32, 0, 0);
    ASSERT_TRUE(full);
    glx::TGLContextRecord* r = RecordOf(full);
    EXPECT_EQ(glXGetCurrentContext(), RecordOf(desk)->context);  // the binding is left alone
    EXPECT_EQ(s.swapIntervalCalls, calls + 1);
    EXPECT_EQ(s.lastSwapInterval, 0);
    EXPECT_EQ(s.lastSwapDrawable, r->window);
    if (readBack) {
        EXPECT_EQ(intervalOf(r->window), 0u);
        EXPECT_EQ(intervalOf(deskWindow), 1u);
        ASSERT_TRUE(glx::SetSwapInterval(D(), r->window, r->context, 1));
    }

    // Giving the display up sets it for the full-screen window again.
    s.lastSwapDrawable = 0;
    const Window other = XCreateSimpleWindow(D(), DefaultRootWindow(D()), 0, 0, 10, 10, 0, 0, 0);
    XMapWindow(D(), other);
    XSync(D(), False);
    {
        x11::TX11ErrorTrap trap;
        XSetInputFocus(D(), other, RevertToParent, CurrentTime);
    }
    XSync(D(), False);
    PollSystemEvents();
    EXPECT_EQ(s.fullScreen, nullptr);
    EXPECT_EQ(s.lastSwapInterval, 0);
    EXPECT_EQ(s.lastSwapDrawable, r->window);
    if (readBack) {
        EXPECT_EQ(intervalOf(r->window), 0u);
        EXPECT_EQ(intervalOf(deskWindow), 1u);
    }
    EXPECT_EQ(glXGetCurrentContext(), RecordOf(desk)->context);
    CloseGraphics(full);
    XDestroyWindow(D(), other);
}

TEST_F(GLDriver, FullScreenModeThatCannotBeSetYieldsNullAndLeavesNoWindow) {
    const size_t listed = glx::GLXModule().list.size();
    EXPECT_FALSE(CreateGraphics(123, 45, 32, 75, 0));
    EXPECT_FALSE(OpenGraphics(123, 45, 32, 75, 0));
    EXPECT_EQ(glx::GLXModule().list.size(), listed);
    EXPECT_EQ(glx::GLXModule().fullScreen, nullptr);
}

TEST_F(GLDriver, AdoptedWindowStaysItsCreatorsAndReportsItsCurrentSize) {
    Display* d = D();
    GLXFBConfig config = glx::FindFBConfig(d, GFX_DOUBLE_BUFFER);
    ASSERT_TRUE(config);
    XVisualInfo* visual = glXGetVisualFromFBConfig(d, config);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(d, DefaultRootWindow(d), visual->visual, AllocNone);
    const Window window = XCreateWindow(d, DefaultRootWindow(d), 300, 300, 120, 90, 0, visual->depth, InputOutput,
                                        visual->visual, CWColormap, &attributes);
    XFree(visual);
    XMapWindow(d, window);
    XSync(d, False);

    Ref<TGraphics> g = AttachGraphics(window, 0);
    ASSERT_TRUE(g);
    EXPECT_EQ(RecordOf(g)->kind, glx::KIND_ATTACHED);
    int32_t w = 0, h = 0, depth = -1, hz = -1, f = 0;
    g->GetSettings(&w, &h, &depth, &hz, &f);
    EXPECT_EQ(std::vector<int32_t>({w, h, depth, hz, f}), std::vector<int32_t>({120, 90, 0, 0, GFX_DOUBLE_BUFFER}));
    XResizeWindow(d, window, 150, 100);
    XSync(d, False);
    g->GetSettings(&w, &h, &depth, &hz, &f);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 100);
    SetGraphics(g);
    EXPECT_EQ(glXGetCurrentContext(), RecordOf(g)->context);
    Flip(0);
    CloseGraphics(g);
    EXPECT_TRUE(WindowExists(window));  // still its creator's
    EXPECT_FALSE(AttachGraphics(0x1234567, 0));  // no such window
    XDestroyWindow(d, window);
    XFreeColormap(d, attributes.colormap);
}

TEST_F(GLDriver, CloseRequestOnAGLWindowRaisesTerminateAndTheWindowStays) {
    Ref<TGraphics> g = OpenGraphics(160, 120, 0, 60, 0);
    ASSERT_TRUE(g);
    const Window window = RecordOf(g)->window;
    EXPECT_EQ(TerminateRequested(), 0);
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = x11::X11Atoms().wmProtocols;
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(x11::X11Atoms().wmDeleteWindow);
    XSendEvent(D(), window, False, NoEventMask, &close);
    XSync(D(), False);
    EXPECT_EQ(TerminateRequested(), 1);
    EXPECT_EQ(TerminateRequested(), 0);
    EXPECT_TRUE(WindowExists(window));
    EXPECT_EQ(OpenedGraphics(), g);
}

namespace {

// Runs argv with file descriptor 3 and standard error (when not -1) redirected, standard output
// discarded; the pid, or -1.
pid_t Spawn(const char* const argv[], int fd3, int errFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    if (errFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

std::string ReadAll(int fd, int timeoutMs, char stopAt = 0) {
    std::string text;
    char c = 0;
    pollfd wait = {fd, POLLIN, 0};
    while (poll(&wait, 1, timeoutMs) > 0 && read(fd, &c, 1) == 1 && c != stopAt) text += c;
    return text;
}

}  // namespace

// Run in a child process by the test below, on a server without GLX.
TEST(GLStartUpChild, CreateGraphicsWithoutGLX) {
    if (!getenv("CORVEX_NO_GLX_CHILD")) GTEST_SKIP() << "only in the child of GLStartUp";
    StartGLGraphicsModule();
    SelectGraphicsDriver(GLGraphicsDriver(), GFX_DOUBLE_BUFFER);
    CreateGraphics(800, 600, 0, 60, 0);
    FAIL() << "the process should have ended";
}

// A server without GLX: the process ends with one line naming the cause.
TEST(GLStartUp, NoGLXEndsTheProcessWithOneClearLine) {
    int displayPipe[2];
    ASSERT_EQ(pipe2(displayPipe, O_CLOEXEC), 0);
    const char* server[] = {"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-extension", "GLX", nullptr};
    const pid_t xvfb = Spawn(server, displayPipe[1], -1);
    close(displayPipe[1]);
    if (xvfb < 0) {
        close(displayPipe[0]);
        GTEST_SKIP() << "no Xvfb to start";
    }
    const std::string number = ReadAll(displayPipe[0], 5000, '\n');
    close(displayPipe[0]);
    ASSERT_FALSE(number.empty());

    int errPipe[2];
    ASSERT_EQ(pipe2(errPipe, O_CLOEXEC), 0);
    const std::string display = ":" + number;
    setenv("CORVEX_NO_GLX_CHILD", "1", 1);
    const std::string saved = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    setenv("DISPLAY", display.c_str(), 1);
    const char* self[] = {"/proc/self/exe", "--gtest_filter=GLStartUpChild.*", nullptr};
    const pid_t child = Spawn(self, -1, errPipe[1]);
    setenv("DISPLAY", saved.c_str(), 1);
    unsetenv("CORVEX_NO_GLX_CHILD");
    close(errPipe[1]);
    ASSERT_GT(child, 0);
    const std::string errors = ReadAll(errPipe[0], 20000);
    close(errPipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_NE(errors.find("Corvex: the X server offers no OpenGL"), std::string::npos) << errors;
}
