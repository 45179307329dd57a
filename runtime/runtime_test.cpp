#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <corvex/runtime/runtime.h>

namespace corvex {
namespace {

TEST(StringTest, Utf8RoundTripKeepsEveryPlane) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, e-acute, euro, emoji
    const TString wide = FromUtf8(text);
    ASSERT_EQ(wide.size(), 5u);  // the emoji takes a surrogate pair
    EXPECT_EQ(wide[0], u'A');
    EXPECT_EQ(wide[1], 0xE9);
    EXPECT_EQ(wide[2], 0x20AC);
    EXPECT_EQ(wide[3], 0xD83D);
    EXPECT_EQ(wide[4], 0xDE00);
    EXPECT_EQ(ToUtf8(wide), text);
}

TEST(StringTest, MalformedUtf8AndLoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(FromUtf8("\xC3"), TString(u"\xFFFD"));               // truncated sequence
    EXPECT_EQ(FromUtf8("\xC0\xAF"), TString(u"\xFFFD\xFFFD"));      // overlong
    EXPECT_EQ(FromUtf8("\xED\xA0\x80").front(), 0xFFFD);           // encoded surrogate
    EXPECT_EQ(ToUtf8(TString(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(StringTest, Latin1KeepsByteValues) {
    const std::string bytes("\x00\x7F\x80\xFF", 4);
    const TString wide = FromLatin1(bytes);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide[3], 0xFF);
    EXPECT_EQ(ToLatin1(wide), bytes);
    EXPECT_EQ(ToLatin1(u"\x0141"), "\x41");  // only the low 8 bits survive
}

TEST(StringTest, DecimalConversion) {
    EXPECT_EQ(DecimalString(0), u"0");
    EXPECT_EQ(DecimalString(-42), u"-42");
    EXPECT_EQ(DecimalString(2147483647), u"2147483647");
    EXPECT_EQ(DecimalString(INT64_MIN), u"-9223372036854775808");
    EXPECT_EQ(u"Box Counter! " + DecimalString(7), u"Box Counter! 7");
}

TEST(StringTest, LowerCaseChangesOnlyAsciiLetters) {
    EXPECT_EQ(ToLower(u"InCBin::Tundra[@]\x00C9"), u"incbin::tundra[@]\x00C9");
}

TEST(ListTest, AppendsAtTheEndAndWalksFirstToLast) {
    TList<int> list;
    for (int i = 1; i <= 4; ++i) list.AddLast(i);
    std::vector<int> seen;
    for (int v : list) seen.push_back(v);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.LastLink()->PrevLink()->Value(), 3);
}

TEST(ListTest, RemoveKeepsBothDirectionsLinked) {
    TList<Ref<int>> list;
    auto* a = list.AddLast(std::make_shared<int>(1));
    auto* b = list.AddLast(std::make_shared<int>(2));
    auto* c = list.AddLast(std::make_shared<int>(3));
    list.Remove(b);
    EXPECT_EQ(a->NextLink(), c);
    EXPECT_EQ(c->PrevLink(), a);
    list.Remove(c);
    EXPECT_EQ(list.LastLink(), a);
    list.Remove(a);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.FirstLink(), nullptr);
    list.AddLast(std::make_shared<int>(9));
    EXPECT_EQ(*list.FirstLink()->Value(), 9);
}

TEST(ListTest, LongListDestroysWithoutDeepRecursion) {
    TList<int> list;
    for (int i = 0; i < 1000000; ++i) list.AddLast(i);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
}

struct TEntry : TChainLink<TEntry> {
    explicit TEntry(int v) : value(v) {}
    int value;
};

std::vector<int> Walk(const TChain<TEntry>& chain) {
    std::vector<int> seen;
    for (Ref<TEntry> e = chain.First(); e; e = e->Succ()) seen.push_back(e->value);
    return seen;
}

TEST(ChainTest, PushesAtTheHeadRefusesNullAndRepeatsAndClearUnlinks) {
    TChain<TEntry> chain;
    EXPECT_TRUE(chain.Empty());
    auto a = std::make_shared<TEntry>(1), b = std::make_shared<TEntry>(2), c = std::make_shared<TEntry>(3);
    EXPECT_TRUE(chain.Push(a));
    EXPECT_TRUE(chain.Push(b));
    EXPECT_TRUE(chain.Push(c));
    EXPECT_EQ(Walk(chain), (std::vector<int>{3, 2, 1}));
    // Pushing an entry again (head, middle or tail) would make a cycle: refused.
    EXPECT_FALSE(chain.Push(c));
    EXPECT_FALSE(chain.Push(b));
    EXPECT_FALSE(chain.Push(a));
    EXPECT_FALSE(chain.Push(nullptr));
    EXPECT_EQ(Walk(chain), (std::vector<int>{3, 2, 1}));
    chain.Clear();
    EXPECT_TRUE(chain.Empty());
    // Entries still held elsewhere come out unlinked and can be registered anew.
    EXPECT_EQ(c->Succ(), nullptr);
    EXPECT_EQ(b->Succ(), nullptr);
    EXPECT_TRUE(chain.Push(b));
    EXPECT_EQ(Walk(chain), (std::vector<int>{2}));
}

TEST(ChainTest, LongChainDestroysWithoutDeepRecursion) {
    TChain<TEntry> chain;
    for (int i = 0; i < 1000000; ++i) chain.Push(std::make_shared<TEntry>(i));
    EXPECT_EQ(chain.First()->value, 999999);
}

TEST(ModuleTest, EachModuleStartsOnceInFirstStartOrder) {
    const size_t before = StartedModules().size();
    EXPECT_TRUE(BeginModuleStart("test.alpha"));
    EXPECT_TRUE(BeginModuleStart("test.beta"));
    EXPECT_FALSE(BeginModuleStart("test.alpha"));
    auto started = StartedModules();
    ASSERT_EQ(started.size(), before + 2);
    EXPECT_EQ(started[before], "test.alpha");
    EXPECT_EQ(started[before + 1], "test.beta");
}

TEST(TypeRegistryTest, RecordsNamesInRegistrationOrder) {
    ResetTypeRegistry();
    EXPECT_TRUE(RegisterType("Verlet"));
    EXPECT_TRUE(RegisterType("Constraint"));
    EXPECT_TRUE(RegisterType("Polyseg"));
    EXPECT_FALSE(RegisterType("Verlet"));
    EXPECT_TRUE(RegisterType("PhysicsImage", "TObject"));
    auto types = RegisteredTypes();
    ASSERT_EQ(types.size(), 4u);
    EXPECT_EQ(types[0].name, "Verlet");
    EXPECT_EQ(types[3].name, "PhysicsImage");
    EXPECT_EQ(FindType("PhysicsImage")->base, "TObject");
    EXPECT_EQ(FindType("Missing"), nullptr);
}

TEST(ExceptionTest, CarriesItsText) {
    try {
        throw TRuntimeException("Stream is not readable");
    } catch (const TException& e) {
        EXPECT_EQ(e.ToString(), u"Stream is not readable");
        EXPECT_STREQ(e.what(), "Stream is not readable");
    }
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(std::runtime_error("boom"))), u"boom");
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(42)), u"Unknown exception");
}

// Exit code -1 as the parent sees it: the whole value on Windows, its low byte on Linux.
#ifdef _WIN32
constexpr int kExitMinusOne = -1;
#else
constexpr int kExitMinusOne = 255;
#endif

TEST(ExceptionDeathTest, UncaughtErrorPrintsItsTextAndExitsMinusOne) {
    EXPECT_EXIT(RunGuarded([] { throw TRuntimeException("Too many hook ids"); }),
                testing::ExitedWithCode(kExitMinusOne), "Too many hook ids");
    EXPECT_EXIT(
        {
            InstallTerminateHandler();
            std::terminate();
        },
        testing::ExitedWithCode(kExitMinusOne), "");
}

}  // namespace
}  // namespace corvex
