// Console objects: named commands and variables that the plugin declares as static
// objects, the process-wide list that collects them during static construction, and the
// hand-over of every listed object to the host console once an accessor is installed.
//
// The host console calls registered objects only through their virtual tables, by
// position, so the order of the virtual functions below is part of the binary interface
// with the host and must not change. With the Itanium C++ ABI (i386 and x86-64 alike)
// the slots are:
//
//   ConCommandBase             ConCommand                      ConVar
//    0 ~dtor (complete)         0-9 as ConCommandBase           0-9 as ConCommandBase
//    1 ~dtor (deleting)        10 AutoCompleteSuggest          10 SetValue(const char*)
//    2 IsCommand               11 CanAutoComplete              11 SetValue(float)
//    3 IsBitSet                12 Dispatch                     12 SetValue(int)
//    4 AddFlags                13 Create(name, callback,       13 InternalSetValue
//    5 GetName                       help, flags, completion)  14 InternalSetFloatValue
//    6 GetHelpText                                             15 InternalSetIntValue
//    7 IsRegistered                                            16 ClampValue
//    8 Create(name, help, flags)                               17 ChangeStringValue
//    9 Init                                                    18 Create(all nine arguments)
//
// Everything here runs on the host's main thread; nothing is locked.
#pragma once

#include "tier0/platform.h"

// ---- Flags -------------------------------------------------------------------------
// The flags word is shared with the host console. Only these two bits mean anything
// here; every other bit is stored and handed on to the host unchanged.

// Not linked into the registry list at creation (it is still handed to an installed
// accessor at once).
constexpr int FCVAR_UNLISTED = 0x1;
// The variable keeps no text form of its value: its text stays frozen at what it held
// and reads as "FCVAR_NEVER_AS_STRING", while its float and int values still change.
constexpr int FCVAR_NEVER_AS_STRING = 0x1000;

class ConCommandBase;
class ConVar;

// Size of one entry of the host's completion array, terminator included.
constexpr int kCompletionEntrySize = 64;

// Runs a command; the command reads its own arguments from the host.
using CommandCallbackFn = void (*)();
// Writes suggestions for the partly typed `partial` into `commands` and returns how many
// it wrote. How many entries the array holds is the host's business.
using CompletionCallbackFn = int (*)(const char* partial, char (*commands)[kCompletionEntrySize]);
// Told after each change of a variable's text, with the text it held before.
using ChangeCallbackFn = void (*)(ConVar* variable, const char* oldValue);

// Receives console objects for the host console. Implemented by the plugin; the registry
// ignores the result of the call.
class IConCommandBaseAccessor {
public:
    virtual bool RegisterConCommandBase(ConCommandBase* object) = 0;

protected:
    ~IConCommandBaseAccessor() = default;
};

// The root of every console object, and the registry list.
//
// Ownership: the name and help text are borrowed, not copied; their creator keeps them
// alive for the object's lifetime. An object must stay alive while it is listed or
// registered with the host: destruction neither unlinks nor unregisters it. In real use
// every object is static and lives until the library unloads.
class ConCommandBase {
public:
    // An object with every field empty (no name, help text null, flags 0, not listed).
    ConCommandBase();
    // Runs exactly the steps of Create. Being a constructor, the Init it may run is this
    // class's, not a derived one's.
    ConCommandBase(const char* name, const char* helpText = nullptr, int flags = 0);

    virtual ~ConCommandBase();
    virtual bool IsCommand() const;
    // True when the flags share any bit with `flag`.
    virtual bool IsBitSet(int flag) const;
    virtual void AddFlags(int flags);
    virtual const char* GetName() const;
    // The help text as given, or "" when none was given; never null after creation.
    virtual const char* GetHelpText() const;
    virtual bool IsRegistered() const;
    // Fills the object, pushes it on the front of the registry list unless `flags` has
    // FCVAR_UNLISTED, and registers it at once (through the virtual Init) when an
    // accessor is installed. Precondition: the object is not on the list already; linking
    // it twice would make the list loop (checked by an assertion in debug builds).
    virtual void Create(const char* name, const char* helpText = nullptr, int flags = 0);
    // Hands the object to the installed accessor, once: nothing happens without an
    // accessor or when the object is registered already. The object counts as registered
    // afterwards whatever the accessor returned.
    virtual void Init();

    ConCommandBase* GetNext() const { return m_pNext; }
    // Relinks the object; the plugin's accessor takes each object off the list this way
    // while registering it.
    void SetNext(ConCommandBase* next) { m_pNext = next; }

    // A new heap copy of `from` (which must not be null), owned by the caller and freed
    // with delete[]; "" gives a new one-byte empty string.
    static char* CopyString(const char* from);

    // Head of the registry list: the listed objects, most recently created first.
    static ConCommandBase* GetCommands() { return s_pConCommandBases; }
    // Pushes `object` on the front of the list without looking at its flags and without
    // registering it. Precondition as for Create: it must not be listed already.
    static void AddToList(ConCommandBase* object);
    // The first listed object whose name equals `name` ignoring case (strcasecmp), or
    // null. A null `name` finds nothing, and an object without a name never matches.
    static const ConCommandBase* FindCommand(const char* name);
    // Takes off the list every object whose own flags share a bit with `flag`, and sets
    // their `next` to null; they are neither destroyed nor unregistered from the host.
    // The survivors come out in reverse order (so a `flag` of 0 only reverses the list).
    static void RemoveFlaggedCommands(int flag);
    // Sets every listed variable for which IsBitSet(flag) holds back to its default,
    // unless its text already equals the default ignoring case (V_strcasecmp). Commands
    // are skipped. A variable flagged FCVAR_NEVER_AS_STRING reads as that literal and is
    // therefore always set back.
    static void RevertFlaggedCvars(int flag);

protected:
    // Only the registry, ConCommandBaseMgr and the objects themselves change these.
    static ConCommandBase* s_pConCommandBases;
    static IConCommandBaseAccessor* s_pAccessor;

    ConCommandBase* m_pNext = nullptr;
    bool m_bRegistered = false;
    const char* m_pName = nullptr;
    const char* m_pHelpText = nullptr;
    int m_nFlags = 0;

    friend class ConCommandBaseMgr;
};

// A named console command: the function the host runs, and optionally a function that
// proposes completions. Its fields do not change after creation.
class ConCommand : public ConCommandBase {
public:
    // Runs the steps of Create. A null `completionFunc` means the command offers no
    // completion (DefaultCompletionFunc stands in for it).
    ConCommand(const char* name, CommandCallbackFn callback, const char* helpText = nullptr, int flags = 0,
               CompletionCallbackFn completionFunc = nullptr);

    ~ConCommand() override;
    bool IsCommand() const override;

    // The completion function's count for the same arguments; the array is passed on
    // untouched. Without a completion function of its own the command writes nothing and
    // returns 0.
    virtual int AutoCompleteSuggest(const char* partial, char (*commands)[kCompletionEntrySize]);
    // True exactly when a completion function was given at creation.
    virtual bool CanAutoComplete();
    // Runs the command function; with none, does nothing.
    virtual void Dispatch();
    // Stores the two functions, then runs the base creation steps (linking and
    // registering as ConCommandBase::Create, with the same precondition).
    virtual void Create(const char* name, CommandCallbackFn callback, const char* helpText, int flags,
                        CompletionCallbackFn completionFunc);
    using ConCommandBase::Create;

protected:
    CommandCallbackFn m_pCommandCallback = nullptr;
    CompletionCallbackFn m_pCompletionCallback = nullptr;
    bool m_bHasCompletionCallback = false;
};

// Returns 0 and writes nothing: the completion of a command that has none.
int DefaultCompletionFunc(const char* partial, char (*commands)[kCompletionEntrySize]);

// A named console variable holding one value as text, float and int at once, with a
// default text, optional bounds and an optional change callback.
//
// Parent forwarding: flags, name, help text, registration, default, bounds, Revert and
// the SetValue family act on `parent`, which is the object itself (nothing here changes
// it), so objects sharing a parent would share one value, flags word and name.
//
// Ownership: the default text is borrowed like the name; the current text lives in a heap
// buffer the variable owns (new[]/delete[]), which only ever grows. A text whose length
// does not fit an int is a fatal error (Error), reported before anything is allocated.
class ConVar : public ConCommandBase {
public:
    ConVar(const char* name, const char* defaultValue, int flags = 0);
    ConVar(const char* name, const char* defaultValue, int flags, const char* helpText);
    ConVar(const char* name, const char* defaultValue, int flags, const char* helpText, bool hasMin, float min,
           bool hasMax, float max);
    ConVar(const char* name, const char* defaultValue, int flags, const char* helpText, ChangeCallbackFn callback);
    ConVar(const char* name, const char* defaultValue, int flags, const char* helpText, bool hasMin, float min,
           bool hasMax, float max, ChangeCallbackFn callback);

    // Frees the text buffer; the variable stays listed and registered.
    ~ConVar() override;

    bool IsCommand() const override;
    bool IsBitSet(int flag) const override;
    void AddFlags(int flags) override;
    const char* GetName() const override;
    const char* GetHelpText() const override;
    bool IsRegistered() const override;
    using ConCommandBase::Create;
    // Same steps as ConCommandBase::Init, on this object.
    void Init() override;

    // Each forwards to the parent's matching Internal operation, with these rules:
    //  - text: always stored (even when equal to the current text) and always notified;
    //    the value is strtod's (0 for text that is not a number). A null text counts as "".
    //    When the value is outside the bounds the clamped value is stored, and its text
    //    is that value formatted "%f" (six decimals) instead of the given text.
    //  - float: nothing happens at all when equal to the current float value (compared
    //    before clamping); otherwise clamped, stored, and its text is "%f".
    //  - int: nothing happens at all when equal to the current int value; otherwise
    //    clamped, stored, and its text is "%d".
    // The int value is the float truncated toward zero; a float outside the int range
    // (or NaN) gives INT_MIN. A formatted text is cut to 31 characters (only "%f" of a
    // float of magnitude about 1e23 or more is that long). While the parent has
    // FCVAR_NEVER_AS_STRING no text is stored and neither the callback nor the host is
    // told.
    virtual void SetValue(const char* value);
    virtual void SetValue(float value);
    virtual void SetValue(int value);

protected:
    virtual void InternalSetValue(const char* value);
    virtual void InternalSetFloatValue(float value);
    virtual void InternalSetIntValue(int value);
    // Moves `value` into the bounds and returns true when it was outside them. The lower
    // bound is tested first, so with crossed bounds a value below the minimum ends at the
    // minimum.
    virtual bool ClampValue(float& value);
    // Stores `text` (which may point into the current text), then calls the change
    // callback and the host console's NotifyGlobalChange with the previous text. Both
    // run on every call, even when the text did not change; a callback that sets this
    // variable again re-enters these operations.
    virtual void ChangeStringValue(const char* text);

public:
    // Fills the variable: parent = itself, the default text (or "" for null) copied into
    // a new buffer and parsed as the value (bounds not applied, callback not called), then
    // the base creation steps (list and registration). A buffer held from an earlier
    // creation is freed first. The base precondition applies.
    virtual void Create(const char* name, const char* defaultValue, int flags, const char* helpText, bool hasMin,
                        float min, bool hasMax, float max, ChangeCallbackFn callback);

    // The literal "FCVAR_NEVER_AS_STRING" when this object's own flags have that bit;
    // otherwise the parent's text ("" if it has none). Valid until the next change of
    // the text or the variable's destruction.
    const char* GetString() const {
        if (m_nFlags & FCVAR_NEVER_AS_STRING) return "FCVAR_NEVER_AS_STRING";
        return m_pParent->m_pStringValue ? m_pParent->m_pStringValue : "";
    }
    float GetFloat() const { return m_pParent->m_flFloatValue; }
    int GetInt() const { return m_pParent->m_nIntValue; }

    const char* GetDefault() const;
    // Store the bound in the argument and return whether it is in force.
    bool GetMin(float& min) const;
    bool GetMax(float& max) const;

    // The parent's SetValue(const char*) with its default text: stores and notifies even
    // when the variable already holds its default.
    void Revert();
    // Revert on every listed variable (commands are skipped).
    static void RevertAll();
    // Sets this object's own callback (null removes it) and calls a non-null one at once
    // with this object and its current text as the previous text.
    void InstallChangeCallback(ChangeCallbackFn callback);

protected:
    // Every constructor starts from these empty values and then runs the full Create.
    ConVar* m_pParent = nullptr;
    const char* m_pDefaultValue = nullptr;
    char* m_pStringValue = nullptr;
    int m_nStringLength = 0;  // bytes in m_pStringValue, terminator included
    float m_flFloatValue = 0.0f;
    int m_nIntValue = 0;
    bool m_bHasMin = false;
    float m_flMinValue = 0.0f;
    bool m_bHasMax = false;
    float m_flMaxValue = 0.0f;
    ChangeCallbackFn m_pChangeCallback = nullptr;
};

// Field layouts in declaration order (vtable pointer first).
static_assert(sizeof(ConCommandBase) == VL_LAYOUT(24, 48), "vtable, next, registered, name, help text, flags");
static_assert(sizeof(ConCommand) == VL_LAYOUT(36, 72), "base, command, completion, has-completion");
static_assert(sizeof(ConVar) == VL_LAYOUT(68, 112),
              "base, parent, default, text, length, float, int, two bounds, callback");

class ConCommandBaseMgr {
public:
    // Installs `accessor` (replacing any earlier one) and hands every listed object to it
    // through the object's virtual Init. Each object's `next` is read before its Init
    // runs, because registering may take the object off the list; the list head is left
    // as it is. Objects registered already are skipped, so a second call only reaches
    // objects listed since. The accessor is borrowed: it must outlive every later creation
    // of a console object, since creation registers through it at once.
    static void OneTimeInit(IConCommandBaseAccessor* accessor);
};
