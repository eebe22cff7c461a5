// The one canonical rendering of a key-value tree, for the tests and fuzz targets that
// compare trees: two trees are the same for a test exactly when their dumps are equal,
// and a failed comparison shows both. One line per node, children indented under their
// parent:
//
//   "cfg" none
//     "name" string "a\tb"
//     "count" int 5 text "05"
//     "scale" float 0.5 (0x3f000000)
//
// Names and texts are quoted, with \" \\ and \xNN for bytes outside printable ASCII. A
// float shows its bits as well, so NaNs and signed zeros compare exactly; a pointer its
// value, a colour its four bytes, wide text only its type (nothing reads it back).
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "tier1/KeyValues.h"

enum KeyValuesDumpOptions : unsigned {
    kDumpSiblings = 1,    // the root's later siblings too (a whole chain: top-level blocks)
    kDumpSourceText = 2,  // a number's kept source text (`text "..."`)
    kDumpEscapes = 4,     // `escapes` on each node whose escape setting is on
};

namespace keyvalues_dump {
inline void AppendQuoted(std::string& out, const char* text) {
    out += '"';
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20 || *p >= 0x7f) {
            char hex[5];
            snprintf(hex, sizeof(hex), "\\x%02x", *p);
            out += hex;
        } else {
            out += static_cast<char>(*p);
        }
    }
    out += '"';
}
}  // namespace keyvalues_dump

// Reads each node through getters that change nothing in it. The walk keeps its own
// stack, so a tree of any depth is dumped without recursion.
inline std::string DumpKeyValues(KeyValues* root, unsigned options = 0) {
    using keyvalues_dump::AppendQuoted;
    std::string out;
    std::vector<std::pair<KeyValues*, int>> pending;  // node and depth, next on top
    if (root) pending.push_back({root, 0});
    while (!pending.empty()) {
        KeyValues* key = pending.back().first;
        const int depth = pending.back().second;
        pending.pop_back();
        if (key->GetNextKey() && (depth > 0 || (options & kDumpSiblings)))
            pending.push_back({key->GetNextKey(), depth});
        if (key->GetFirstSubKey()) pending.push_back({key->GetFirstSubKey(), depth + 1});

        out.append(static_cast<size_t>(depth) * 2, ' ');
        AppendQuoted(out, key->GetName());
        char value[64];
        switch (key->GetDataType()) {
            case KeyValues::TYPE_NONE: out += " none"; break;
            case KeyValues::TYPE_STRING:
                out += " string ";
                AppendQuoted(out, key->GetString());
                break;
            case KeyValues::TYPE_INT:
                snprintf(value, sizeof(value), " int %d", key->GetInt());
                out += value;
                break;
            case KeyValues::TYPE_FLOAT: {
                const float f = key->GetFloat();
                uint32_t bits;
                memcpy(&bits, &f, sizeof(bits));
                snprintf(value, sizeof(value), " float %.9g (0x%08x)", static_cast<double>(f), bits);
                out += value;
                break;
            }
            case KeyValues::TYPE_PTR:
                snprintf(value, sizeof(value), " ptr 0x%08x",
                         static_cast<unsigned>(reinterpret_cast<uintptr_t>(key->GetPtr())));
                out += value;
                break;
            case KeyValues::TYPE_WSTRING: out += " wstring"; break;
            case KeyValues::TYPE_COLOR: {
                const Color c = key->GetColor();
                snprintf(value, sizeof(value), " color %d %d %d %d", c.r(), c.g(), c.b(), c.a());
                out += value;
                break;
            }
            case KeyValues::TYPE_UINT64:
                snprintf(value, sizeof(value), " uint64 %llu", key->GetUint64());
                out += value;
                break;
            default:
                snprintf(value, sizeof(value), " type %d", static_cast<int>(key->GetDataType()));
                out += value;
                break;
        }
        if ((options & kDumpSourceText) && key->GetSourceText()) {
            out += " text ";
            AppendQuoted(out, key->GetSourceText());
        }
        if ((options & kDumpEscapes) && key->UsesEscapeSequences()) out += " escapes";
        out += '\n';
    }
    return out;
}
