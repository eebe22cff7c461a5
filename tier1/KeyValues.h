// KeyValues: a tree of named keys, each holding one typed value or a list of child keys.
// It is the in-memory form of the key-value text and binary formats, and reads the text
// format from memory, from a buffer or from a file. Names are kept as symbols of the
// runtime's key-value system, which also allocates and frees the nodes.
#pragma once

#include <stddef.h>
#include <wchar.h>

class CUtlBuffer;
class IBaseFileSystem;
template <class T>
class CUtlVector;

// Four colour bytes: red, green, blue, alpha. Components given as ints keep their low
// byte.
class Color {
public:
    Color() : m_rgba{0, 0, 0, 0} {}
    Color(int r, int g, int b, int a)
        : m_rgba{static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b),
                 static_cast<unsigned char>(a)} {}

    int r() const { return m_rgba[0]; }
    int g() const { return m_rgba[1]; }
    int b() const { return m_rgba[2]; }
    int a() const { return m_rgba[3]; }
    unsigned char operator[](int index) const { return m_rgba[index]; }
    bool operator==(const Color& other) const {
        return m_rgba[0] == other.m_rgba[0] && m_rgba[1] == other.m_rgba[1] && m_rgba[2] == other.m_rgba[2] &&
               m_rgba[3] == other.m_rgba[3];
    }
    bool operator!=(const Color& other) const { return !(*this == other); }

private:
    unsigned char m_rgba[4];
};

// Ownership: a node owns its children and its value texts; destroying a node destroys
// its children and every node after it in its next-key chain (its later siblings), so a
// tree is released with deleteThis() on its root, and a child is detached with
// RemoveSubKey before it is destroyed alone. A node sits in at most one list. Nodes must
// be made with new (destruction returns their memory to the key-value system), except a
// root on the stack, which releases its children and later siblings when it goes out of
// scope.
//
// Names: a null or empty keyName in the typed getters and setters names the node itself.
// Paths ("a/b/c") are resolved by FindKey; a component may be of any length.
//
// Depth: every walk over a tree (destruction, copying, path lookup) is iterative, so a
// tree nested arbitrarily deep never exhausts the call stack.
//
// Typed values and their texts: a key read from text as a number keeps the text it was
// read from (SetParsedInt / SetParsedFloat). GetString on such a key returns that text
// unchanged and leaves the key numeric; every setter drops the text again.
class KeyValues {
public:
    // The data type codes. The binary format may store other codes in a node; such a
    // node holds no value and the getters treat it as a section (TYPE_NONE).
    enum DataType : int {
        TYPE_NONE = 0,     // a section: no value, may have children
        TYPE_STRING,       // owned text
        TYPE_INT,          // 32-bit signed integer
        TYPE_FLOAT,        // 32-bit float
        TYPE_PTR,          // untyped pointer, not owned
        TYPE_WSTRING,      // owned wide text
        TYPE_COLOR,        // four bytes: red, green, blue, alpha
        TYPE_UINT64,       // unsigned 64-bit integer in an owned 8-byte block
        TYPE_END_OF_LIST,  // never a node's type; ends a list in the binary format
    };

    // ---- Construction and destruction -------------------------------------------------
    // Every field is cleared (no name, no value, no links, TYPE_NONE, escapes off), then
    // the name is set; a null name leaves the name symbol -1. The forms with pairs then
    // call SetString, SetInt or SetWString for each pair in order.
    explicit KeyValues(const char* setName);
    KeyValues(const char* setName, const char* firstKey, const char* firstValue);
    KeyValues(const char* setName, const char* firstKey, const wchar_t* firstValue);
    KeyValues(const char* setName, const char* firstKey, int firstValue);
    KeyValues(const char* setName, const char* firstKey, const char* firstValue, const char* secondKey,
              const char* secondValue);
    KeyValues(const char* setName, const char* firstKey, int firstValue, const char* secondKey, int secondValue);
    // RemoveEverything().
    ~KeyValues();

    // A node owns nodes through raw links, so it is copied only by MakeCopy or assignment.
    KeyValues(const KeyValues&) = delete;

    // Node memory comes from, and returns to, the key-value system. The forms with
    // debugging arguments ignore them.
    void* operator new(size_t size);
    void* operator new(size_t size, int blockType, const char* fileName, int line);
    void operator delete(void* memory);
    void operator delete(void* memory, int blockType, const char* fileName, int line);

    // RemoveEverything(), then the node's memory goes back to the key-value system. The
    // node and every node it owned are invalid afterwards.
    void deleteThis();

    // Destroys, in this order: every child with its descendants; every node after this
    // one in its next-key chain (stopping at the end of the chain or where the chain
    // comes back to this node), each with its descendants; this node's value texts. The
    // node itself stays valid: no children, no next key, no texts; its name, type and
    // 4-byte value are left as they were.
    void RemoveEverything();

    // Destroys every child (with its descendants) and makes this node a section
    // (TYPE_NONE). Its own value text stays allocated until it is replaced or the node
    // is destroyed; its later siblings are not touched.
    void Clear();

    // ---- Names -------------------------------------------------------------------------
    // The name's text from the key-value system; "" while the node has no name. The text
    // lives as long as the key-value system.
    const char* GetName() const;
    // A null name makes the symbol -1 (no name).
    void SetName(const char* setName);
    int GetNameSymbol() const { return m_iNameSymbol; }

    // ---- Finding and creating keys -------------------------------------------------------
    // The first child named by `keySymbol`, or null. Only the children are searched.
    KeyValues* FindKey(int keySymbol) const;

    // The key at `keyName`, a name or a "/"-separated path of names below this node; a
    // null or empty keyName, or an empty rest after a "/", yields the node reached so far.
    // Each component is searched among the children (first match in list order). When a
    // component is missing and the node searched has a chained key, the chained key is
    // searched (never creating) for the whole remaining path, and a key found there is the
    // result. Otherwise, with `create`, a new section child (escapes off) is appended for
    // the component, the node searched becomes TYPE_NONE, and the walk goes on from the
    // new child; without `create` the result is null. A cycle of chained keys ends the
    // search there (null, or creation below this node).
    KeyValues* FindKey(const char* keyName, bool create = false);

    // A new child named `keyName`, appended after the last child. It takes this node's
    // escape setting; this node's type is not changed.
    KeyValues* CreateKey(const char* keyName);

    // A new child whose name is one more than the largest child name read as a decimal
    // integer (leading digits only, as strtol reads them; a name without them counts as
    // 0), and at least 1; appended and set up as by CreateKey. Null, with nothing added,
    // when the largest name is already 2147483647 (no larger int name exists).
    KeyValues* CreateNewKey();

    // Appends `subKey` after the last child; its own next-key link is left as it is, so
    // any nodes chained after it join the children too. `subKey` must not be null or
    // already in a list, and must not be this node or one of its ancestors.
    void AddSubKey(KeyValues* subKey);

    // Unlinks `subKey` if it is a child (the list closes over it); in every case its
    // next-key link is cleared afterwards. Null does nothing. The caller owns `subKey`
    // from then on.
    void RemoveSubKey(KeyValues* subKey);

    // The key searched when a name is missing among the children (see FindKey). Not
    // owned; the caller keeps it alive while it is chained.
    void ChainKeyValue(KeyValues* chainedKey) { m_pChainedKey = chainedKey; }

    // ---- Iteration -----------------------------------------------------------------------
    // Children in order; null past the end.
    KeyValues* GetFirstSubKey() const { return m_pFirstSubKey; }
    KeyValues* GetNextKey() const { return m_pNextKey; }
    // Sets the raw next-key link; the caller keeps the ownership rules above.
    void SetNextKey(KeyValues* next) { m_pNextKey = next; }
    // Only sections (TYPE_NONE).
    KeyValues* GetFirstTrueSubKey() const;
    KeyValues* GetNextTrueSubKey() const;
    // Only values (any type other than TYPE_NONE).
    KeyValues* GetFirstValue() const;
    KeyValues* GetNextValue() const;

    // ---- Typed access by name ------------------------------------------------------------
    // Getters look the key up with FindKey(keyName, false) and return the default when it
    // is missing. Conversions from the stored type:
    //   TYPE_NONE and unknown codes: the 4-byte value read as an int for GetInt and
    //     GetUint64 (sign-extended), otherwise 0 / null / the default text.
    //   TYPE_STRING: the text read by strtol (base 10, saturating) or strtod; GetColor
    //     reads up to four numbers; GetPtr is null.
    //   TYPE_INT, TYPE_FLOAT: the value; a float becomes an int by truncation toward
    //     zero, saturating at the int range (NaN gives 0).
    //   TYPE_PTR: the pointer bits as an int; GetPtr gives the pointer.
    //   TYPE_WSTRING: 0, with a developer message for GetInt and an assertion report for
    //     GetUint64.
    //   TYPE_COLOR: the four bytes as an int; GetColor gives them.
    //   TYPE_UINT64: GetInt 0; GetFloat the unsigned value.
    int GetInt(const char* keyName = nullptr, int defaultValue = 0);
    unsigned long long GetUint64(const char* keyName = nullptr, unsigned long long defaultValue = 0);
    float GetFloat(const char* keyName = nullptr, float defaultValue = 0.0f);
    // TYPE_STRING: the text ("" when the key has none). A number parsed from text: the
    // text it was parsed from, unchanged. Other TYPE_INT ("%d"), TYPE_FLOAT ("%f"),
    // TYPE_PTR (its bits, "%d") and TYPE_UINT64 (signed 64-bit decimal) keys are turned
    // into TYPE_STRING keys holding that text, and the text is returned: afterwards the
    // other getters parse it. TYPE_NONE, TYPE_COLOR, TYPE_WSTRING and unknown codes give
    // the default. The returned text belongs to the key and is valid until the key's value
    // changes or the key is destroyed.
    const char* GetString(const char* keyName = nullptr, const char* defaultValue = "");
    // Converts nothing: prints a developer message and returns the default.
    const wchar_t* GetWString(const char* keyName = nullptr, const wchar_t* defaultValue = L"");
    // The pointer of a TYPE_PTR key; null for any other existing key.
    void* GetPtr(const char* keyName = nullptr, void* defaultValue = nullptr);
    // TYPE_COLOR: its bytes. TYPE_STRING: up to four numbers read with "%f %f %f %f",
    // each truncated to its low byte; components without a number are 0. TYPE_INT and
    // TYPE_FLOAT: red is the value's low byte, the rest 0. Otherwise, and for a missing
    // key, all four are 0.
    Color GetColor(const char* keyName = nullptr);

    // Setters look the key up with FindKey(keyName, true), creating it (and any missing
    // sections on its path), and set its type and value. Every setter drops a source text
    // kept from parsing. SetInt, SetFloat, SetPtr and SetColor leave an old value text
    // allocated (it is no longer read); the others free both old texts.
    void SetInt(const char* keyName, int value);
    void SetFloat(const char* keyName, float value);
    void SetPtr(const char* keyName, void* value);
    void SetColor(const char* keyName, Color value);
    // An owned copy of `value`; null stores "". `value` may point into the key's own text.
    void SetString(const char* keyName, const char* value);
    // SetString on this node itself.
    void SetStringValue(const char* value);
    // An owned copy of the wide text and its terminator; null stores L"".
    void SetWString(const char* keyName, const wchar_t* value);
    // The value in a new owned 8-byte block.
    void SetUint64(const char* keyName, unsigned long long value);

    // For readers of text: this node becomes TYPE_INT (or TYPE_FLOAT) with `value`, and
    // keeps an owned copy of `sourceText`, the text the value was parsed from, which
    // GetString returns and copies keep. Both old value texts are freed. A null
    // sourceText keeps no text (the node then converts as one set by SetInt / SetFloat).
    void SetParsedInt(int value, const char* sourceText);
    void SetParsedFloat(float value, const char* sourceText);
    // The kept source text of a TYPE_INT or TYPE_FLOAT node, or null when there is none.
    const char* GetSourceText() const;
    // The same without making anything: null also for an int whose kept text is exactly
    // what "%d" prints and has not been asked for yet (formatting the value gives it).
    // Writers use this, so that saving a tree allocates nothing in it.
    const char* PeekSourceText() const { return HasSourceText() ? m_pszStringValue : nullptr; }

    // The key's type code; TYPE_NONE when it is missing.
    DataType GetDataType(const char* keyName = nullptr);
    // True when the key is missing, or is a section without children.
    bool IsEmpty(const char* keyName = nullptr);

    // ---- Copying -------------------------------------------------------------------------
    // A new tree, owned by the caller, equal to this node and all its descendants: name,
    // type, value (texts, kept source texts and the 8-byte block duplicated, the 4-byte
    // value copied) and children in order. Not copied: the later siblings (the copy's next
    // key is null), the chained key, and the escape setting (the copy's is off).
    KeyValues* MakeCopy() const;

    // Appends a MakeCopy of each child of this node, in order, to the children of
    // `parent` (which normally has none; any it has are kept, before the copies).
    // `parent` may be this node or one of its descendants: the copies are made first.
    void CopySubkeys(KeyValues* parent) const;

    // Makes this node a copy of `src`, its descendants and all of its later siblings
    // (unlike MakeCopy): the old children, later siblings and texts are destroyed, every
    // field is cleared as in construction (escapes off, no chained key, TYPE_NONE), then
    // the copy is made as by RecursiveCopyKeyValues. `src` may be this node or lie
    // anywhere in its tree: the copy is taken before anything is destroyed.
    KeyValues& operator=(const KeyValues& src);

    // The copy behind assignment. This node takes src's name symbol. When `src` has
    // children, copies of them replace this node's children; when it has later siblings,
    // copies of them replace this node's later siblings (the replaced nodes are destroyed;
    // a chain that comes back to `src` is copied once). What `src` lacks, this node keeps:
    // a leaf copied into a section leaves the section's children. When `src` has no
    // children this node also takes its type and value (old texts freed; a text kept
    // beside a number is copied, the 4-byte value only for the types that hold one);
    // otherwise it keeps its own type and value. Escape setting and chained key stay as
    // they were; new nodes have escapes off. `src` may lie anywhere in this node's tree.
    void RecursiveCopyKeyValues(const KeyValues& src);

    // ---- Reading text ----------------------------------------------------------------------
    // The text format: white space (isspace) separates tokens; "//" where a token could
    // start comments out the rest of the line. A token is a quoted string, an unquoted "{"
    // or "}", or an unquoted word running up to white space, a double quote, a brace or a
    // 0 byte. The text is a sequence of top-level items: `#include "file"` (the directive
    // in any letter case) or a name followed by a block "{ ... }". A block holds entries,
    // each a name followed by a value token or by a nested block; names may repeat, and
    // each entry makes a new key in text order. Inside a block "#include" is a plain name.
    //
    // Value typing: an empty value is an empty TYPE_STRING. Otherwise the value is parsed
    // from its start with strtol (base 10) and with strtod: when strtod got further and
    // reached the end, the key is TYPE_FLOAT (narrowed to float); else when strtol reached
    // the end, TYPE_INT (saturated at the int range); else TYPE_STRING. A number keeps the
    // text it was read from, which GetString returns unchanged ("5589E5" is the float
    // 558900000, and its text stays "5589E5").
    //
    // Errors never stop a load: each is reported on the developer channel (DevMsg level 1)
    // as "KeyValues Error: <message> in file <name>" followed by a line with the keys that
    // were open (see CKeyValuesErrorStack), and reading goes on where the rules below say.
    // Everything created before an error stays in the tree, including keys without values.
    //
    // Escapes: with UsesEscapeSequences(true) a backslash in a quoted string starts a C
    // escape (\n \t \v \b \r \f \a \\ \? \' \"; an unknown escape reads as a 0 character
    // followed by the escaped character itself); with escapes off (the default) a
    // backslash is an ordinary character, a quoted string cannot hold a double quote, and
    // the byte 127 reads as a 0 character. Keys take their parent's setting, so the whole
    // tree follows the node that is loaded into.
    //
    // Limits: a token keeps at most 1023 characters; the rest of a quoted string is read
    // and dropped silently, the rest of a word is dropped with one " ReadToken overflow"
    // report. At most kMaxBlockNesting blocks are open at once (the block read into the
    // node loaded into counts as the first); a block that would open beyond them is
    // reported ("RecursiveLoadFromBuffer:  block nested too deep"), its text skipped up
    // to its matching "}", and its key left an empty section. The limit lies far beyond
    // real data and bounds the reports an unclosed text cascades into (one per open
    // block). Reading is iterative, so no text exhausts the call stack whatever its depth.
    // Included files nest at most kMaxIncludeDepth deep below the file loaded first, and
    // one outermost load includes at most kMaxIncludedFiles files in all, however they
    // nest, so that a fan-out of includes cannot multiply the work.
    //
    // Shared state: tokens are read into one static 1024-byte buffer, and reports use the
    // global g_KeyValuesErrorStack, so loads must not run on two threads at once.
    //
    // Buffers: a CUtlBuffer is read from its get position as text whatever its text flag,
    // over the bytes it holds in memory there when the read starts; its get position ends
    // where reading stopped, with ERROR_GET_OVERFLOW set once the text ran out (the end
    // of the data in white space, in a comment or in a quoted string).
    static const int kMaxTokenLength = 1023;
    static const int kMaxBlockNesting = 256;
    static const int kMaxIncludeDepth = 32;
    static const int kMaxIncludedFiles = 128;

    // Reads `resourceName` through `fileSystem` into this node (and the nodes chained
    // after it, see LoadFromBuffer). `fileSystem` must be the IBaseFileSystem part of an
    // IFileSystemApi object: the whole-file read uses the full interface's preferred read
    // alignment and read-buffer operations. Returns false, reporting nothing, when either
    // argument is null or the file cannot be opened (mode "rb", `pathID` may be null).
    // Otherwise the file is read into a buffer of its size + 1 bytes, rounded up to the
    // file system's preferred alignment when it reports one, and the text up to the first
    // 0 byte (a short read loads only the bytes read) is loaded with LoadFromBuffer
    // without a path id, so includes in it are resolved without one. The result is then
    // true, also when no read buffer could be had (a size that 32-bit arithmetic cannot
    // hold, or an allocation the file system refuses), in which case nothing is loaded.
    bool LoadFromFile(IBaseFileSystem* fileSystem, const char* resourceName, const char* pathID = nullptr);

    // Loads the terminated `text` as LoadFromBuffer(resourceName, CUtlBuffer&, ...) does;
    // a null `text` does nothing. Only the first INT_MAX bytes of a longer text are read.
    // Always true.
    bool LoadFromBuffer(const char* resourceName, const char* text, IBaseFileSystem* fileSystem = nullptr,
                        const char* pathID = nullptr);

    // Reads every top-level item of `buf` and always returns true. A UTF-8 byte-order mark
    // at the very start of the buffer (get position 0) is skipped. The first block names
    // this node (its earlier name is replaced) and fills it; each further block becomes a
    // new node inserted after the previous block's node in this node's next-key chain, so
    // any nodes already chained after this node follow the new ones. The roots of included
    // files are linked at the very end of the chain, in the order loaded. All of these are
    // owned through this node: deleteThis() on it destroys the chain. Loading adds to the
    // children a node already has; nothing is cleared first. A top-level name without a
    // "{" after it is reported ("LoadFromBuffer: missing {") and stays an empty key; the
    // token read in place of the "{" is not used again. Reading ends at the end of the
    // text, at an empty token (a 0 byte), or when the buffer becomes invalid. Reports name
    // `resourceName` as the file (a null one shows as "NULL").
    bool LoadFromBuffer(const char* resourceName, CUtlBuffer& buf, IBaseFileSystem* fileSystem = nullptr,
                        const char* pathID = nullptr);

    // Reads one block body into this node, up to and including its closing "}", with new
    // keys appended after any existing children. At the end of the text, at an empty key
    // name (a 0 byte, which is not consumed), or at a "}" in place of a value, the block
    // (and only it) ends with a report; the enclosing block then goes on reading from
    // there, so one fault can be reported once per open block. `resourceName` is not used:
    // reports name the file that the error stack holds.
    void RecursiveLoadFromBuffer(const char* resourceName, CUtlBuffer& buf);

    // The next token of `buf`, or null when the text has run out (or `buf` is not
    // valid). `wasQuoted` tells a quoted string from a word, so that only an unquoted
    // brace is structure. The text lives in the shared token buffer and is overwritten by
    // the next read: consume it first. This node's escape setting decides how quoted
    // strings are read.
    const char* ReadToken(CUtlBuffer& buf, bool& wasQuoted);

    // Loads one included file: `fileToInclude` is resolved against the directory part of
    // `resourceName` (up to and including its last "/" or "\"; the joined path is cut to
    // 511 characters) and loaded with LoadFromFile into a new root that takes this node's
    // escape setting. On success the root is appended to `includedKeys` (the caller then
    // owns it, normally through AppendIncludedKeys); otherwise it is destroyed and
    // "KeyValues::ParseIncludedKeys: Couldn't load included keyvalue file <path>" goes
    // to the developer channel. Without a file system nothing happens. An include is
    // refused, with a report, when its path names a file already being loaded (an include
    // cycle: paths are compared in a normal form, "\\" as "/", without "." components,
    // repeated separators or "dir/.." pairs, so no spelling escapes the check;
    // "#include cycle: <path>"), when it would nest deeper than kMaxIncludeDepth files
    // ("#include nested too deep: <path>"), or when the outermost load has already
    // attempted kMaxIncludedFiles includes, loaded or not ("#include limit of 128 files
    // reached: <path>", reported for the first refused include only). A report that
    // repeats the last refusal reported in the outermost load is not made again.
    void ParseIncludedKeys(const char* resourceName, const char* fileToInclude, IBaseFileSystem* fileSystem,
                           const char* pathID, CUtlVector<KeyValues*>& includedKeys);

    // Links the roots in `includedKeys`, in order and each with the nodes chained after
    // it, after the last node of this node's next-key chain; this node then owns them.
    // Every root must be free of any other list.
    void AppendIncludedKeys(CUtlVector<KeyValues*>& includedKeys);

    // ---- Writing text ------------------------------------------------------------------
    // Layout of a node at indent level n (n tabs): its quoted name on a line, "{", one
    // entry per child, "}". A child with children (whatever its type) is written the same
    // way at level n + 1; any other child is one line at level n + 1: its quoted name, two
    // tabs, its quoted value ("\"name\"\t\t\"value\"\n"). Values by type:
    //   TYPE_STRING: its text, "" for an empty one (an empty value and a missing key read
    //     differently: GetString("k", "default") gives "" for one and "default" for the
    //     other, so the key is kept).
    //   TYPE_INT, TYPE_FLOAT: the text the value was read with when the key keeps one
    //     (so "5589E5" is written back as "5589E5", not as its float), otherwise the
    //     value formatted with "%d" or "%f".
    //   TYPE_UINT64: the 8 bytes of the value in memory order as 16 lower-case hex
    //     digits (V_binarytohex); reading that text back gives an int or a string.
    //   TYPE_COLOR: nothing, and the developer message "KeyValues::RecursiveSaveToFile:
    //     TODO, missing code for TYPE_COLOR." (level 1) once per such key.
    //   TYPE_NONE without children: an empty block, its name, "{" and "}" as above, so
    //     that load, save and load again gives the same tree.
    //   TYPE_PTR, TYPE_WSTRING and unknown codes: nothing (they have no text form).
    // Every name and every text value goes through WriteConvertedString with the escape
    // setting of the node whose block holds the line; the root's own name line uses the
    // root's setting, which is the one a reader loading into a node like the root reads
    // it with. Only the node and its descendants are written, never its later siblings.
    // Writing is iterative: any depth is written without deepening the call stack.
    // A tree must not change while it is written; writing does not change it.

    // Opens `resourceName` for writing (mode "wb", `pathID` may be null) and writes the
    // tree from indent level 0. When the file cannot be opened (or `fileSystem` or
    // `resourceName` is null) prints "KeyValues::SaveToFile: couldn't open file \"<name>\"
    // in path \"<path id>\"." (a null one shows as NULL) on the developer channel at level
    // 1 and returns false without writing. When the file system takes fewer bytes than it
    // is given, writing stops there, "KeyValues::SaveToFile: couldn't write file
    // \"<name>\" in path \"<path id>\"." is printed the same way and the result is false
    // (the file keeps what was written). Otherwise true. The file is closed either way.
    bool SaveToFile(IBaseFileSystem* fileSystem, const char* resourceName, const char* pathID = nullptr);

    // Writes the tree into `buf` only, from `indentLevel` (below 0 counts as 0). The
    // bytes are put raw, so a text buffer's automatic tabs never add to them. Returns
    // whether `buf` took everything (it is still valid).
    bool RecursiveSaveToFile(CUtlBuffer& buf, int indentLevel);

    // The writer itself: to the open `file` of `fileSystem` when both are given, and to
    // `buf` when it is not null, the same bytes to each. Stops at the first write that
    // falls short (the file system took fewer bytes, or `buf` became invalid) and returns
    // false; true when everything was written.
    bool RecursiveSaveToFile(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, int indentLevel);

    // `indentLevel` tab characters (none for 0 or less). Same destinations and result as
    // InternalWrite.
    static bool WriteIndents(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, int indentLevel);

    // Writes `text` with a backslash before every double quote, and, when this node uses
    // escape sequences, before every backslash too; no other byte changes. Any length is
    // written through a small fixed scratch area. Same destinations and result as
    // InternalWrite.
    bool WriteConvertedString(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, const char* text);

    // The single output primitive: `length` bytes to the file (when `fileSystem` and
    // `file` are given), then to `buf` (when not null). False when the file system took
    // fewer bytes than `length` or `buf` is not valid afterwards. A `length` of 0 or less
    // writes nothing and succeeds.
    static bool InternalWrite(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, const void* data, int length);

    // ---- The binary form -------------------------------------------------------------
    // A list is a sequence of entries and the end marker (one byte, TYPE_END_OF_LIST). An
    // entry is the type code (one byte), the name and its 0 byte, then the value: for
    // TYPE_NONE a nested list of the children; TYPE_STRING the text and its 0 byte;
    // TYPE_INT, TYPE_FLOAT, TYPE_PTR 4 bytes; TYPE_COLOR the bytes red, green, blue,
    // alpha; TYPE_UINT64 8 bytes; TYPE_WSTRING and unknown codes nothing. Numbers are in
    // host order (little-endian). Wide texts, the children of a key that holds a value,
    // kept source texts and escape settings are not carried.

    // How many sections an entry read by ReadAsBinary may be nested under: as deep as
    // the text reader's blocks go, so every tree read from text reads back from binary.
    static constexpr int kMaxBinaryNesting = kMaxBlockNesting;

    // Writes this node and every node after it in its next-key chain (stopping where the
    // chain comes back to this node) as one list. With the buffer's byte-order flag set,
    // each multi-byte number (4-byte int, float and pointer, 8-byte value) is written with
    // its bytes reversed; a colour's four single bytes never are. False, writing nothing,
    // for a text buffer or one that is not valid; otherwise whether `buf` is still valid
    // at the end (writing stops once it is not; what was written stays). Iterative: any
    // depth is written without deepening the call stack.
    bool WriteAsBinary(CUtlBuffer& buf);

    // Reads one list from `buf` into this node and new nodes chained after it (its next
    // keys), sections' children nested under them. False, changing nothing, for a text
    // buffer or one that is not valid. Otherwise this node's children, later siblings and
    // texts are destroyed and every field is cleared as in construction (so an empty list
    // leaves it a nameless section), and the list is read:
    //   - names and string values keep at most 1022 characters, one less than
    //     kMaxTokenLength (the rest is skipped); codes above TYPE_END_OF_LIST are stored as they are, with no value;
    //     numbers are taken in host order, never reversed;
    //   - a section whose list is empty has no children;
    //   - an entry nested under more than kMaxBinaryNesting sections ends the read: it
    //     is not made, the developer message "KeyValues::ReadAsBinary: lists nested
    //     deeper than 256" is printed (level 1), `buf` stays valid just after the entry's
    //     type byte, and the result is false;
    //   - running out of data makes `buf` invalid and the result false; the nodes read
    //     so far stay, and the key being read keeps its type and name.
    // True when the whole list was read. Reading is iterative.
    bool ReadAsBinary(CUtlBuffer& buf);

    // ---- Other ---------------------------------------------------------------------------
    // Whether text read into or written from this node uses backslash escapes. Keys made
    // by CreateKey and CreateNewKey take their parent's setting.
    void UsesEscapeSequences(bool state) { m_bUsesEscapeSequences = state; }
    bool UsesEscapeSequences() const { return m_bUsesEscapeSequences; }

private:
    // The text reader behind the reading functions (KeyValuesReader.cpp).
    class TextReader;

    // A node named by `nameSymbol`, with the given escape setting, otherwise cleared as
    // in construction: the reader makes its nodes with symbols it has looked up.
    KeyValues(int nameSymbol, bool usesEscapeSequences)
        : m_iNameSymbol(nameSymbol),
          m_pszStringValue(nullptr),
          m_pwszWideValue(nullptr),
          m_Value{0},
          m_nDataType(TYPE_NONE),
          m_pNextKey(nullptr),
          m_pFirstSubKey(nullptr),
          m_pChainedKey(nullptr),
          m_bUsesEscapeSequences(usesEscapeSequences),
          m_bHasSourceText(false) {}

    // Clears every field as in construction, without freeing anything.
    void Init();
    // Sets the type and drops any kept source text.
    void SetDataTypeOnly(DataType type);
    // Frees both value texts (and the 8-byte block) and drops the source text.
    void FreeValueTexts();
    // Replaces both value texts with the given owned ones: `text` made by KeyValuesText
    // (Alloc, Dup, DupText; never array new), `wideText` by array new.
    void ReplaceValueTexts(char* text, wchar_t* wideText);
    void SetParsedValue(DataType type, const char* sourceText);
    bool HasSourceText() const;
    // The kept source text of a node for which HasSourceText() holds. An int read from
    // text that "%d" prints back exactly keeps no copy of it (the flag is set and the
    // text pointer null); its text is made from the value here, the first time it is
    // asked for, and kept from then on.
    char* SourceText();
    // Whether the type keeps its value in m_Value.
    bool HoldsFourByteValue() const;
    // Destroys all children with their descendants, without recursion.
    void DestroyDescendants();
    // Destroys the nodes after this one in its next-key chain (each with its
    // descendants), up to the end or to where the chain comes back to this node.
    void DestroyLaterSiblings();
    // Appends `first` (with the nodes chained after it) after the last child.
    void AppendChildren(KeyValues* first);
    // Copies src's name and value into this node, by MakeCopy's rules or assignment's.
    void CopyNodeFrom(const KeyValues& src, bool forAssignment);
    // Copies src's subtree (and, for assignment, src's later siblings) into this node,
    // without recursion.
    void CopyTreeFrom(const KeyValues& src, bool forAssignment);
    // Moves every field of `other` into this node and leaves `other` cleared.
    void TakeFieldsFrom(KeyValues& other);
    // The lookup behind FindKey without creation.
    KeyValues* FindExisting(const char* path);

    // The node's fields, in this order (pinned in KeyValues.cpp). m_Value holds the
    // value of TYPE_INT, TYPE_FLOAT, TYPE_PTR and TYPE_COLOR keys.
    int m_iNameSymbol;  // -1 until a name is set
    // Owned text of a TYPE_STRING key; the owned 8-byte block of a TYPE_UINT64 key; the
    // kept source text of a TYPE_INT or TYPE_FLOAT key when m_bHasSourceText is set
    // (otherwise any text left here by an earlier value is never read). Null when none.
    // These come from, and go back to, KeyValuesText (KeyValuesText.h).
    char* m_pszStringValue;
    wchar_t* m_pwszWideValue;  // owned text of a TYPE_WSTRING key
    union {
        int i;
        float f;
        void* p;
        unsigned char color[4];
    } m_Value;
    signed char m_nDataType;
    KeyValues* m_pNextKey;      // next sibling, owned through the parent
    KeyValues* m_pFirstSubKey;  // first child, owned
    KeyValues* m_pChainedKey;   // not owned
    bool m_bUsesEscapeSequences;
    // Appended after the fields above (it fits in what was their padding): set when
    // the key keeps the text a TYPE_INT or TYPE_FLOAT value was parsed from, in
    // m_pszStringValue (or, for an int in its "%d" form, not yet made: see SourceText).
    bool m_bHasSourceText;
};

// The context of the text reader's error reports: the name symbols of the keys open at
// each nesting level of the load in progress (a block takes two levels: its own key, then
// the key being read inside it, -1 while there is none), and the name of the text being
// read. g_KeyValuesErrorStack is its only instance, shared by every reader.
class CKeyValuesErrorStack {
public:
    // Levels past this many are counted in the depth but neither stored nor reported.
    static const int kMaxLevels = 64;

    // No levels; the file name is "NULL" until the first load sets one. Constant
    // initialisation: the global is ready before any static constructor could load.
    constexpr CKeyValuesErrorStack()
        : m_ErrorIndex{},
          m_pFilename("NULL"),
          m_nDepth(0),
          m_nMaxDepth(0),
          m_nReports(0),
          m_pListener(nullptr),
          m_pListenerContext(nullptr) {
        for (int i = 0; i < kMaxLevels; ++i) m_ErrorIndex[i] = -1;
    }

    // The name shown in reports. The pointer is kept, not the text: it must stay valid
    // until the next SetFilename (the reader sets "" at the end of every load). Null shows
    // as "NULL".
    void SetFilename(const char* name) { m_pFilename = name ? name : "NULL"; }
    const char* GetFilename() const { return m_pFilename; }

    // Opens the next level holding `symbol` and returns its index (the depth before the
    // call); the maximum depth becomes at least that index.
    int Push(int symbol);
    // Closes the innermost level; does nothing at depth 0.
    void Pop();
    // Replaces the symbol of an open or recorded level; an index outside 0..kMaxLevels-1
    // is ignored.
    void Reset(int level, int symbol);
    // Starts the maximum depth again at 0 (each load does, at its start and end).
    void ResetMaxDepth() { m_nMaxDepth = 0; }
    int GetDepth() const { return m_nDepth; }
    int GetMaxDepth() const { return m_nMaxDepth; }

    // Prints "KeyValues Error: <message> in file <name>\n" through DevMsg at level 1, then
    // for each recorded level below the maximum depth that holds a symbol, its name as
    // "<name>, " when the level is still open (below the depth) or "(*<name>*), " when it
    // has closed, then "\n". The message, the file name and the key names are printed as
    // arguments, never as a format, with every byte outside printable ASCII shown as "\xNN"
    // (CConsoleLine), so that text read from a file cannot end a line or forge another.
    void Report(const char* message) const;
    // How many reports have been made since the library loaded (it wraps after INT_MAX).
    // A caller that wants to know whether a load found errors compares it before and after.
    int GetReportCount() const { return m_nReports; }

    // A program that shows the reports in its own way (a file checker, say) can listen:
    // after each report is printed, `listener` receives the message, the file name and
    // where the text reader stood in that file's text when it found the error (line and
    // column from 1; 0 for both when the report comes from outside the text reader). One
    // listener at a time; null removes it. Positions are worked out only while a listener
    // is set, so a load without one costs what it always did.
    typedef void (*Listener)(const char* message, const char* file, int line, int column, void* context);
    void SetListener(Listener listener, void* context) {
        m_pListener = listener;
        m_pListenerContext = context;
    }
    bool HasListener() const { return m_pListener != nullptr; }
    // Report, with the position a listener receives.
    void ReportAt(const char* message, int line, int column) const;

private:
    void PrintReport(const char* message) const;

    int m_ErrorIndex[kMaxLevels];
    const char* m_pFilename;
    int m_nDepth;
    int m_nMaxDepth;
    mutable int m_nReports;
    Listener m_pListener;
    void* m_pListenerContext;
};

extern CKeyValuesErrorStack g_KeyValuesErrorStack;
