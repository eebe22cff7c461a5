// Tests of the console objects: the registry list and registration, command dispatch and
// completion, variable values with their bounds and notifications, and the positions of
// the virtual functions that the host console calls.
#include "tier1/Convar.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "host/vstdlib/HostVstdlib.h"
#include "support/ArrayAllocations.h"

namespace {

// The registry's process-wide state; reset around every test because the tests' objects
// are local and, like all console objects, do not unlink themselves.
struct RegistryState : ConCommandBase {
    static void Reset() {
        s_pConCommandBases = nullptr;
        s_pAccessor = nullptr;
    }
};

// Registers like the plugin's accessor, which takes each object off the list, and
// reports failure, which the registry must ignore.
struct RecordingAccessor : IConCommandBaseAccessor {
    bool RegisterConCommandBase(ConCommandBase* object) override {
        registered.push_back(object);
        object->SetNext(nullptr);
        return false;
    }
    std::vector<ConCommandBase*> registered;
};

struct ProbeVar : ConVar {
    using ConVar::ConVar;
    const char* Buffer() const { return m_pStringValue; }
    int BufferSize() const { return m_nStringLength; }
};

using Changes = std::vector<std::pair<ConVar*, std::string>>;
Changes g_changes;
void RecordChange(ConVar* variable, const char* oldValue) { g_changes.emplace_back(variable, oldValue); }

Changes HostNotifications() {
    Changes out;
    for (const auto& n : HostVstdlib_Cvar()->Notifications()) out.emplace_back(n.variable, n.oldValue);
    return out;
}

void ClearRecords() {
    g_changes.clear();
    HostVstdlib_Cvar()->Clear();
}

// "text|float|int" of a variable, so one comparison shows all three forms.
std::string State(const ConVar& v) {
    char out[128];
    snprintf(out, sizeof(out), "%s|%g|%d", v.GetString(), static_cast<double>(v.GetFloat()), v.GetInt());
    return out;
}

std::vector<std::string> ListedNames() {
    std::vector<std::string> names;
    for (ConCommandBase* it = ConCommandBase::GetCommands(); it; it = it->GetNext()) names.push_back(it->GetName());
    return names;
}

class ConvarRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegistryState::Reset();
        ClearRecords();
    }
    void TearDown() override {
        RegistryState::Reset();
        EXPECT_EQ(arrays_.Live(), 0) << "variable texts (new[]) leaked or freed twice";
    }
    ArrayLeakCheck arrays_;
};
using ConvarCommandTest = ConvarRegistryTest;
using ConvarVariableTest = ConvarRegistryTest;
using ConvarLayoutTest = ConvarRegistryTest;

using Names = std::vector<std::string>;

// ---- Registry ------------------------------------------------------------------------

TEST_F(ConvarRegistryTest, ObjectsLinkNewestFirstUnlessUnlisted) {
    ConCommandBase empty;
    EXPECT_TRUE(!empty.GetNext() && !empty.GetName() && !empty.GetHelpText() && !empty.IsRegistered());
    ConCommandBase first("first", nullptr, 0x100);
    ConVar second("second", "1");
    ConCommand unlisted("unlisted", nullptr, "help", FCVAR_UNLISTED);
    EXPECT_EQ(ListedNames(), (Names{"second", "first"}));
    EXPECT_EQ(unlisted.GetNext(), nullptr);
    EXPECT_STREQ(first.GetHelpText(), "");
    EXPECT_STREQ(second.GetHelpText(), "");

    ConCommandBase::AddToList(&unlisted);  // flags are not looked at
    EXPECT_EQ(ListedNames(), (Names{"unlisted", "second", "first"}));
}

TEST_F(ConvarRegistryTest, OneTimeInitRegistersEveryListedObjectOnce) {
    ConCommandBase a("a");
    ConVar b("b", "0");
    ConCommand c("c", nullptr);
    ConVar hidden("hidden", "0", FCVAR_UNLISTED);
    RecordingAccessor accessor;
    ConCommandBaseMgr::OneTimeInit(&accessor);
    // The accessor unlinks each object, so the walk must read `next` before registering.
    EXPECT_EQ(accessor.registered, (std::vector<ConCommandBase*>{&c, &b, &a}));
    EXPECT_TRUE(a.IsRegistered() && b.IsRegistered() && c.IsRegistered());
    EXPECT_FALSE(hidden.IsRegistered());
    EXPECT_EQ(ConCommandBase::GetCommands(), &c);

    ConVar late("late", "0");
    ConCommand lateHidden("late_hidden", nullptr, nullptr, FCVAR_UNLISTED);
    late.Init();
    a.Init();
    EXPECT_EQ(accessor.registered, (std::vector<ConCommandBase*>{&c, &b, &a, &late, &lateHidden}));

    // A second call reaches only the listed objects not registered yet.
    ConCommandBase::AddToList(&hidden);
    ConCommandBase::AddToList(&a);
    RecordingAccessor second;
    ConCommandBaseMgr::OneTimeInit(&second);
    EXPECT_EQ(second.registered, (std::vector<ConCommandBase*>{&hidden}));
}

TEST_F(ConvarRegistryTest, FindCommandIgnoresCaseAndSeesOnlyListedObjects) {
    ConCommand spawn("vl_spawn", nullptr);
    ConVar version("vl_utils_version", "0.0.2");
    ConVar hidden("hidden", "", FCVAR_UNLISTED);
    ConCommandBase nameless;
    ConCommandBase::AddToList(&nameless);
    EXPECT_EQ(ConCommandBase::FindCommand("VL_SPAWN"), &spawn);
    EXPECT_EQ(ConCommandBase::FindCommand("Vl_Utils_Version"), &version);
    EXPECT_EQ(ConCommandBase::FindCommand("hidden"), nullptr);
    EXPECT_EQ(ConCommandBase::FindCommand("vl_spaw"), nullptr);
    EXPECT_EQ(ConCommandBase::FindCommand(nullptr), nullptr);
    ConCommand newer("VL_Spawn", nullptr);
    EXPECT_EQ(ConCommandBase::FindCommand("vl_spawn"), &newer);
}

TEST_F(ConvarRegistryTest, RemoveFlaggedCommandsDropsMatchesAndReversesTheRest) {
    ConCommandBase a("a"), b("b", nullptr, 0x20), c("c"), d("d", nullptr, 0x30);
    ConCommandBase::RemoveFlaggedCommands(0);
    EXPECT_EQ(ListedNames(), (Names{"a", "b", "c", "d"}));
    ConCommandBase::RemoveFlaggedCommands(0x20);
    EXPECT_EQ(ListedNames(), (Names{"c", "a"}));
    EXPECT_EQ(b.GetNext(), nullptr);  // b was in the middle
}

TEST_F(ConvarRegistryTest, RevertFlaggedCvarsRestoresDefaultsUnlessEqualIgnoringCase) {
    ConVar same("same", "Abc", 0x8), changed("changed", "5", 0x8), unflagged("unflagged", "5");
    ConVar frozen("frozen", "5", 0x8);
    ConCommand command("command", nullptr, nullptr, 0x8);
    same.SetValue("aBC");
    changed.SetValue("6");
    unflagged.SetValue("6");
    frozen.AddFlags(FCVAR_NEVER_AS_STRING);
    frozen.SetValue("7");  // its stored text is still its default
    ClearRecords();

    ConCommandBase::RevertFlaggedCvars(0x8);
    EXPECT_STREQ(same.GetString(), "aBC");
    EXPECT_STREQ(changed.GetString(), "5");
    EXPECT_STREQ(unflagged.GetString(), "6");
    EXPECT_EQ(frozen.GetInt(), 5);
    EXPECT_EQ(HostNotifications(), (Changes{{&changed, "6"}}));
}

TEST_F(ConvarRegistryTest, CopyStringReturnsANewOwnedCopy) {
    const char text[] = "abc";
    char* copy = ConCommandBase::CopyString(text);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, "abc");
    delete[] copy;
    char* empty = ConCommandBase::CopyString("");
    EXPECT_STREQ(empty, "");
    delete[] empty;  // a one-byte array; the sanitizer build checks the delete[] pairing
}

// ---- Commands ------------------------------------------------------------------------

int g_dispatched;
void CountDispatch() { ++g_dispatched; }

const char* g_partial;
char (*g_entries)[kCompletionEntrySize];
int CompleteThree(const char* partial, char (*commands)[kCompletionEntrySize]) {
    g_partial = partial;
    g_entries = commands;
    return 3;
}

TEST_F(ConvarCommandTest, DispatchRunsTheCommandFunctionIfAny) {
    g_dispatched = 0;
    ConCommand command("count", CountDispatch, "help"), idle("idle", nullptr);
    command.Dispatch();
    idle.Dispatch();
    EXPECT_EQ(g_dispatched, 1);
}

TEST_F(ConvarCommandTest, CompletionIsPassedThroughOnlyWhenGiven) {
    char entries[2][kCompletionEntrySize];
    memset(entries, 'x', sizeof(entries));
    ConCommand plain("plain", nullptr);
    EXPECT_FALSE(plain.CanAutoComplete());
    EXPECT_EQ(plain.AutoCompleteSuggest("pl", entries), 0);
    EXPECT_EQ(std::string(entries[0], sizeof(entries)), std::string(sizeof(entries), 'x'));

    ConCommand completing("completing", nullptr, nullptr, 0, CompleteThree);
    const char* partial = "comp";
    EXPECT_TRUE(completing.CanAutoComplete());
    EXPECT_EQ(completing.AutoCompleteSuggest(partial, entries), 3);
    EXPECT_EQ(g_partial, partial);
    EXPECT_EQ(g_entries, entries);
}

// ---- Variables -----------------------------------------------------------------------

TEST_F(ConvarVariableTest, CreationTakesTheDefaultUnclampedAndTellsNobody) {
    ConVar bounded("bounded", "7", 0, "help", true, 10.0f, true, 20.0f, RecordChange);
    EXPECT_EQ(State(bounded), "7|7|7");
    float min = 0, max = 0;
    EXPECT_TRUE(bounded.GetMin(min) && bounded.GetMax(max));
    EXPECT_EQ(min, 10.0f);
    EXPECT_EQ(max, 20.0f);
    ConVar noDefault("no_default", nullptr), negative("negative", "-2.9"), word("word", "abc");
    EXPECT_EQ(State(noDefault), "|0|0");
    EXPECT_STREQ(noDefault.GetDefault(), "");
    EXPECT_FALSE(noDefault.GetMin(min));
    EXPECT_EQ(State(negative), "-2.9|-2.9|-2");
    EXPECT_EQ(State(word), "abc|0|0");
    EXPECT_TRUE(g_changes.empty());
    EXPECT_TRUE(HostNotifications().empty());
}

TEST_F(ConvarVariableTest, TextIsStoredVerbatimParsedAndAlwaysNotified) {
    ConVar v("v", "0", 0, nullptr, RecordChange);
    v.SetValue("abc");
    EXPECT_EQ(State(v), "abc|0|0");
    v.SetValue("2.9");
    EXPECT_EQ(State(v), "2.9|2.9|2");
    v.SetValue("2.9");
    v.SetValue(static_cast<const char*>(nullptr));
    EXPECT_EQ(State(v), "|0|0");
    Changes expected{{&v, "0"}, {&v, "abc"}, {&v, "2.9"}, {&v, "2.9"}};
    EXPECT_EQ(g_changes, expected);
    EXPECT_EQ(HostNotifications(), expected);
}

TEST_F(ConvarVariableTest, BoundsClampTextFloatAndIntSets) {
    ConVar low("low", "5", 0, nullptr, true, 1.0f, false, 0.0f, RecordChange);
    low.SetValue("0.5");
    EXPECT_EQ(State(low), "1.000000|1|1");
    EXPECT_EQ(g_changes, (Changes{{&low, "5"}}));

    ConVar high("high", "0", 0, nullptr, false, 0.0f, true, 10.0f);
    high.SetValue(20);
    EXPECT_EQ(State(high), "10|10|10");
    high.SetValue(0);
    high.SetValue(20.0f);
    EXPECT_EQ(State(high), "10.000000|10|10");
    // Equality is judged before clamping: 20 is not the stored 10, so it is stored again.
    HostVstdlib_Cvar()->Clear();
    high.SetValue(20.0f);
    EXPECT_EQ(HostNotifications(), (Changes{{&high, "10.000000"}}));

    ConVar crossed("crossed", "0", 0, nullptr, true, 5.0f, true, 2.0f);
    crossed.SetValue("9");
    EXPECT_EQ(crossed.GetFloat(), 2.0f);
    crossed.SetValue("3");  // above the maximum too, but the minimum is tested first
    EXPECT_EQ(crossed.GetFloat(), 5.0f);

    // A value equal to a bound is inside: its text is kept as given, not reformatted.
    ConVar both("both", "7", 0, nullptr, true, 2.0f, true, 10.0f);
    const struct {
        const char* set;
        const char* state;
    } edges[] = {{"2", "2|2|2"}, {"10", "10|10|10"}, {"1.99", "2.000000|2|2"}, {"10.01", "10.000000|10|10"}};
    for (const auto& e : edges) {
        both.SetValue(e.set);
        EXPECT_EQ(State(both), e.state) << e.set;
    }
}

TEST_F(ConvarVariableTest, NumericSetsOfTheCurrentValueDoNothing) {
    ConVar v("v", "3.5", 0, nullptr, RecordChange);
    v.SetValue(3);
    EXPECT_EQ(State(v), "3.5|3.5|3");
    v.SetValue("3");
    v.SetValue(1.0f);
    v.SetValue(1.0f);
    v.SetValue(1);
    EXPECT_EQ(State(v), "1.000000|1|1");
    EXPECT_EQ(g_changes, (Changes{{&v, "3.5"}, {&v, "3"}}));
    EXPECT_EQ(HostNotifications(), g_changes);
}

TEST_F(ConvarVariableTest, NeverAsStringFreezesTheTextButNotTheValue) {
    ProbeVar v("v", "2", FCVAR_NEVER_AS_STRING, nullptr, RecordChange);
    v.SetValue("5");
    EXPECT_EQ(State(v), "FCVAR_NEVER_AS_STRING|5|5");
    v.SetValue(6.5f);
    v.SetValue(7);
    EXPECT_EQ(State(v), "FCVAR_NEVER_AS_STRING|7|7");
    EXPECT_STREQ(v.Buffer(), "2");
    EXPECT_TRUE(g_changes.empty());
    EXPECT_TRUE(HostNotifications().empty());
}

TEST_F(ConvarVariableTest, TextBufferGrowsButNeverShrinks) {
    ProbeVar v("v", "ab");
    EXPECT_EQ(v.BufferSize(), 3);
    v.SetValue("abcdefgh");
    EXPECT_EQ(v.BufferSize(), 9);
    const char* grown = v.Buffer();
    // A text that exactly fills the buffer makes no new buffer: it costs the same array
    // allocations as a shorter one.
    int made = ArrayAllocationsMade();
    v.SetValue("12345678");
    const int equalCost = ArrayAllocationsMade() - made;
    made = ArrayAllocationsMade();
    v.SetValue("hello");
    EXPECT_EQ(equalCost, ArrayAllocationsMade() - made);
    EXPECT_EQ(v.Buffer(), grown);
    EXPECT_EQ(v.BufferSize(), 9);
    v.SetValue("123456789");  // one past
    EXPECT_EQ(v.BufferSize(), 10);
    grown = v.Buffer();
    v.SetValue("hello");
    v.SetValue(v.GetString() + 2);  // from its own, overlapping text
    EXPECT_STREQ(v.GetString(), "llo");
    EXPECT_EQ(v.Buffer(), grown);
    EXPECT_EQ(HostNotifications().back(), Changes::value_type(&v, "hello"));
}

TEST_F(ConvarVariableTest, FloatsOutsideTheIntRangeGiveIntMin) {
    ConVar v("v", "1e10");
    EXPECT_EQ(v.GetInt(), INT_MIN);
    v.SetValue("2147483520");  // the largest float below 2^31
    EXPECT_EQ(v.GetInt(), 2147483520);
    v.SetValue("-2147483648");
    EXPECT_EQ(v.GetInt(), INT_MIN);
    v.SetValue("nan");
    EXPECT_EQ(v.GetInt(), INT_MIN);
    v.SetValue(0);
    v.SetValue(-3e9f);
    EXPECT_EQ(v.GetInt(), INT_MIN);
}

int g_redirects;
void RedirectOneToTwo(ConVar* variable, const char* oldValue) {
    RecordChange(variable, oldValue);
    if (strcmp(variable->GetString(), "1") == 0 && ++g_redirects < 5) variable->SetValue("2");
}

TEST_F(ConvarVariableTest, ChangeCallbackGetsThePreviousTextAndMayReenter) {
    ConVar v("v", "abc");
    v.InstallChangeCallback(RecordChange);
    EXPECT_EQ(g_changes, (Changes{{&v, "abc"}}));
    EXPECT_TRUE(HostNotifications().empty());

    g_redirects = 0;
    ConVar r("r", "0");
    r.InstallChangeCallback(RedirectOneToTwo);
    ClearRecords();
    r.SetValue("1");
    EXPECT_STREQ(r.GetString(), "2");
    EXPECT_EQ(g_changes, (Changes{{&r, "0"}, {&r, "1"}}));
    // The inner change reaches the host first; the outer one still reports its own old text.
    EXPECT_EQ(HostNotifications(), (Changes{{&r, "1"}, {&r, "0"}}));
}

TEST_F(ConvarVariableTest, RevertStoresTheDefaultAgainAndRevertAllSkipsCommands) {
    ConVar a("a", "1"), b("b", "x");
    ConCommand command("command", nullptr);
    a.Revert();
    EXPECT_EQ(HostNotifications(), (Changes{{&a, "1"}}));
    a.SetValue("9");
    b.SetValue("y");
    ClearRecords();
    ConVar::RevertAll();
    EXPECT_EQ(HostNotifications(), (Changes{{&b, "y"}, {&a, "9"}}));
    EXPECT_STREQ(a.GetString(), "1");
}

// ---- Virtual table positions -----------------------------------------------------------
// The host calls objects by slot, as plain cdecl functions taking the object first. These
// calls deliberately use no declaration from the console header.

template <typename Fn>
Fn Slot(void* object, int index) {
    return reinterpret_cast<Fn>((*static_cast<void***>(object))[index]);
}
using Getter = const char* (*)(void*);
using Predicate = bool (*)(void*);
using Action = void (*)(void*);
using TextSetter = void (*)(void*, const char*);
using FloatSetter = void (*)(void*, float);
using IntSetter = void (*)(void*, int);

TEST_F(ConvarLayoutTest, HostCallsReachTheRightVirtualSlots) {
    g_dispatched = 0;
    ConCommand command("command", nullptr, nullptr, FCVAR_UNLISTED, CompleteThree);
    char entries[2][kCompletionEntrySize];
    EXPECT_TRUE(Slot<Predicate>(&command, 2)(&command));
    EXPECT_EQ(Slot<int (*)(void*, const char*, void*)>(&command, 10)(&command, "c", entries), 3);
    EXPECT_TRUE(Slot<Predicate>(&command, 11)(&command));
    Slot<void (*)(void*, const char*, void (*)(), const char*, int, void*)>(&command, 13)(
        &command, "counter", CountDispatch, nullptr, FCVAR_UNLISTED, nullptr);
    Slot<Action>(&command, 12)(&command);
    EXPECT_EQ(g_dispatched, 1);
    EXPECT_STREQ(command.GetName(), "counter");

    ConVar var("var", "1", FCVAR_UNLISTED | 0x100, "help", true, 0.0f, true, 100.0f);
    EXPECT_FALSE(Slot<Predicate>(&var, 2)(&var));
    EXPECT_TRUE(Slot<bool (*)(void*, int)>(&var, 3)(&var, 0x100));
    Slot<IntSetter>(&var, 4)(&var, 0x40000);
    EXPECT_TRUE(var.IsBitSet(0x40000));
    EXPECT_STREQ(Slot<Getter>(&var, 5)(&var), "var");
    EXPECT_STREQ(Slot<Getter>(&var, 6)(&var), "help");
    EXPECT_FALSE(Slot<Predicate>(&var, 7)(&var));
    Slot<void (*)(void*, const char*, const char*, int)>(&var, 8)(&var, "renamed", nullptr, FCVAR_UNLISTED);
    EXPECT_STREQ(var.GetName(), "renamed");
    Slot<TextSetter>(&var, 10)(&var, "5");
    EXPECT_EQ(State(var), "5|5|5");
    Slot<FloatSetter>(&var, 11)(&var, 6.5f);
    EXPECT_EQ(State(var), "6.500000|6.5|6");
    Slot<IntSetter>(&var, 12)(&var, 7);
    EXPECT_EQ(State(var), "7|7|7");
    Slot<TextSetter>(&var, 13)(&var, "8");
    Slot<FloatSetter>(&var, 14)(&var, 9.5f);
    EXPECT_EQ(State(var), "9.500000|9.5|9");
    Slot<IntSetter>(&var, 15)(&var, 10);
    EXPECT_EQ(State(var), "10|10|10");
    float value = 200.0f;
    EXPECT_TRUE(Slot<bool (*)(void*, float*)>(&var, 16)(&var, &value));
    EXPECT_EQ(value, 100.0f);
    Slot<TextSetter>(&var, 17)(&var, "text only");
    EXPECT_EQ(State(var), "text only|10|10");
    Slot<void (*)(void*, const char*, const char*, int, const char*, bool, float, bool, float, void*)>(&var, 18)(
        &var, "recreated", "42", FCVAR_UNLISTED, nullptr, false, 0.0f, false, 0.0f, nullptr);
    EXPECT_EQ(State(var), "42|42|42");

    RecordingAccessor accessor;
    ConCommandBaseMgr::OneTimeInit(&accessor);  // nothing is listed
    Slot<Action>(&var, 9)(&var);
    EXPECT_EQ(accessor.registered, (std::vector<ConCommandBase*>{&var}));
    EXPECT_TRUE(Slot<Predicate>(&var, 7)(&var));

    // Slot 0 destroys without freeing (this storage is not from the heap; freeing it
    // would abort), slot 1 destroys and frees (a leak shows in the sanitizer build).
    alignas(ConVar) unsigned char storage[sizeof(ConVar)];
    ConVar* inPlace = new (storage) ConVar("in_place", "abc", FCVAR_UNLISTED);
    Slot<Action>(inPlace, 0)(inPlace);
    ConVar* onHeap = new ConVar("on_heap", "abc", FCVAR_UNLISTED);
    Slot<Action>(onHeap, 1)(onHeap);
}

}  // namespace
