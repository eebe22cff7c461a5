#include "tier1/KeyValues.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "support/ConsoleCapture.h"
#include "support/KeyValuesDump.h"
#include "support/KeyValuesLeakTest.h"
#include "support/SmallStack.h"
#include "vstdlib/IKeyValuesSystem.h"

namespace {

class KeyValuesTest : public KeyValuesLeakTest {};

std::vector<std::string> ChildNames(KeyValues* kv) {
    std::vector<std::string> names;
    for (KeyValues* key = kv->GetFirstSubKey(); key; key = key->GetNextKey()) names.push_back(key->GetName());
    return names;
}

}  // namespace

TEST_F(KeyValuesTest, ConstructorsSetTheNameThenThePairsInOrder) {
    KeyValues* texts = new KeyValues("root", "a", "x", "b", nullptr);  // null stores ""
    EXPECT_EQ(DumpKeyValues(texts), "\"root\" none\n  \"a\" string \"x\"\n  \"b\" string \"\"\n");
    texts->deleteThis();

    KeyValues* ints = new KeyValues("n", "i", 5, "j", -6);
    EXPECT_EQ(ints->GetInt("j"), -6);
    ints->deleteThis();

    KeyValues unnamed(nullptr);  // a node on the stack takes no node memory
    EXPECT_EQ(unnamed.GetNameSymbol(), INVALID_KEY_SYMBOL);
    EXPECT_STREQ(unnamed.GetName(), "");
    EXPECT_EQ(LiveNodes(), 0);
}

TEST_F(KeyValuesTest, DeleteThisDestroysDescendantsAndLaterSiblings) {
    KeyValues* a = new KeyValues("a");
    KeyValues* b = new KeyValues("b");
    KeyValues* c = new KeyValues("c");
    a->SetNextKey(b);
    b->SetNextKey(c);
    a->SetString("x/y", "v");
    b->SetUint64("u", 1);
    c->SetWString("w", L"w");
    EXPECT_EQ(LiveNodes(), 3 + 2 + 1 + 1);
    a->deleteThis();
    EXPECT_EQ(LiveNodes(), 0);

    // A chain that comes back to the node is destroyed once around.
    KeyValues* p = new KeyValues("p");
    KeyValues* q = new KeyValues("q");
    p->SetNextKey(q);
    q->SetNextKey(p);
    q->CreateKey("child");
    p->deleteThis();
    EXPECT_EQ(LiveNodes(), 0);

    // A node on the stack releases what it owns when it goes out of scope.
    {
        KeyValues local("local");
        local.SetInt("a/b", 1);
        local.SetNextKey(new KeyValues("later"));
        EXPECT_EQ(LiveNodes(), 3);
    }  // the fixture checks that all three went
}

TEST_F(KeyValuesTest, RemoveEverythingAndClearSpareEarlierNodes) {
    KeyValues* a = Owned(new KeyValues("a"));
    KeyValues* b = new KeyValues("b");
    KeyValues* c = new KeyValues("c");
    a->SetNextKey(b);
    b->SetNextKey(c);
    a->CreateKey("a1");
    b->CreateKey("b1");
    b->SetStringValue("text");
    c->CreateKey("c1");

    b->RemoveEverything();  // b's child, c and c's child; not a, not b itself
    EXPECT_EQ(LiveNodes(), 3);
    EXPECT_EQ(b->GetFirstSubKey(), nullptr);
    EXPECT_EQ(b->GetNextKey(), nullptr);
    EXPECT_EQ(a->GetNextKey(), b);
    EXPECT_EQ(ChildNames(a), std::vector<std::string>{"a1"});

    // Clear drops the children and makes a section, leaving later siblings alone.
    KeyValues* d = new KeyValues("d");
    b->SetNextKey(d);
    b->SetStringValue("again");
    b->SetInt("x", 1);
    b->Clear();
    EXPECT_EQ(b->GetFirstSubKey(), nullptr);
    EXPECT_EQ(b->GetDataType(), KeyValues::TYPE_NONE);
    EXPECT_STREQ(b->GetString(nullptr, "dflt"), "dflt");
    EXPECT_EQ(b->GetNextKey(), d);
    EXPECT_EQ(LiveNodes(), 4);
}

TEST_F(KeyValuesTest, FindKeyWalksPathsAndCreatesMissingSections) {
    KeyValues* root = Owned(new KeyValues("root"));
    root->SetInt(nullptr, 3);
    EXPECT_EQ(root->FindKey(""), root);
    EXPECT_EQ(root->FindKey(nullptr), root);
    EXPECT_EQ(root->GetInt(nullptr, 5), 3);

    EXPECT_EQ(root->FindKey("a/b/c"), nullptr);
    EXPECT_EQ(LiveNodes(), 1);  // looking does not create
    EXPECT_EQ(root->GetDataType(), KeyValues::TYPE_INT);

    KeyValues* c = root->FindKey("a/b/c", true);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(LiveNodes(), 4);
    EXPECT_EQ(DumpKeyValues(root), "\"root\" none\n  \"a\" none\n    \"b\" none\n      \"c\" none\n");
    EXPECT_EQ(root->FindKey("a/b/c", true), c);  // found again, nothing new
    EXPECT_EQ(root->FindKey("a/b/"), root->FindKey("a/b"));
    EXPECT_EQ(LiveNodes(), 4);

    // A new component goes after the children already there.
    root->FindKey("a/x", true);
    EXPECT_EQ(ChildNames(root->FindKey("a")), (std::vector<std::string>{"b", "x"}));

    // By symbol, only the children are searched.
    KeyValues* a = root->FindKey("a");
    EXPECT_EQ(root->FindKey(KeyValuesSystem()->GetSymbolForString("a")), a);
    EXPECT_EQ(root->FindKey(KeyValuesSystem()->GetSymbolForString("b")), nullptr);
}

TEST_F(KeyValuesTest, FindKeyMatchesLongComponentsWhole) {
    const std::string prefix(255, 'n');
    const std::string exact256(256, 'n');
    const std::string long300(300, 'n');
    KeyValues* root = Owned(new KeyValues("root"));
    // The 255-character prefix comes first, so a lookup cut at 255 characters would
    // stop there.
    root->CreateKey(prefix.c_str())->SetInt("c", 255);
    root->CreateKey(exact256.c_str())->SetInt("c", 256);
    root->CreateKey(long300.c_str())->SetInt("c", 300);

    EXPECT_EQ(root->GetInt((long300 + "/c").c_str(), -1), 300);
    EXPECT_EQ(root->GetInt((exact256 + "/c").c_str(), -1), 256);
    EXPECT_EQ(root->GetInt((prefix + "/c").c_str(), -1), 255);
    EXPECT_EQ(root->GetInt((std::string(299, 'n') + "/c").c_str(), -1), -1);
    const int nodes = LiveNodes();
    EXPECT_NE(root->FindKey((long300 + "/c").c_str(), true), nullptr);
    EXPECT_EQ(LiveNodes(), nodes);

    // Creation through a long component names the key in full.
    const std::string long1000(1000, 'z');
    root->SetInt((long1000 + "/v").c_str(), 7);
    EXPECT_EQ(std::string(root->FindKey(long1000.c_str())->GetName()), long1000);
}

TEST_F(KeyValuesTest, ChainedKeysAnswerForMissingNamesAndPaths) {
    KeyValues* base = Owned(new KeyValues("base"));
    base->SetInt("shared", 1);
    base->SetInt("sec/inner", 2);
    KeyValues* top = Owned(new KeyValues("top"));
    top->SetInt("shared", 4);
    top->ChainKeyValue(base);

    EXPECT_EQ(top->GetInt("shared"), 4);  // own children first
    EXPECT_EQ(top->GetInt("sec/inner"), 2);
    EXPECT_EQ(top->FindKey("sec/inner"), base->FindKey("sec/inner"));

    // A key found through the chain is not created again; a missing one is created
    // below the node searched, never in the chain.
    const int nodes = LiveNodes();
    EXPECT_EQ(top->FindKey("sec", true), base->FindKey("sec"));
    EXPECT_EQ(LiveNodes(), nodes);
    KeyValues* fresh = top->FindKey("fresh", true);
    EXPECT_EQ(top->FindKey("fresh"), fresh);
    EXPECT_EQ(base->FindKey("fresh"), nullptr);

    // A section further down can chain as well.
    top->FindKey("s", true)->ChainKeyValue(base->FindKey("sec"));
    EXPECT_EQ(top->GetInt("s/inner"), 2);

    // Chains that form a cycle end the search.
    base->ChainKeyValue(top);
    EXPECT_EQ(top->FindKey("nowhere"), nullptr);
    EXPECT_EQ(top->FindKey("nowhere/deeper"), nullptr);
    KeyValues* made = top->FindKey("nowhere", true);
    EXPECT_EQ(top->FindKey("nowhere"), made);
}

TEST_F(KeyValuesTest, CreateKeyAndCreateNewKeyAppendAndInheritEscapes) {
    KeyValues* parent = Owned(new KeyValues("parent"));
    parent->SetInt(nullptr, 9);
    parent->UsesEscapeSequences(true);
    KeyValues* made = parent->CreateKey("1");
    EXPECT_TRUE(made->UsesEscapeSequences());
    EXPECT_EQ(parent->GetDataType(), KeyValues::TYPE_INT);  // unchanged by CreateKey
    EXPECT_FALSE(parent->FindKey("viaPath/x", true)->UsesEscapeSequences());

    parent->CreateKey("7");
    parent->CreateKey("name");
    KeyValues* next = parent->CreateNewKey();
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next->GetName(), "8");
    EXPECT_TRUE(next->UsesEscapeSequences());
    EXPECT_EQ(ChildNames(parent), (std::vector<std::string>{"1", "viaPath", "7", "name", "8"}));

    KeyValues* empty = Owned(new KeyValues("empty"));
    EXPECT_STREQ(empty->CreateNewKey()->GetName(), "1");

    KeyValues* odd = Owned(new KeyValues("odd"));
    odd->CreateKey("-5");
    EXPECT_STREQ(odd->CreateNewKey()->GetName(), "1");  // at least 1
    odd->CreateKey("12abc");                            // leading digits count
    EXPECT_STREQ(odd->CreateNewKey()->GetName(), "13");
    odd->CreateKey("2147483647");
    const int nodes = LiveNodes();
    EXPECT_EQ(odd->CreateNewKey(), nullptr);  // no larger int name
    EXPECT_EQ(LiveNodes(), nodes);
}

TEST_F(KeyValuesTest, RemoveSubKeyUnlinksAndAddSubKeyAppends) {
    KeyValues* root = Owned(new KeyValues("root"));
    KeyValues* a = root->CreateKey("a");
    KeyValues* b = root->CreateKey("b");
    KeyValues* c = root->CreateKey("c");

    root->RemoveSubKey(b);
    EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(b->GetNextKey(), nullptr);
    root->RemoveSubKey(a);
    EXPECT_EQ(root->GetFirstSubKey(), c);
    EXPECT_EQ(a->GetNextKey(), nullptr);
    root->RemoveSubKey(nullptr);

    // Not a child: the list stays, the key's link is still cleared.
    a->SetNextKey(b);
    root->RemoveSubKey(a);
    EXPECT_EQ(a->GetNextKey(), nullptr);
    EXPECT_EQ(ChildNames(root), std::vector<std::string>{"c"});
    KeyValues* leaf = new KeyValues("leaf");

    // AddSubKey brings along whatever is chained after the key.
    a->SetNextKey(b);
    root->AddSubKey(a);
    EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"c", "a", "b"}));
    root->AddSubKey(leaf);
    EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"c", "a", "b", "leaf"}));
}

TEST_F(KeyValuesTest, IterationSeparatesSectionsFromValues) {
    KeyValues* root = Owned(new KeyValues("root"));
    EXPECT_EQ(root->GetFirstTrueSubKey(), nullptr);
    EXPECT_EQ(root->GetFirstValue(), nullptr);
    root->SetInt("v1", 1);
    root->FindKey("s1", true);
    root->SetString("v2", "");
    root->FindKey("s2/inner", true);
    root->SetPtr("v3", nullptr);

    std::vector<std::string> sections, values;
    for (KeyValues* k = root->GetFirstTrueSubKey(); k; k = k->GetNextTrueSubKey()) sections.push_back(k->GetName());
    for (KeyValues* k = root->GetFirstValue(); k; k = k->GetNextValue()) values.push_back(k->GetName());
    EXPECT_EQ(sections, (std::vector<std::string>{"s1", "s2"}));
    EXPECT_EQ(values, (std::vector<std::string>{"v1", "v2", "v3"}));
    EXPECT_EQ(root->FindKey("s2")->GetFirstValue(), nullptr);
}

TEST_F(KeyValuesTest, GettersConvertEveryStoredType) {
    KeyValues* kv = Owned(new KeyValues("kv"));
    int target = 0;
    kv->SetInt("i", -7);
    kv->SetFloat("f", -2.75f);
    kv->SetFloat("big", 1e30f);
    kv->SetFloat("nan", NAN);
    kv->SetPtr("p", &target);
    kv->SetColor("c", Color(1, 2, 3, 4));
    kv->SetUint64("u", 0xFFFFFFFFFFFFFFFFull);
    kv->SetString("s", "12abc");
    kv->SetString("huge", "99999999999");
    kv->SetString("octal", "010");  // decimal, whatever its leading zeros
    kv->SetString("hex", "0x1A");
    kv->SetString("nearMax", "2147483646");
    kv->SetString("real", "2.5e3x");
    kv->SetInt("section", 5);
    kv->FindKey("section/child", true);  // a section keeps its old 4-byte value

    const std::pair<const char*, int> ints[] = {
        {"i", -7},     {"f", -2},         {"big", INT_MAX}, {"nan", 0}, {"c", 0x04030201},
        {"s", 12},     {"huge", INT_MAX}, {"octal", 10},    {"hex", 0}, {"nearMax", 2147483646},
        {"section", 5}};
    for (const auto& c : ints) EXPECT_EQ(kv->GetInt(c.first), c.second) << c.first;
    // Saturation starts exactly at 2^31; the largest float below it converts exactly.
    const struct {
        float value;
        int truncated;
    } edges[] = {{2147483648.0f, INT_MAX}, {2147483520.0f, 2147483520}, {-2147483648.0f, INT_MIN}, {-2.5e9f, INT_MIN}};
    for (const auto& e : edges) {
        kv->SetFloat("edge", e.value);
        EXPECT_EQ(kv->GetInt("edge"), e.truncated) << e.value;
    }
    EXPECT_EQ(kv->GetInt("p"), static_cast<int>(reinterpret_cast<intptr_t>(&target)));
    EXPECT_EQ(kv->GetInt("u", 9), 0);
    EXPECT_EQ(kv->GetInt("missing", 99), 99);

    // "huge" is read as a 32-bit long.
    const std::pair<const char*, unsigned long long> uint64s[] = {
        {"i", 0xFFFFFFFFFFFFFFF9ull}, {"f", 0xFFFFFFFFFFFFFFFEull},
        {"u", 0xFFFFFFFFFFFFFFFFull}, {"octal", 10ull},
        {"huge", 2147483647ull},      {"hex", 0ull},
        {"c", 0x04030201ull}};
    for (const auto& c : uint64s) EXPECT_EQ(kv->GetUint64(c.first), c.second) << c.first;

    EXPECT_FLOAT_EQ(kv->GetFloat("i"), -7.0f);
    EXPECT_FLOAT_EQ(kv->GetFloat("f"), -2.75f);
    EXPECT_FLOAT_EQ(kv->GetFloat("u"), 18446744073709551615.0f);  // unsigned, not -1
    EXPECT_FLOAT_EQ(kv->GetFloat("real"), 2500.0f);
    EXPECT_EQ(kv->GetFloat("p", 1.0f), 0.0f);

    EXPECT_EQ(kv->GetPtr("p"), &target);
    EXPECT_EQ(kv->GetPtr("i", &target), nullptr);  // an existing key of another type
    EXPECT_EQ(kv->GetPtr("missing", &target), &target);

    // Wide text converts to nothing, with the runtime's messages.
    kv->SetWString("w", L"12");
    const wchar_t* fallback = L"fallback";
    ConsoleCapture console;
    EXPECT_EQ(kv->GetInt("w", 5), 0);
    EXPECT_EQ(console.Text(), "TODO: implement _wtoi\n");
    console.Clear();
    EXPECT_EQ(kv->GetUint64("w", 5), 0ull);
    EXPECT_NE(console.Text().find("Assertion Failed: 0"), std::string::npos);
    console.Clear();
    EXPECT_EQ(kv->GetWString("w", fallback), fallback);
    EXPECT_EQ(console.Text(), "TODO: implement wide char functions\n");
    EXPECT_EQ(kv->GetFloat("w", 1.0f), 0.0f);
    EXPECT_EQ(kv->GetColor("w"), Color());
}

TEST_F(KeyValuesTest, GetColorReadsFourNumbersAndZeroesMissingOnes) {
    KeyValues* kv = Owned(new KeyValues("kv"));
    kv->SetString("full", "255 128 0 64");
    kv->SetString("two", "1 2");
    kv->SetString("none", "");
    kv->SetString("wrap", "300.7 -1 2.9 x");
    kv->SetInt("int", 0x1FF);
    kv->SetFloat("float", 258.9f);
    kv->SetColor("color", Color(10, 20, 30, 40));

    const std::pair<const char*, Color> colors[] = {
        {"full", Color(255, 128, 0, 64)}, {"two", Color(1, 2, 0, 0)},
        {"none", Color(0, 0, 0, 0)},      {"wrap", Color(300 & 0xFF, 255, 2, 0)},  // truncated, low byte
        {"int", Color(0xFF, 0, 0, 0)},    {"float", Color(2, 0, 0, 0)},
        {"color", Color(10, 20, 30, 40)}, {"missing", Color(0, 0, 0, 0)}};
    for (const auto& c : colors) EXPECT_EQ(kv->GetColor(c.first), c.second) << c.first;
}

TEST_F(KeyValuesTest, GetStringTurnsNumbersIntoTextKeys) {
    KeyValues* kv = Owned(new KeyValues("kv"));
    kv->SetInt("x", 42);
    EXPECT_STREQ(kv->GetString("x", ""), "42");
    EXPECT_EQ(kv->GetDataType("x"), KeyValues::TYPE_STRING);
    EXPECT_FLOAT_EQ(kv->GetFloat("x", 0), 42.0f);
    const char* first = kv->GetString("x");
    EXPECT_EQ(kv->GetString("x"), first);  // converted once, then the same text

    kv->SetFloat("f", 1.5f);
    EXPECT_STREQ(kv->GetString("f", ""), "1.500000");
    kv->SetFloat("max", -3.40282347e38f);  // the longest "%f" text of a float
    EXPECT_STREQ(kv->GetString("max"), "-340282346638528859811704183484516925440.000000");

    kv->SetUint64("u", 5);
    EXPECT_STREQ(kv->GetString("u", ""), "5");
    EXPECT_EQ(kv->GetDataType("u"), KeyValues::TYPE_STRING);
    kv->SetUint64("top", 0x8000000000000000ull);
    EXPECT_STREQ(kv->GetString("top"), "-9223372036854775808");  // printed as signed

    kv->SetPtr("p", reinterpret_cast<void*>(16));
    EXPECT_STREQ(kv->GetString("p"), "16");
    EXPECT_EQ(kv->GetPtr("p"), nullptr);  // now a text key

    // Types without a text form give the default and stay as they are.
    kv->SetColor("c", Color(1, 2, 3, 4));
    kv->SetWString("w", L"wide");
    kv->FindKey("sec", true);
    EXPECT_STREQ(kv->GetString("c", "dflt"), "dflt");
    EXPECT_STREQ(kv->GetString("w", "dflt"), "dflt");
    EXPECT_STREQ(kv->GetString("sec", "dflt"), "dflt");
    EXPECT_EQ(kv->GetDataType("c"), KeyValues::TYPE_COLOR);
    EXPECT_EQ(kv->GetDataType("w"), KeyValues::TYPE_WSTRING);
    EXPECT_EQ(kv->GetString("missing", nullptr), nullptr);
}

TEST_F(KeyValuesTest, SettersReplaceValuesAndReportEmptiness) {
    KeyValues* kv = Owned(new KeyValues("kv"));
    kv->SetString("a/b", nullptr);
    EXPECT_EQ(kv->GetDataType("a/b"), KeyValues::TYPE_STRING);
    EXPECT_STREQ(kv->GetString("a/b", "dflt"), "");

    kv->SetString("s", "same text");
    kv->SetString("s", kv->GetString("s"));  // the key's own text
    EXPECT_STREQ(kv->GetString("s"), "same text");
    kv->FindKey("s")->SetStringValue("direct");
    EXPECT_STREQ(kv->GetString("s"), "direct");

    // An old text is never read again by the numeric setters.
    kv->SetInt("s", 3);
    EXPECT_STREQ(kv->GetString("s"), "3");
    kv->SetUint64("s", 77);
    EXPECT_EQ(kv->GetUint64("s"), 77ull);
    kv->SetString("s", "back");
    EXPECT_EQ(kv->GetUint64("s"), 0ull);

    EXPECT_EQ(kv->GetDataType("missing"), KeyValues::TYPE_NONE);
    EXPECT_TRUE(kv->IsEmpty("missing"));
    kv->FindKey("bare", true);
    EXPECT_TRUE(kv->IsEmpty("bare"));
    EXPECT_FALSE(kv->IsEmpty("a"));
    EXPECT_FALSE(kv->IsEmpty("s"));
    EXPECT_FALSE(kv->IsEmpty());
}

TEST_F(KeyValuesTest, ParsedNumbersKeepTheirSourceText) {
    KeyValues* root = Owned(new KeyValues("root"));
    KeyValues* sig = root->CreateKey("sig");
    sig->SetParsedFloat(558900000.0f, "5589E5");
    KeyValues* digits = root->CreateKey("digits");
    digits->SetParsedInt(INT_MAX, "5557565364711359");

    EXPECT_STREQ(root->GetString("sig"), "5589E5");
    EXPECT_EQ(root->GetDataType("sig"), KeyValues::TYPE_FLOAT);  // still a number
    EXPECT_FLOAT_EQ(root->GetFloat("sig"), 558900000.0f);
    EXPECT_EQ(root->GetInt("sig"), 558899968);  // the float nearest 5589E5, as an int
    EXPECT_STREQ(root->GetString("digits"), "5557565364711359");
    EXPECT_EQ(root->GetDataType("digits"), KeyValues::TYPE_INT);
    EXPECT_EQ(root->GetInt("digits"), INT_MAX);
    EXPECT_STREQ(sig->GetSourceText(), "5589E5");

    // Both kinds of copy keep the text.
    KeyValues* copy = Owned(root->MakeCopy());
    EXPECT_EQ(DumpKeyValues(copy, kDumpSourceText), DumpKeyValues(root, kDumpSourceText));
    EXPECT_NE(copy->GetString("sig"), root->GetString("sig"));
    KeyValues assigned("other");
    assigned = *root;
    EXPECT_STREQ(assigned.GetString("digits"), "5557565364711359");
    EXPECT_EQ(assigned.GetInt("digits"), INT_MAX);

    // Any new value drops the text.
    const std::vector<std::pair<std::function<void()>, std::string>> setters = {
        {[&] { root->SetInt("sig", 42); }, "42"},
        {[&] { root->SetFloat("sig", 0.5f); }, "0.500000"},
        {[&] { root->SetPtr("sig", nullptr); }, "0"},
        {[&] { root->SetColor("sig", Color(1, 2, 3, 4)); }, "dflt"},
        {[&] { root->SetUint64("sig", 7); }, "7"},
        {[&] { root->SetString("sig", "new"); }, "new"},
        {[&] { root->SetWString("sig", L"wide"); }, "dflt"},
        {[&] { sig->SetParsedInt(5, nullptr); }, "5"},
        {[&] { sig->Clear(); }, "dflt"},
    };
    for (size_t i = 0; i < setters.size(); ++i) {
        sig->SetParsedFloat(558900000.0f, "5589E5");
        setters[i].first();
        EXPECT_EQ(std::string(root->GetString("sig", "dflt")), setters[i].second) << "setter " << i;
        EXPECT_EQ(sig->GetSourceText(), nullptr) << "setter " << i;
    }
}

TEST_F(KeyValuesTest, MakeCopyCopiesOneSubtreeAndAssignmentCopiesLaterSiblings) {
    int target = 0;
    KeyValues* base = Owned(new KeyValues("base"));
    base->SetInt("chained", 1);
    KeyValues* root = Owned(new KeyValues("root"));
    root->UsesEscapeSequences(true);
    root->ChainKeyValue(base);
    root->SetString("s", "text");
    root->SetInt("i", 5);
    root->SetFloat("f", 0.25f);
    root->SetPtr("p", &target);
    root->SetColor("c", Color(1, 2, 3, 4));
    root->SetUint64("u", 0x0102030405060708ull);
    root->SetWString("w", L"wide");
    root->SetInt("sec/deep", 1);
    KeyValues* sibling = new KeyValues("sibling");
    sibling->SetInt("x", 2);
    root->SetNextKey(sibling);

    KeyValues* copy = Owned(root->MakeCopy());
    EXPECT_EQ(DumpKeyValues(copy), DumpKeyValues(root));  // every name, type and value
    EXPECT_EQ(copy->GetNextKey(), nullptr);
    EXPECT_FALSE(copy->UsesEscapeSequences());
    EXPECT_EQ(copy->FindKey("chained"), nullptr);
    root->SetString("s", "changed");  // the copy's text is its own
    EXPECT_STREQ(copy->GetString("s"), "text");
    EXPECT_STREQ(copy->GetString("i"), "5");
    EXPECT_STREQ(root->GetString("f"), "0.250000");  // only the original converted
    EXPECT_EQ(copy->GetDataType("f"), KeyValues::TYPE_FLOAT);

    // Assignment replaces the target and its later siblings with copies of the source
    // and its later siblings.
    KeyValues* target2 = Owned(new KeyValues("old"));
    target2->SetString("junk", "x");
    target2->SetNextKey(new KeyValues("oldSibling"));
    target2->UsesEscapeSequences(true);
    *target2 = *root;
    EXPECT_EQ(DumpKeyValues(target2, kDumpSiblings), DumpKeyValues(root, kDumpSiblings));
    EXPECT_FALSE(target2->UsesEscapeSequences());

    // A source with children and a value: MakeCopy keeps the value, assignment only the
    // children (the target stays a section).
    KeyValues* both = Owned(new KeyValues("both"));
    both->SetStringValue("value");
    both->CreateKey("k");
    KeyValues* made = Owned(both->MakeCopy());
    EXPECT_STREQ(made->GetString(nullptr, "dflt"), "value");
    KeyValues assigned("x");
    assigned = *both;
    EXPECT_STREQ(assigned.GetString(nullptr, "dflt"), "dflt");
    EXPECT_EQ(ChildNames(&assigned), std::vector<std::string>{"k"});

    // RecursiveCopyKeyValues replaces children and later siblings where the source has
    // them; a source with children leaves the target's own value, a source without takes
    // it over and leaves the target's children.
    KeyValues* into = Owned(new KeyValues("into"));
    into->SetStringValue("own");
    into->CreateKey("oldChild");
    into->SetNextKey(new KeyValues("oldSibling"));
    into->RecursiveCopyKeyValues(*root);
    EXPECT_STREQ(into->GetName(), "root");
    EXPECT_STREQ(into->GetString(nullptr, "dflt"), "own");
    EXPECT_EQ(ChildNames(into), ChildNames(root));
    EXPECT_STREQ(into->GetNextKey()->GetName(), "sibling");
    into->RecursiveCopyKeyValues(*into->FindKey("i"));  // from its own child
    EXPECT_EQ(ChildNames(into), ChildNames(root));
    EXPECT_EQ(into->GetDataType(), KeyValues::TYPE_INT);
    EXPECT_EQ(into->GetInt(nullptr), 5);
    EXPECT_STREQ(into->GetNextKey()->GetName(), "f");  // i's later siblings came along
    // A lone leaf: the siblings stay too.
    KeyValues leaf("leaf");
    leaf.SetInt(nullptr, 7);
    KeyValues* second = into->GetNextKey();
    into->RecursiveCopyKeyValues(leaf);
    EXPECT_STREQ(into->GetName(), "leaf");
    EXPECT_EQ(into->GetInt(nullptr), 7);
    EXPECT_EQ(into->GetNextKey(), second);
    EXPECT_EQ(ChildNames(into), ChildNames(root));

    // The source may lie inside the target, or be the target.
    *target2 = *target2->FindKey("sec");
    EXPECT_STREQ(target2->GetName(), "sec");
    EXPECT_EQ(target2->GetInt("deep"), 1);
    EXPECT_EQ(target2->GetNextKey(), nullptr);
    *made = *made;
    EXPECT_STREQ(made->GetName(), "both");
    EXPECT_EQ(ChildNames(made), std::vector<std::string>{"k"});

    // A source chain that comes back to the source is copied once around.
    KeyValues* ring = Owned(new KeyValues("ring"));
    KeyValues* ring2 = new KeyValues("ring2");
    ring->SetNextKey(ring2);
    ring2->SetNextKey(ring);
    assigned = *ring;
    EXPECT_STREQ(assigned.GetNextKey()->GetName(), "ring2");
    EXPECT_EQ(assigned.GetNextKey()->GetNextKey(), nullptr);
}

TEST_F(KeyValuesTest, CopySubkeysAppendsCopiesOfEachChild) {
    KeyValues* src = Owned(new KeyValues("src"));
    src->SetString("a", "1");
    src->SetInt("b/inner", 2);
    KeyValues* parent = Owned(new KeyValues("parent"));
    parent->CreateKey("keep");
    src->CopySubkeys(parent);
    EXPECT_EQ(ChildNames(parent), (std::vector<std::string>{"keep", "a", "b"}));
    EXPECT_EQ(parent->GetInt("b/inner"), 2);
    EXPECT_NE(parent->FindKey("b"), src->FindKey("b"));

    src->CopySubkeys(src);  // into itself: the copies are made first
    EXPECT_EQ(ChildNames(src), (std::vector<std::string>{"a", "b", "a", "b"}));
}

TEST_F(KeyValuesTest, DeepTreesAreCopiedAndDestroyedWithoutRecursion) {
    const int depth = 100000;
    std::string path = "k";
    for (int i = 1; i < depth; ++i) path += "/k";

    std::string leafText, copyText, assignedText, subkeyText;
    int nodesBuilt = 0;
    RunWithSmallStack(512 * 1024, [&] {
        KeyValues* root = new KeyValues("root");
        KeyValues* node = root;
        for (int i = 0; i < depth; ++i) node = node->CreateKey("k");
        node->SetStringValue("leaf");
        node->SetNextKey(new KeyValues("leafSibling"));
        nodesBuilt = LiveNodes();
        leafText = root->GetString(path.c_str(), "missing");

        KeyValues* copy = root->MakeCopy();
        copyText = copy->GetString(path.c_str(), "missing");
        KeyValues* assigned = new KeyValues("assigned");
        *assigned = *copy;
        assignedText = assigned->GetString(path.c_str(), "missing");
        KeyValues* holder = new KeyValues("holder");
        assigned->CopySubkeys(holder);
        subkeyText = holder->GetString(path.c_str(), "missing");
        holder->FindKey((path + "/x/y").c_str(), true);

        holder->deleteThis();
        assigned->RemoveEverything();
        assigned->deleteThis();
        copy->Clear();
        copy->deleteThis();
        KeyValues local("local");  // the destructor walks it on leaving
        local.AddSubKey(root);
    });
    EXPECT_EQ(leafText, "leaf");
    EXPECT_EQ(copyText, "leaf");
    EXPECT_EQ(assignedText, "leaf");
    EXPECT_EQ(subkeyText, "leaf");
    EXPECT_EQ(nodesBuilt, depth + 2);
}
