// The key-value binary form: a tree as tagged entries in a binary buffer, and back. Both
// directions walk with their own stack of open lists, so the call stack never grows with
// the depth of a tree; the reader bounds the nesting it accepts from outside bytes.
#include <stdint.h>
#include <string.h>

#include "tier0/dbg.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"
#include "tier1/UtlVector.h"

bool KeyValues::WriteAsBinary(CUtlBuffer& buf) {
    if (buf.IsText() || !buf.IsValid()) return false;

    // The sections whose lists are open, innermost last. `node` is the next entry of the
    // innermost list, or null where that list ends.
    CUtlVector<KeyValues*> sections;
    KeyValues* node = this;
    while (buf.IsValid()) {
        if (!node) {
            buf.PutUnsignedChar(TYPE_END_OF_LIST);
            if (sections.Count() == 0) break;
            KeyValues* section = sections[sections.Count() - 1];
            sections.Remove(sections.Count() - 1);
            node = section->GetNextKey();
            if (node == this && sections.Count() == 0) node = nullptr;  // a chain back to the start
            continue;
        }

        buf.PutUnsignedChar(static_cast<unsigned char>(node->m_nDataType));
        buf.PutString(node->GetName());
        switch (node->m_nDataType) {
            case TYPE_NONE:
                sections.AddToTail(node);
                node = node->GetFirstSubKey();
                continue;
            case TYPE_STRING: buf.PutString(node->GetString()); break;  // "" when it has no text
            case TYPE_INT:
            case TYPE_FLOAT:
            case TYPE_PTR: {
                // The value's bits: a float never passes through a floating-point register,
                // which could change a NaN's bits.
                unsigned int bits;
                memcpy(&bits, &node->m_Value, sizeof(bits));
                buf.PutUnsignedInt(bits);
                break;
            }
            case TYPE_COLOR:
                // Four single bytes: the byte-order flag does not reverse them.
                for (int i = 0; i < 4; ++i) buf.PutUnsignedChar(node->m_Value.color[i]);
                break;
            case TYPE_UINT64: buf.PutInt64(static_cast<int64_t>(node->GetUint64())); break;
            default: break;  // TYPE_WSTRING and unknown codes: the type and name only
        }
        node = node->GetNextKey();
        if (node == this && sections.Count() == 0) node = nullptr;
    }
    return buf.IsValid();
}

bool KeyValues::ReadAsBinary(CUtlBuffer& buf) {
    if (buf.IsText() || !buf.IsValid()) return false;
    RemoveEverything();
    Init();

    // Names and texts are read into a 1024-byte token with a limit of 1023, so at most
    // 1022 characters are kept and the rest of a longer one is skipped: the bound other
    // readers of these bytes apply (one less than the text reader's tokens keep).
    char token[1024];
    const int kLimit = static_cast<int>(sizeof(token)) - 1;
    // The sections whose lists are being read, innermost last. `last` is the latest entry
    // of the innermost list, null before its first.
    CUtlVector<KeyValues*> sections;
    KeyValues* last = nullptr;
    for (;;) {
        const unsigned char type = buf.GetUnsignedChar();
        if (!buf.IsValid()) return false;
        if (type == TYPE_END_OF_LIST) {
            if (sections.Count() == 0) return true;
            last = sections[sections.Count() - 1];  // the latest entry of its own list
            sections.Remove(sections.Count() - 1);
            continue;
        }

        // An entry nested under more sections than the text reader's blocks can give
        // ends the read before it is made.
        if (sections.Count() > kMaxBinaryNesting) {
            DevMsg(1, "KeyValues::ReadAsBinary: lists nested deeper than %d\n", kMaxBinaryNesting);
            return false;
        }
        KeyValues* node;
        if (last) {
            node = new KeyValues(nullptr);
            last->SetNextKey(node);
        } else if (sections.Count() > 0) {
            // A section gets a child only when its list holds an entry: an empty list
            // reads back as a section without children, as it was written.
            node = new KeyValues(nullptr);
            sections[sections.Count() - 1]->AddSubKey(node);
        } else {
            node = this;
        }
        last = node;

        node->m_nDataType = static_cast<signed char>(type);  // codes above 8 as they are
        buf.GetString(token, kLimit);
        node->SetName(token);
        if (!buf.IsValid()) return false;

        switch (type) {
            case TYPE_NONE:
                sections.AddToTail(node);
                last = nullptr;
                break;
            case TYPE_STRING:
                buf.GetString(token, kLimit);
                node->SetStringValue(token);
                break;
            case TYPE_INT:
            case TYPE_FLOAT:
            case TYPE_PTR: {
                unsigned int bits = buf.GetUnsignedInt();
                memcpy(&node->m_Value, &bits, sizeof(bits));
                break;
            }
            case TYPE_COLOR:
                for (int i = 0; i < 4; ++i) node->m_Value.color[i] = buf.GetUnsignedChar();
                break;
            case TYPE_UINT64: node->SetUint64(nullptr, static_cast<unsigned long long>(buf.GetInt64())); break;
            default: break;  // TYPE_WSTRING and unknown codes carry no value
        }
        if (!buf.IsValid()) return false;
    }
}
