// The key-value text writer: a tree back into the text format, to a file of the engine's
// file system, to a buffer, or to both with the same bytes. The walk keeps its own stack
// of open blocks, so no depth of tree reaches the call stack.
#include <stdint.h>
#include <string.h>

#include "tier0/dbg.h"
#include "tier1/ConsoleLine.h"
#include "tier1/IBaseFileSystem.h"
#include "tier1/KeyValues.h"
#include "tier1/StrTools.h"
#include "tier1/UtlBuffer.h"
#include "tier1/UtlVector.h"

namespace {

// Room for a formatted number: "%f" of the largest float takes 46 characters, the
// 16 hex digits of a 64-bit value fewer.
const int kNumberTextSize = 64;

const char kTabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
const int kTabRun = static_cast<int>(sizeof(kTabs)) - 1;

// Between a value line's quoted name and its quoted value.
const char kNameValueGap[] = "\"\t\t\"";
const char kLineEnd[] = "\"\n";

int TextLength(const char* text) {
    size_t length = strlen(text);
    return length > 0x7fffffff ? 0x7fffffff : static_cast<int>(length);
}

}  // namespace

bool KeyValues::InternalWrite(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, const void* data, int length) {
    if (length <= 0) return true;
    bool complete = true;
    if (fileSystem && file) complete = fileSystem->Write(data, length, file) == length;
    if (buf) {
        buf->Put(data, length);
        complete = complete && buf->IsValid();
    }
    return complete;
}

// The tabs go out in runs rather than one call per tab: the bytes are the same.
bool KeyValues::WriteIndents(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, int indentLevel) {
    while (indentLevel > 0) {
        int run = indentLevel < kTabRun ? indentLevel : kTabRun;
        if (!InternalWrite(fileSystem, file, buf, kTabs, run)) return false;
        indentLevel -= run;
    }
    return true;
}

// Converted bytes are gathered in a small scratch area and flushed when it is full, so
// texts of any length need no heap and no size arithmetic.
bool KeyValues::WriteConvertedString(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, const char* text) {
    char scratch[256];
    int used = 0;
    for (const char* c = text; *c; ++c) {
        if (used > static_cast<int>(sizeof(scratch)) - 2) {
            if (!InternalWrite(fileSystem, file, buf, scratch, used)) return false;
            used = 0;
        }
        if (*c == '"' || (*c == '\\' && UsesEscapeSequences())) scratch[used++] = '\\';
        scratch[used++] = *c;
    }
    return InternalWrite(fileSystem, file, buf, scratch, used);
}

namespace {

// The destinations of one write, and the lines of the layout. Every line stops at the
// first write that falls short.
class TextOut {
public:
    TextOut(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf)
        : m_pFileSystem(fileSystem), m_pFile(file), m_pBuf(buf) {}

    bool Raw(const char* text, int length) {
        return KeyValues::InternalWrite(m_pFileSystem, m_pFile, m_pBuf, text, length);
    }
    bool Raw(const char* text) { return Raw(text, TextLength(text)); }
    bool Indent(int level) { return KeyValues::WriteIndents(m_pFileSystem, m_pFile, m_pBuf, level); }
    // `block` is the node whose escape setting converts the text.
    bool Converted(KeyValues* block, const char* text) {
        return block->WriteConvertedString(m_pFileSystem, m_pFile, m_pBuf, text);
    }

    // The name line and the "{" line of a node.
    bool Open(KeyValues* block, KeyValues* node, int level) {
        return Indent(level) && Raw("\"", 1) && Converted(block, node->GetName()) && Raw(kLineEnd, 2) &&
               Indent(level) && Raw("{\n", 2);
    }
    bool Close(int level) { return Indent(level) && Raw("}\n", 2); }

    // One value line; `value` is converted when `convert` is set (numbers never need it).
    // The name is converted whatever the type: a number's name holding a quote or a
    // backslash, written as it stands, would end the quoted name early for the reader
    // and shift every token after it.
    bool Value(KeyValues* block, KeyValues* key, int level, const char* value, bool convert) {
        return Indent(level) && Raw("\"", 1) && Converted(block, key->GetName()) && Raw(kNameValueGap, 4) &&
               (convert ? Converted(block, value) : Raw(value)) && Raw(kLineEnd, 2);
    }

private:
    IBaseFileSystem* m_pFileSystem;
    void* m_pFile;
    CUtlBuffer* m_pBuf;
};

// The line of a child without children of its own, by its type; `block` is its parent.
bool WriteValueLine(TextOut& out, KeyValues* block, KeyValues* key, int level) {
    char number[kNumberTextSize];
    switch (key->GetDataType()) {
        case KeyValues::TYPE_STRING: {
            const char* text = key->GetString();  // a text key's own text: nothing converts
            return out.Value(block, key, level, text, true);
        }
        case KeyValues::TYPE_INT:
        case KeyValues::TYPE_FLOAT: {
            // A number read from text goes back as the text it was read with; formatting
            // the value instead would turn "5589E5" into "558899968.000000".
            const char* source = key->PeekSourceText();
            if (source) return out.Value(block, key, level, source, true);
            if (key->GetDataType() == KeyValues::TYPE_INT) {
                V_snprintf(number, sizeof(number), "%d", key->GetInt());
            } else {
                V_snprintf(number, sizeof(number), "%f", static_cast<double>(key->GetFloat()));
            }
            return out.Value(block, key, level, number, false);
        }
        case KeyValues::TYPE_UINT64: {
            unsigned long long value = key->GetUint64();
            unsigned char bytes[sizeof(value)];
            memcpy(bytes, &value, sizeof(bytes));  // memory order: least significant first
            V_binarytohex(bytes, sizeof(bytes), number, sizeof(number));
            return out.Value(block, key, level, number, false);
        }
        case KeyValues::TYPE_COLOR:
            DevMsg(1, "KeyValues::RecursiveSaveToFile: TODO, missing code for TYPE_COLOR.\n");
            return true;
        case KeyValues::TYPE_NONE:  // a section without children: an empty block
            return out.Open(block, key, level) && out.Close(level);
        default:  // TYPE_PTR, TYPE_WSTRING, unknown codes: no text form
            return true;
    }
}

}  // namespace

// Each open block is a stack entry holding the next child to write; a child with children
// opens a new entry, and an entry whose children are done writes its "}".
bool KeyValues::RecursiveSaveToFile(IBaseFileSystem* fileSystem, void* file, CUtlBuffer* buf, int indentLevel) {
    struct Block {
        KeyValues* node;
        KeyValues* nextChild;
    };
    if (indentLevel < 0) indentLevel = 0;
    TextOut out(fileSystem, file, buf);
    // The root has no parent block: its own escape setting converts its name, as a
    // reader loading into a node with that setting reads the name back.
    if (!out.Open(this, this, indentLevel)) return false;

    CUtlVector<Block> blocks;
    blocks.AddToTail(Block{this, GetFirstSubKey()});
    while (blocks.Count() > 0) {
        const int level = indentLevel + blocks.Count();  // of the lines inside the block
        Block& top = blocks[blocks.Count() - 1];
        KeyValues* block = top.node;
        KeyValues* child = top.nextChild;
        if (!child) {
            blocks.Remove(blocks.Count() - 1);
            if (!out.Close(level - 1)) return false;
            continue;
        }
        top.nextChild = child->GetNextKey();
        if (child->GetFirstSubKey()) {
            if (!out.Open(block, child, level)) return false;
            blocks.AddToTail(Block{child, child->GetFirstSubKey()});  // `top` is not used after this
            continue;
        }
        if (!WriteValueLine(out, block, child, level)) return false;
    }
    return true;
}

bool KeyValues::RecursiveSaveToFile(CUtlBuffer& buf, int indentLevel) {
    return RecursiveSaveToFile(nullptr, nullptr, &buf, indentLevel);
}

namespace {

// "KeyValues::SaveToFile: couldn't <what> file "<name>" in path "<path>"." on the
// developer channel; the name and path are the caller's outside text, so they are escaped.
void ReportSaveFailure(const char* what, const char* resourceName, const char* pathID) {
    CConsoleLine line(1);
    line.Append("KeyValues::SaveToFile: couldn't ");
    line.Append(what);
    line.Append(" file \"");
    line.AppendEscaped(resourceName ? resourceName : "NULL", SIZE_MAX);
    line.Append("\" in path \"");
    line.AppendEscaped(pathID ? pathID : "NULL", SIZE_MAX);
    line.Append("\".");
    line.End();
}

}  // namespace

bool KeyValues::SaveToFile(IBaseFileSystem* fileSystem, const char* resourceName, const char* pathID) {
    FileHandle_t file = fileSystem && resourceName ? fileSystem->Open(resourceName, "wb", pathID) : nullptr;
    if (!file) {
        ReportSaveFailure("open", resourceName, pathID);
        return false;
    }
    bool written = RecursiveSaveToFile(fileSystem, file, nullptr, 0);
    fileSystem->Close(file);
    if (!written) ReportSaveFailure("write", resourceName, pathID);
    return written;
}
