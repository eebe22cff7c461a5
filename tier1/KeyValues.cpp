// The key-value tree: node memory and names through the runtime's key-value system,
// path lookup, typed access with its conversions, and iterative destruction and copying
// (no walk here recurses, so the depth of a tree is limited only by memory).
#include "tier1/KeyValues.h"

#include <assert.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tier0/dbg.h"
#include "tier0/platform.h"
#include "tier1/KeyValuesText.h"
#include "tier1/StrTools.h"
#include "tier1/UtlVector.h"
#include "vstdlib/IKeyValuesSystem.h"

namespace {

// The runtime's report type for an assertion.
const int kSpewAssert = 2;
// Where the assertion report of GetUint64 on a wide-text key says it comes from.
const char kAssertSource[] = "../tier1/KeyValues";
const int kAssertLine = 1021;

// Size of the scratch text GetString formats numbers into; the longest result ("%f" of
// the largest float) takes 46 characters.
const int kNumberTextSize = 64;

// Owned copies of value texts and 8-byte blocks (KeyValuesText.h). The wide copies are
// made with array new and released with array delete.
using KeyValuesText::Dup;
using KeyValuesText::DupText;

wchar_t* DupWide(const wchar_t* text) {
    size_t length = wcslen(text);
    if (length > SIZE_MAX / sizeof(wchar_t) - 1) return nullptr;
    wchar_t* copy = new wchar_t[length + 1];
    memcpy(copy, text, (length + 1) * sizeof(wchar_t));
    return copy;
}

// Truncation toward zero that saturates at the int range instead of being undefined;
// NaN gives 0.
int TruncateToInt(float value) {
    if (value != value) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value < -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

unsigned long long SignExtend(int value) { return static_cast<unsigned long long>(static_cast<long long>(value)); }

// The symbol of the `length` characters at `text` (not terminated there). Components of
// any length are looked up whole: short ones through a local buffer, longer ones through
// a heap copy.
int SymbolForComponent(const char* text, size_t length) {
    char local[256];
    if (length < sizeof(local)) {
        memcpy(local, text, length);
        local[length] = '\0';
        return KeyValuesSystem()->GetSymbolForString(local);
    }
    if (length > SIZE_MAX - 1) return INVALID_KEY_SYMBOL;  // unreachable for a real text
    char* heap = new char[length + 1];
    memcpy(heap, text, length);
    heap[length] = '\0';
    int symbol = KeyValuesSystem()->GetSymbolForString(heap);
    delete[] heap;
    return symbol;
}

// Splits the first component off `path`: returns its length and sets `rest` to the text
// after the first "/", or null when there is none.
size_t SplitComponent(const char* path, const char** rest) {
    const char* slash = strchr(path, '/');
    *rest = slash ? slash + 1 : nullptr;
    return slash ? static_cast<size_t>(slash - path) : strlen(path);
}

}  // namespace

// ---- Construction and destruction ----------------------------------------------------

KeyValues::KeyValues(const char* setName) {
    Init();
    SetName(setName);
}

KeyValues::KeyValues(const char* setName, const char* firstKey, const char* firstValue) : KeyValues(setName) {
    SetString(firstKey, firstValue);
}

KeyValues::KeyValues(const char* setName, const char* firstKey, const wchar_t* firstValue) : KeyValues(setName) {
    SetWString(firstKey, firstValue);
}

KeyValues::KeyValues(const char* setName, const char* firstKey, int firstValue) : KeyValues(setName) {
    SetInt(firstKey, firstValue);
}

KeyValues::KeyValues(const char* setName, const char* firstKey, const char* firstValue, const char* secondKey,
                     const char* secondValue)
    : KeyValues(setName) {
    SetString(firstKey, firstValue);
    SetString(secondKey, secondValue);
}

KeyValues::KeyValues(const char* setName, const char* firstKey, int firstValue, const char* secondKey, int secondValue)
    : KeyValues(setName) {
    SetInt(firstKey, firstValue);
    SetInt(secondKey, secondValue);
}

KeyValues::~KeyValues() {
    // The field order of a node. The source-text flag is appended where the escape flag's
    // padding was, so a node is still nine words.
    static_assert(offsetof(KeyValues, m_iNameSymbol) == 0, "name symbol first");
    static_assert(offsetof(KeyValues, m_pszStringValue) == VL_LAYOUT(4, 8), "string value second");
    static_assert(offsetof(KeyValues, m_pwszWideValue) == VL_LAYOUT(8, 16), "wide string value third");
    static_assert(offsetof(KeyValues, m_Value) == VL_LAYOUT(12, 24), "4-byte (8 with a 64-bit pointer) value fourth");
    static_assert(offsetof(KeyValues, m_nDataType) == VL_LAYOUT(16, 32), "data type fifth");
    static_assert(offsetof(KeyValues, m_pNextKey) == VL_LAYOUT(20, 40), "next key sixth");
    static_assert(offsetof(KeyValues, m_pFirstSubKey) == VL_LAYOUT(24, 48), "first sub key seventh");
    static_assert(offsetof(KeyValues, m_pChainedKey) == VL_LAYOUT(28, 56), "chained key eighth");
    static_assert(offsetof(KeyValues, m_bUsesEscapeSequences) == VL_LAYOUT(32, 64), "escape flag ninth");
    static_assert(offsetof(KeyValues, m_bHasSourceText) == VL_LAYOUT(33, 65), "source-text flag appended");
    static_assert(sizeof(KeyValues) == VL_LAYOUT(36, 72), "a node is nine 32-bit words (nine 8-byte ones)");
    RemoveEverything();
}

void* KeyValues::operator new(size_t size) {
    assert(size == sizeof(KeyValues));
    return KeyValuesSystem()->AllocKeyValuesMemory(static_cast<int>(size));
}

void* KeyValues::operator new(size_t size, int, const char*, int) { return operator new(size); }

void KeyValues::operator delete(void* memory) {
    if (memory) KeyValuesSystem()->FreeKeyValuesMemory(memory);
}

void KeyValues::operator delete(void* memory, int, const char*, int) { operator delete(memory); }

void KeyValues::deleteThis() { delete this; }

void KeyValues::Init() {
    m_iNameSymbol = INVALID_KEY_SYMBOL;
    m_pszStringValue = nullptr;
    m_pwszWideValue = nullptr;
    memset(m_Value.color, 0, sizeof(m_Value.color));
    m_nDataType = TYPE_NONE;
    m_pNextKey = nullptr;
    m_pFirstSubKey = nullptr;
    m_pChainedKey = nullptr;
    m_bUsesEscapeSequences = false;
    m_bHasSourceText = false;
}

void KeyValues::RemoveEverything() {
    DestroyDescendants();
    DestroyLaterSiblings();
    FreeValueTexts();
}

void KeyValues::DestroyLaterSiblings() {
    KeyValues* sibling = m_pNextKey;
    m_pNextKey = nullptr;
    while (sibling && sibling != this) {
        KeyValues* after = sibling->m_pNextKey;
        sibling->m_pNextKey = nullptr;
        delete sibling;  // has no siblings now: destroys its descendants and itself
        sibling = after;
    }
}

// A post-order walk by pointer reversal: a child is unlinked from its parent's list as
// the walk enters it, and its next-key link points back to the parent until it is
// destroyed. Each node is destroyed after all of its children, and children in list
// order, which is the order a recursive destruction takes; no memory is needed.
void KeyValues::DestroyDescendants() {
    KeyValues* node = this;
    for (;;) {
        KeyValues* child = node->m_pFirstSubKey;
        if (child) {
            node->m_pFirstSubKey = child->m_pNextKey;
            child->m_pNextKey = node;
            node = child;
            continue;
        }
        if (node == this) return;
        KeyValues* parent = node->m_pNextKey;
        node->m_pNextKey = nullptr;
        delete node;  // no children and no siblings left
        node = parent;
    }
}

void KeyValues::Clear() {
    KeyValues* first = m_pFirstSubKey;
    m_pFirstSubKey = nullptr;
    delete first;  // its descendants, then the children after it, then itself
    SetDataTypeOnly(TYPE_NONE);
}

// ---- Value storage -------------------------------------------------------------------

void KeyValues::SetDataTypeOnly(DataType type) {
    m_nDataType = static_cast<signed char>(type);
    m_bHasSourceText = false;
}

void KeyValues::ReplaceValueTexts(char* text, wchar_t* wideText) {
    KeyValuesText::Free(m_pszStringValue);
    delete[] m_pwszWideValue;
    m_pszStringValue = text;
    m_pwszWideValue = wideText;
    m_bHasSourceText = false;
}

void KeyValues::FreeValueTexts() { ReplaceValueTexts(nullptr, nullptr); }

bool KeyValues::HoldsFourByteValue() const {
    return m_nDataType == TYPE_INT || m_nDataType == TYPE_FLOAT || m_nDataType == TYPE_PTR || m_nDataType == TYPE_COLOR;
}

bool KeyValues::HasSourceText() const {
    return m_bHasSourceText && (m_nDataType == TYPE_INT || (m_nDataType == TYPE_FLOAT && m_pszStringValue));
}

char* KeyValues::SourceText() {
    if (!m_pszStringValue) {
        char text[16];
        V_snprintf(text, sizeof(text), "%d", m_Value.i);
        m_pszStringValue = DupText(text);
    }
    return m_pszStringValue;
}

// Making a deferred text changes no value the node shows, so this stays a const
// operation for the caller (nodes are made with new, never as const objects).
const char* KeyValues::GetSourceText() const {
    return HasSourceText() ? const_cast<KeyValues*>(this)->SourceText() : nullptr;
}

void KeyValues::SetParsedValue(DataType type, const char* sourceText) {
    char* copy = sourceText ? DupText(sourceText) : nullptr;  // before freeing: it may be ours
    ReplaceValueTexts(copy, nullptr);
    m_nDataType = static_cast<signed char>(type);
    m_bHasSourceText = copy != nullptr;
}

void KeyValues::SetParsedInt(int value, const char* sourceText) {
    m_Value.i = value;
    SetParsedValue(TYPE_INT, sourceText);
}

void KeyValues::SetParsedFloat(float value, const char* sourceText) {
    m_Value.f = value;
    SetParsedValue(TYPE_FLOAT, sourceText);
}

// ---- Names ---------------------------------------------------------------------------

const char* KeyValues::GetName() const { return KeyValuesSystem()->GetStringForSymbol(m_iNameSymbol); }

void KeyValues::SetName(const char* setName) { m_iNameSymbol = KeyValuesSystem()->GetSymbolForString(setName); }

// ---- Finding and creating keys -------------------------------------------------------

KeyValues* KeyValues::FindKey(int keySymbol) const {
    for (KeyValues* child = m_pFirstSubKey; child; child = child->m_pNextKey) {
        if (child->m_iNameSymbol == keySymbol) return child;
    }
    return nullptr;
}

// Walks the path one component at a time. A missing component moves the search to the
// chained key with the same remaining path; Brent's cycle detection over those moves
// (the walk between two moves depends only on the node and the remaining path) ends a
// search that would go round a cycle of chained keys for ever.
KeyValues* KeyValues::FindExisting(const char* path) {
    KeyValues* node = this;
    KeyValues* savedNode = nullptr;
    const char* savedPath = nullptr;
    unsigned int power = 1, moves = 0;
    while (path && *path) {
        const char* rest;
        size_t length = SplitComponent(path, &rest);
        KeyValues* found = node->FindKey(SymbolForComponent(path, length));
        if (found) {
            node = found;
            path = rest;
            continue;
        }
        KeyValues* chained = node->m_pChainedKey;
        if (!chained || (chained == savedNode && path == savedPath)) return nullptr;
        if (++moves == power) {
            savedNode = chained;
            savedPath = path;
            power *= 2;
            moves = 0;
        }
        node = chained;
    }
    return node;
}

KeyValues* KeyValues::FindKey(const char* keyName, bool create) {
    if (!keyName || !*keyName) return this;
    if (!create) return FindExisting(keyName);

    KeyValues* node = this;
    const char* path = keyName;
    while (path && *path) {
        const char* rest;
        size_t length = SplitComponent(path, &rest);
        int symbol = SymbolForComponent(path, length);
        KeyValues* last = nullptr;
        KeyValues* found = nullptr;
        for (KeyValues* child = node->m_pFirstSubKey; child; child = child->m_pNextKey) {
            if (child->m_iNameSymbol == symbol) {
                found = child;
                break;
            }
            last = child;
        }
        if (!found && node->m_pChainedKey) {
            KeyValues* viaChain = node->m_pChainedKey->FindExisting(path);
            if (viaChain) return viaChain;
        }
        if (!found) {
            found = new KeyValues(symbol, false);
            if (last) {
                last->m_pNextKey = found;
            } else {
                node->m_pFirstSubKey = found;
            }
            node->SetDataTypeOnly(TYPE_NONE);
        }
        node = found;
        path = rest;
    }
    return node;
}

void KeyValues::AppendChildren(KeyValues* first) {
    if (!m_pFirstSubKey) {
        m_pFirstSubKey = first;
        return;
    }
    KeyValues* last = m_pFirstSubKey;
    while (last->m_pNextKey) last = last->m_pNextKey;
    last->m_pNextKey = first;
}

KeyValues* KeyValues::CreateKey(const char* keyName) {
    KeyValues* key = new KeyValues(keyName);
    key->m_bUsesEscapeSequences = m_bUsesEscapeSequences;
    AppendChildren(key);
    return key;
}

KeyValues* KeyValues::CreateNewKey() {
    int largest = 0;
    for (KeyValues* child = m_pFirstSubKey; child; child = child->m_pNextKey) {
        const int number = V_StrToInt32(child->GetName(), nullptr, 10);
        if (number > largest) largest = number;
    }
    if (largest >= INT_MAX) return nullptr;
    char name[16];
    V_snprintf(name, sizeof(name), "%d", largest + 1);
    return CreateKey(name);
}

void KeyValues::AddSubKey(KeyValues* subKey) {
    assert(subKey && subKey != this);
    if (!subKey || subKey == this) return;
    AppendChildren(subKey);
}

void KeyValues::RemoveSubKey(KeyValues* subKey) {
    if (!subKey) return;
    if (m_pFirstSubKey == subKey) {
        m_pFirstSubKey = subKey->m_pNextKey;
    } else {
        for (KeyValues* key = m_pFirstSubKey; key; key = key->m_pNextKey) {
            if (key->m_pNextKey == subKey) {
                key->m_pNextKey = subKey->m_pNextKey;
                break;
            }
        }
    }
    subKey->m_pNextKey = nullptr;
}

// ---- Iteration -----------------------------------------------------------------------

KeyValues* KeyValues::GetFirstTrueSubKey() const {
    KeyValues* key = m_pFirstSubKey;
    while (key && key->m_nDataType != TYPE_NONE) key = key->m_pNextKey;
    return key;
}

KeyValues* KeyValues::GetNextTrueSubKey() const {
    KeyValues* key = m_pNextKey;
    while (key && key->m_nDataType != TYPE_NONE) key = key->m_pNextKey;
    return key;
}

KeyValues* KeyValues::GetFirstValue() const {
    KeyValues* key = m_pFirstSubKey;
    while (key && key->m_nDataType == TYPE_NONE) key = key->m_pNextKey;
    return key;
}

KeyValues* KeyValues::GetNextValue() const {
    KeyValues* key = m_pNextKey;
    while (key && key->m_nDataType == TYPE_NONE) key = key->m_pNextKey;
    return key;
}

// ---- Typed getters -------------------------------------------------------------------

namespace {
unsigned long long BlockValue(const char* block) {
    unsigned long long value = 0;
    if (block) memcpy(&value, block, sizeof(value));
    return value;
}
}  // namespace

int KeyValues::GetInt(const char* keyName, int defaultValue) {
    KeyValues* key = FindKey(keyName, false);
    if (!key) return defaultValue;
    switch (key->m_nDataType) {
        case TYPE_STRING:
            return key->m_pszStringValue ? V_StrToInt32(key->m_pszStringValue, nullptr, 10) : 0;
        case TYPE_INT: return key->m_Value.i;
        case TYPE_FLOAT: return TruncateToInt(key->m_Value.f);
        case TYPE_WSTRING: DevMsg("TODO: implement _wtoi\n"); return 0;
        case TYPE_UINT64: return 0;
        default: return key->m_Value.i;  // TYPE_NONE, TYPE_PTR, TYPE_COLOR, unknown codes
    }
}

unsigned long long KeyValues::GetUint64(const char* keyName, unsigned long long defaultValue) {
    KeyValues* key = FindKey(keyName, false);
    if (!key) return defaultValue;
    switch (key->m_nDataType) {
        case TYPE_STRING:
            return key->m_pszStringValue ? SignExtend(V_StrToInt32(key->m_pszStringValue, nullptr, 10)) : 0;
        case TYPE_INT: return SignExtend(key->m_Value.i);
        case TYPE_FLOAT: return SignExtend(TruncateToInt(key->m_Value.f));
        case TYPE_WSTRING:
            _SpewInfo(kSpewAssert, kAssertSource, kAssertLine);
            _SpewMessage("Assertion Failed: 0");
            return 0;
        case TYPE_UINT64: return BlockValue(key->m_pszStringValue);
        default: return SignExtend(key->m_Value.i);
    }
}

float KeyValues::GetFloat(const char* keyName, float defaultValue) {
    KeyValues* key = FindKey(keyName, false);
    if (!key) return defaultValue;
    switch (key->m_nDataType) {
        // Narrowed with the platform's IEEE rounding: beyond the float range is infinity.
        case TYPE_STRING:
            return key->m_pszStringValue ? static_cast<float>(strtod(key->m_pszStringValue, nullptr)) : 0.0f;
        case TYPE_INT: return static_cast<float>(key->m_Value.i);
        case TYPE_FLOAT: return key->m_Value.f;
        case TYPE_UINT64: return static_cast<float>(BlockValue(key->m_pszStringValue));
        default: return 0.0f;
    }
}

const char* KeyValues::GetString(const char* keyName, const char* defaultValue) {
    KeyValues* key = FindKey(keyName, false);
    if (!key) return defaultValue;
    char text[kNumberTextSize];
    switch (key->m_nDataType) {
        case TYPE_STRING: return key->m_pszStringValue ? key->m_pszStringValue : "";
        case TYPE_INT:
            if (key->HasSourceText()) return key->SourceText();
            V_snprintf(text, sizeof(text), "%d", key->m_Value.i);
            break;
        case TYPE_FLOAT:
            if (key->HasSourceText()) return key->m_pszStringValue;
            V_snprintf(text, sizeof(text), "%f", static_cast<double>(key->m_Value.f));
            break;
        case TYPE_PTR: V_snprintf(text, sizeof(text), "%d", key->m_Value.i); break;
        case TYPE_UINT64:
            V_snprintf(text, sizeof(text), "%lld", static_cast<long long>(BlockValue(key->m_pszStringValue)));
            break;
        default: return defaultValue;  // TYPE_NONE, TYPE_WSTRING, TYPE_COLOR, unknown codes
    }
    // The key becomes a text key holding the number's text (for TYPE_UINT64 this frees
    // the 8-byte block).
    char* copy = DupText(text);
    key->ReplaceValueTexts(copy, nullptr);
    key->SetDataTypeOnly(TYPE_STRING);
    return key->m_pszStringValue;
}

const wchar_t* KeyValues::GetWString(const char* keyName, const wchar_t* defaultValue) {
    FindKey(keyName, false);
    DevMsg("TODO: implement wide char functions\n");
    return defaultValue;
}

void* KeyValues::GetPtr(const char* keyName, void* defaultValue) {
    KeyValues* key = FindKey(keyName, false);
    if (!key) return defaultValue;
    return key->m_nDataType == TYPE_PTR ? key->m_Value.p : nullptr;
}

Color KeyValues::GetColor(const char* keyName) {
    KeyValues* key = FindKey(keyName, false);
    if (!key) return Color();
    switch (key->m_nDataType) {
        case TYPE_COLOR:
            return Color(key->m_Value.color[0], key->m_Value.color[1], key->m_Value.color[2], key->m_Value.color[3]);
        case TYPE_STRING: {
            float parts[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // components without a number stay 0
            if (key->m_pszStringValue)
                sscanf(key->m_pszStringValue, "%f %f %f %f", &parts[0], &parts[1], &parts[2], &parts[3]);
            return Color(TruncateToInt(parts[0]), TruncateToInt(parts[1]), TruncateToInt(parts[2]),
                         TruncateToInt(parts[3]));
        }
        case TYPE_INT: return Color(key->m_Value.i, 0, 0, 0);
        case TYPE_FLOAT: return Color(TruncateToInt(key->m_Value.f), 0, 0, 0);
        default: return Color();
    }
}

// ---- Typed setters -------------------------------------------------------------------

void KeyValues::SetInt(const char* keyName, int value) {
    KeyValues* key = FindKey(keyName, true);
    if (!key) return;
    key->m_Value.i = value;
    key->SetDataTypeOnly(TYPE_INT);
}

void KeyValues::SetFloat(const char* keyName, float value) {
    KeyValues* key = FindKey(keyName, true);
    if (!key) return;
    key->m_Value.f = value;
    key->SetDataTypeOnly(TYPE_FLOAT);
}

void KeyValues::SetPtr(const char* keyName, void* value) {
    KeyValues* key = FindKey(keyName, true);
    if (!key) return;
    key->m_Value.p = value;
    key->SetDataTypeOnly(TYPE_PTR);
}

void KeyValues::SetColor(const char* keyName, Color value) {
    KeyValues* key = FindKey(keyName, true);
    if (!key) return;
    for (int i = 0; i < 4; ++i) key->m_Value.color[i] = value[i];
    key->SetDataTypeOnly(TYPE_COLOR);
}

void KeyValues::SetString(const char* keyName, const char* value) {
    char* copy = DupText(value ? value : "");  // first: `value` may be the key's own text
    KeyValues* key = FindKey(keyName, true);
    if (!key) {
        KeyValuesText::Free(copy);
        return;
    }
    key->ReplaceValueTexts(copy, nullptr);
    key->SetDataTypeOnly(TYPE_STRING);
}

void KeyValues::SetStringValue(const char* value) { SetString(nullptr, value); }

void KeyValues::SetWString(const char* keyName, const wchar_t* value) {
    wchar_t* copy = DupWide(value ? value : L"");
    if (!copy) return;
    KeyValues* key = FindKey(keyName, true);
    if (!key) {
        delete[] copy;
        return;
    }
    key->ReplaceValueTexts(nullptr, copy);
    key->SetDataTypeOnly(TYPE_WSTRING);
}

void KeyValues::SetUint64(const char* keyName, unsigned long long value) {
    KeyValues* key = FindKey(keyName, true);
    if (!key) return;
    key->ReplaceValueTexts(Dup(&value, sizeof(value)), nullptr);
    key->SetDataTypeOnly(TYPE_UINT64);
}

KeyValues::DataType KeyValues::GetDataType(const char* keyName) {
    KeyValues* key = FindKey(keyName, false);
    return key ? static_cast<DataType>(key->m_nDataType) : TYPE_NONE;
}

bool KeyValues::IsEmpty(const char* keyName) {
    KeyValues* key = FindKey(keyName, false);
    return !key || (key->m_nDataType == TYPE_NONE && !key->m_pFirstSubKey);
}

// ---- Copying -------------------------------------------------------------------------

// MakeCopy copies the value of every node, including the 4-byte value of any type.
// Assignment copies the value only of nodes without children, and the 4-byte value only
// of the types that hold one. A kept source text is copied by both. Assignment stores no
// text beside a plain number: GetString formats the same text from the value on demand.
void KeyValues::CopyNodeFrom(const KeyValues& src, bool forAssignment) {
    m_iNameSymbol = src.m_iNameSymbol;
    if (forAssignment && src.m_pFirstSubKey) return;

    char* text = nullptr;
    wchar_t* wideText = nullptr;
    bool sourceText = false;
    switch (src.m_nDataType) {
        case TYPE_STRING:
            if (src.m_pszStringValue) text = DupText(src.m_pszStringValue);
            break;
        case TYPE_INT:
        case TYPE_FLOAT:
            if (src.HasSourceText()) {
                // A deferred "%d" text stays deferred in the copy.
                text = src.m_pszStringValue ? DupText(src.m_pszStringValue) : nullptr;
                sourceText = true;
            }
            break;
        case TYPE_UINT64:
            if (src.m_pszStringValue) text = Dup(src.m_pszStringValue, sizeof(unsigned long long));
            break;
        case TYPE_WSTRING:
            if (src.m_pwszWideValue) wideText = DupWide(src.m_pwszWideValue);
            break;
        default: break;
    }
    if (!forAssignment || src.HoldsFourByteValue()) memcpy(&m_Value, &src.m_Value, sizeof(m_Value));
    ReplaceValueTexts(text, wideText);  // after the copies: `src` may be this node
    m_nDataType = src.m_nDataType;
    m_bHasSourceText = sourceText;
}

// A pre-order walk with an explicit stack of the (source, copy) pairs whose children are
// being copied: a node, then its children in order, then its next sibling, the order in
// which a recursive copy makes the nodes. Siblings of the source root itself are copied
// only for assignment, and a root chain that comes back to the root is copied once.
void KeyValues::CopyTreeFrom(const KeyValues& srcRoot, bool forAssignment) {
    struct Level {
        const KeyValues* src;
        KeyValues* dst;
    };
    CUtlVector<Level> parents;
    const KeyValues* src = &srcRoot;
    KeyValues* dst = this;
    for (;;) {
        dst->CopyNodeFrom(*src, forAssignment);
        if (src->m_pFirstSubKey) {
            parents.AddToTail(Level{src, dst});
            dst->m_pFirstSubKey = new KeyValues(INVALID_KEY_SYMBOL, false);
            src = src->m_pFirstSubKey;
            dst = dst->m_pFirstSubKey;
            continue;
        }
        for (;;) {
            const KeyValues* next = src->m_pNextKey;
            bool atRoot = parents.Count() == 0;
            if (next && (!atRoot || (forAssignment && next != &srcRoot))) {
                dst->m_pNextKey = new KeyValues(INVALID_KEY_SYMBOL, false);
                src = next;
                dst = dst->m_pNextKey;
                break;
            }
            if (atRoot) return;
            Level up = parents[parents.Count() - 1];
            parents.Remove(parents.Count() - 1);
            src = up.src;
            dst = up.dst;
        }
    }
}

KeyValues* KeyValues::MakeCopy() const {
    KeyValues* copy = new KeyValues(INVALID_KEY_SYMBOL, false);
    copy->CopyTreeFrom(*this, false);
    return copy;
}

void KeyValues::CopySubkeys(KeyValues* parent) const {
    assert(parent);
    if (!parent) return;
    KeyValues* first = nullptr;
    KeyValues* last = nullptr;
    for (KeyValues* child = m_pFirstSubKey; child; child = child->m_pNextKey) {
        KeyValues* copy = child->MakeCopy();
        if (last) {
            last->m_pNextKey = copy;
        } else {
            first = copy;
        }
        last = copy;
    }
    if (first) parent->AppendChildren(first);
}

void KeyValues::RecursiveCopyKeyValues(const KeyValues& src) {
    const bool srcHasChildren = src.m_pFirstSubKey != nullptr;
    KeyValues* copy = new KeyValues(INVALID_KEY_SYMBOL, false);
    copy->CopyTreeFrom(src, true);  // first: `src` may lie among the nodes replaced below
    // Only what the source has is replaced; the replaced nodes are freed, not dropped.
    if (copy->m_pFirstSubKey) {
        DestroyDescendants();
        m_pFirstSubKey = copy->m_pFirstSubKey;
    }
    if (copy->m_pNextKey) {
        DestroyLaterSiblings();
        m_pNextKey = copy->m_pNextKey;
    }
    m_iNameSymbol = copy->m_iNameSymbol;
    if (!srcHasChildren) {
        ReplaceValueTexts(copy->m_pszStringValue, copy->m_pwszWideValue);
        copy->m_pszStringValue = nullptr;
        copy->m_pwszWideValue = nullptr;
        if (copy->HoldsFourByteValue()) m_Value = copy->m_Value;
        m_nDataType = copy->m_nDataType;
        m_bHasSourceText = copy->m_bHasSourceText;
    }
    copy->Init();  // owns nothing any more
    delete copy;
}

void KeyValues::TakeFieldsFrom(KeyValues& other) {
    m_iNameSymbol = other.m_iNameSymbol;
    m_pszStringValue = other.m_pszStringValue;
    m_pwszWideValue = other.m_pwszWideValue;
    memcpy(m_Value.color, other.m_Value.color, sizeof(m_Value.color));
    m_nDataType = other.m_nDataType;
    m_pNextKey = other.m_pNextKey;
    m_pFirstSubKey = other.m_pFirstSubKey;
    m_pChainedKey = other.m_pChainedKey;
    m_bUsesEscapeSequences = other.m_bUsesEscapeSequences;
    m_bHasSourceText = other.m_bHasSourceText;
    other.Init();
}

KeyValues& KeyValues::operator=(const KeyValues& src) {
    KeyValues* copy = new KeyValues(INVALID_KEY_SYMBOL, false);
    copy->CopyTreeFrom(src, true);  // first: `src` may lie among the nodes destroyed next
    RemoveEverything();
    TakeFieldsFrom(*copy);  // every field, so escapes end off and the chained key null
    delete copy;            // cleared: owns nothing any more
    return *this;
}
