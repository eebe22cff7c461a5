// The registry list of console objects and the behaviour of commands and variables:
// linking at creation, registration through the accessor, list-wide operations, command
// dispatch, and variable values with bounds, change callbacks and host notification.
#include "tier1/Convar.h"

#include <assert.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "tier0/dbg.h"
#include "tier1/StrTools.h"
#include "vstdlib/IEngineCvar.h"

namespace {

const char kEmptyString[] = "";

// Size of a buffer holding `text` and its terminator. A text too long for an int size is
// fatal: nothing can hold it, and going on would overflow the size arithmetic.
int TextBufferSize(const char* text) {
    size_t length = strlen(text);
    if (length >= static_cast<size_t>(INT_MAX)) {
        Error("ConVar: text of %u characters is too long\n", static_cast<unsigned int>(length));
        abort();  // Error does not return; this only keeps a returning handler from going on.
    }
    return static_cast<int>(length) + 1;
}

// Truncation toward zero; values outside the int range and NaN give INT_MIN, which is
// what the processor's own conversion yields, without relying on undefined behaviour.
int TruncateToInt(float value) {
    if (value >= -2147483648.0f && value < 2147483648.0f) return static_cast<int>(value);
    return INT_MIN;
}

#ifndef NDEBUG
bool IsListed(const ConCommandBase* object) {
    for (const ConCommandBase* it = ConCommandBase::GetCommands(); it; it = it->GetNext()) {
        if (it == object) return true;
    }
    return false;
}
#endif

}  // namespace

// ---- ConCommandBase ------------------------------------------------------------------

ConCommandBase* ConCommandBase::s_pConCommandBases = nullptr;
IConCommandBaseAccessor* ConCommandBase::s_pAccessor = nullptr;

ConCommandBase::ConCommandBase() {}

ConCommandBase::ConCommandBase(const char* name, const char* helpText, int flags) : ConCommandBase() {
    Create(name, helpText, flags);
}

ConCommandBase::~ConCommandBase() {}

bool ConCommandBase::IsCommand() const { return true; }

bool ConCommandBase::IsBitSet(int flag) const { return (m_nFlags & flag) != 0; }

void ConCommandBase::AddFlags(int flags) { m_nFlags |= flags; }

const char* ConCommandBase::GetName() const { return m_pName; }

const char* ConCommandBase::GetHelpText() const { return m_pHelpText; }

bool ConCommandBase::IsRegistered() const { return m_bRegistered; }

void ConCommandBase::Create(const char* name, const char* helpText, int flags) {
    m_bRegistered = false;
    m_pName = name;
    m_pHelpText = helpText ? helpText : kEmptyString;
    m_nFlags = flags;

    if (flags & FCVAR_UNLISTED) {
        m_pNext = nullptr;
    } else {
        AddToList(this);
    }

    if (s_pAccessor) Init();
}

void ConCommandBase::Init() {
    if (!s_pAccessor || m_bRegistered) return;
    s_pAccessor->RegisterConCommandBase(this);  // the result is deliberately ignored
    m_bRegistered = true;
}

char* ConCommandBase::CopyString(const char* from) {
    int size = TextBufferSize(from);
    if (size <= 1) {
        char* empty = new char[1];
        empty[0] = '\0';
        return empty;
    }
    char* copy = new char[size];
    V_strncpy(copy, from, size);
    return copy;
}

void ConCommandBase::AddToList(ConCommandBase* object) {
    assert(!IsListed(object));
    object->m_pNext = s_pConCommandBases;
    s_pConCommandBases = object;
}

const ConCommandBase* ConCommandBase::FindCommand(const char* name) {
    if (!name) return nullptr;
    for (const ConCommandBase* it = s_pConCommandBases; it; it = it->m_pNext) {
        const char* itName = it->GetName();
        if (itName && strcasecmp(name, itName) == 0) return it;
    }
    return nullptr;
}

void ConCommandBase::RemoveFlaggedCommands(int flag) {
    ConCommandBase* kept = nullptr;
    ConCommandBase* it = s_pConCommandBases;
    while (it) {
        ConCommandBase* next = it->m_pNext;
        if (it->m_nFlags & flag) {
            it->m_pNext = nullptr;
        } else {
            it->m_pNext = kept;
            kept = it;
        }
        it = next;
    }
    s_pConCommandBases = kept;
}

void ConCommandBase::RevertFlaggedCvars(int flag) {
    for (ConCommandBase* it = s_pConCommandBases; it; it = it->m_pNext) {
        if (it->IsCommand() || !it->IsBitSet(flag)) continue;
        // Every listed object that is not a command is a variable.
        ConVar* variable = static_cast<ConVar*>(it);
        if (V_strcasecmp(variable->GetDefault(), variable->GetString()) != 0) variable->Revert();
    }
}

void ConCommandBaseMgr::OneTimeInit(IConCommandBaseAccessor* accessor) {
    ConCommandBase::s_pAccessor = accessor;
    ConCommandBase* it = ConCommandBase::s_pConCommandBases;
    while (it) {
        // Registration may relink the object, so its successor is read first.
        ConCommandBase* next = it->m_pNext;
        it->Init();
        it = next;
    }
}

// ---- ConCommand ----------------------------------------------------------------------

int DefaultCompletionFunc(const char*, char (*)[kCompletionEntrySize]) { return 0; }

ConCommand::ConCommand(const char* name, CommandCallbackFn callback, const char* helpText, int flags,
                       CompletionCallbackFn completionFunc) {
    Create(name, callback, helpText, flags, completionFunc);
}

ConCommand::~ConCommand() {}

bool ConCommand::IsCommand() const { return true; }

int ConCommand::AutoCompleteSuggest(const char* partial, char (*commands)[kCompletionEntrySize]) {
    if (!m_pCompletionCallback) return 0;
    return m_pCompletionCallback(partial, commands);
}

bool ConCommand::CanAutoComplete() { return m_bHasCompletionCallback; }

void ConCommand::Dispatch() {
    if (m_pCommandCallback) m_pCommandCallback();
}

void ConCommand::Create(const char* name, CommandCallbackFn callback, const char* helpText, int flags,
                        CompletionCallbackFn completionFunc) {
    m_bRegistered = false;
    m_pCommandCallback = callback;
    m_pCompletionCallback = completionFunc ? completionFunc : DefaultCompletionFunc;
    m_bHasCompletionCallback = completionFunc != nullptr;
    ConCommandBase::Create(name, helpText, flags);
}

// ---- ConVar --------------------------------------------------------------------------
ConVar::ConVar(const char* name, const char* defaultValue, int flags) {
    Create(name, defaultValue, flags, nullptr, false, 0.0f, false, 0.0f, nullptr);
}

ConVar::ConVar(const char* name, const char* defaultValue, int flags, const char* helpText) {
    Create(name, defaultValue, flags, helpText, false, 0.0f, false, 0.0f, nullptr);
}

ConVar::ConVar(const char* name, const char* defaultValue, int flags, const char* helpText, bool hasMin, float min,
               bool hasMax, float max) {
    Create(name, defaultValue, flags, helpText, hasMin, min, hasMax, max, nullptr);
}

ConVar::ConVar(const char* name, const char* defaultValue, int flags, const char* helpText, ChangeCallbackFn callback) {
    Create(name, defaultValue, flags, helpText, false, 0.0f, false, 0.0f, callback);
}

ConVar::ConVar(const char* name, const char* defaultValue, int flags, const char* helpText, bool hasMin, float min,
               bool hasMax, float max, ChangeCallbackFn callback) {
    Create(name, defaultValue, flags, helpText, hasMin, min, hasMax, max, callback);
}

ConVar::~ConVar() {
    if (m_pStringValue) {
        delete[] m_pStringValue;
        m_pStringValue = nullptr;
    }
}

bool ConVar::IsCommand() const { return false; }

bool ConVar::IsBitSet(int flag) const { return (m_pParent->m_nFlags & flag) != 0; }

void ConVar::AddFlags(int flags) { m_pParent->m_nFlags |= flags; }

const char* ConVar::GetName() const { return m_pParent->m_pName; }

const char* ConVar::GetHelpText() const { return m_pParent->m_pHelpText; }

bool ConVar::IsRegistered() const { return m_pParent->m_bRegistered; }

void ConVar::Init() { ConCommandBase::Init(); }

void ConVar::SetValue(const char* value) { m_pParent->InternalSetValue(value); }

void ConVar::SetValue(float value) { m_pParent->InternalSetFloatValue(value); }

void ConVar::SetValue(int value) { m_pParent->InternalSetIntValue(value); }

void ConVar::InternalSetValue(const char* value) {
    if (!value) value = kEmptyString;
    float f = static_cast<float>(strtod(value, nullptr));

    char clamped[32];
    const char* text = value;
    if (ClampValue(f)) {
        V_snprintf(clamped, sizeof(clamped), "%f", static_cast<double>(f));
        text = clamped;
    }

    m_flFloatValue = f;
    m_nIntValue = TruncateToInt(f);
    if (!(m_nFlags & FCVAR_NEVER_AS_STRING)) ChangeStringValue(text);
}

void ConVar::InternalSetFloatValue(float value) {
    if (value == m_flFloatValue) return;
    ClampValue(value);

    m_flFloatValue = value;
    m_nIntValue = TruncateToInt(value);
    if (!(m_nFlags & FCVAR_NEVER_AS_STRING)) {
        char text[32];
        V_snprintf(text, sizeof(text), "%f", static_cast<double>(value));
        ChangeStringValue(text);
    }
}

void ConVar::InternalSetIntValue(int value) {
    if (value == m_nIntValue) return;
    float f = static_cast<float>(value);
    if (ClampValue(f)) value = TruncateToInt(f);

    m_flFloatValue = f;
    m_nIntValue = value;
    if (!(m_nFlags & FCVAR_NEVER_AS_STRING)) {
        char text[32];
        V_snprintf(text, sizeof(text), "%d", value);
        ChangeStringValue(text);
    }
}

bool ConVar::ClampValue(float& value) {
    if (m_bHasMin && m_flMinValue > value) {
        value = m_flMinValue;
        return true;
    }
    if (m_bHasMax && m_flMaxValue < value) {
        value = m_flMaxValue;
        return true;
    }
    return false;
}

void ConVar::ChangeStringValue(const char* text) {
    // The previous text, whole buffer included, outlives both notifications below.
    std::unique_ptr<char[]> previous;
    if (m_pStringValue) {
        previous.reset(new char[m_nStringLength]);
        memcpy(previous.get(), m_pStringValue, static_cast<size_t>(m_nStringLength));
    }
    const char* oldValue = previous ? previous.get() : kEmptyString;

    int size = TextBufferSize(text);
    if (size > m_nStringLength) {
        // `text` cannot lie in the old buffer here: it is longer than that buffer holds.
        delete[] m_pStringValue;
        m_pStringValue = new char[size];
        m_nStringLength = size;
    }
    // `text` may be (part of) the current text, so the copy must allow overlap.
    memmove(m_pStringValue, text, static_cast<size_t>(size));

    if (m_pChangeCallback) m_pChangeCallback(this, oldValue);
    if (IEngineCvar* hostConsole = GetCVarIF()) hostConsole->NotifyGlobalChange(this, oldValue);
}

void ConVar::Create(const char* name, const char* defaultValue, int flags, const char* helpText, bool hasMin, float min,
                    bool hasMax, float max, ChangeCallbackFn callback) {
    m_pParent = this;
    m_pDefaultValue = defaultValue ? defaultValue : kEmptyString;

    int size = TextBufferSize(m_pDefaultValue);
    delete[] m_pStringValue;
    m_pStringValue = new char[size];
    memcpy(m_pStringValue, m_pDefaultValue, static_cast<size_t>(size));
    m_nStringLength = size;

    m_bHasMin = hasMin;
    m_flMinValue = min;
    m_bHasMax = hasMax;
    m_flMaxValue = max;
    m_pChangeCallback = callback;

    m_flFloatValue = static_cast<float>(strtod(m_pStringValue, nullptr));
    m_nIntValue = TruncateToInt(m_flFloatValue);

    ConCommandBase::Create(name, helpText, flags);
}

const char* ConVar::GetDefault() const { return m_pParent->m_pDefaultValue; }

bool ConVar::GetMin(float& min) const {
    min = m_pParent->m_flMinValue;
    return m_pParent->m_bHasMin;
}

bool ConVar::GetMax(float& max) const {
    max = m_pParent->m_flMaxValue;
    return m_pParent->m_bHasMax;
}

void ConVar::Revert() { m_pParent->SetValue(m_pParent->m_pDefaultValue); }

void ConVar::RevertAll() {
    for (ConCommandBase* it = GetCommands(); it; it = it->GetNext()) {
        if (it->IsCommand()) continue;
        static_cast<ConVar*>(it)->Revert();
    }
}

void ConVar::InstallChangeCallback(ChangeCallbackFn callback) {
    m_pChangeCallback = callback;
    if (callback) callback(this, m_pStringValue ? m_pStringValue : kEmptyString);
}
