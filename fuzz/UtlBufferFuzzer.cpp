// Fuzz target for CUtlBuffer's readers. Arbitrary bytes are read in text or binary mode
// from an exact-size read-only block (so any read past it is caught) and from an owned
// copy, by a sequence of operations the input chooses. Round trips check that line-end
// conversion, delimited strings and typed values give back what was written, and every
// unlimited read goes into exactly the room its Peek function measured.
//
// Input: byte 0 selects the mode, byte 1 the length (1-16) of the operation script that
// follows; the rest is the data.
#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz/FuzzCheck.h"
#include "tests/support/ExactBuffer.h"
#include "tier1/UtlBuffer.h"
#include "tier1/UtlCharConversion.h"

namespace {

typedef CUtlBuffer B;

// Hands out the script bytes in a cycle.
class Script {
public:
    Script(const uint8_t* bytes, size_t count) : bytes_(bytes), count_(count), next_(0) {}
    uint8_t Next() { return count_ ? bytes_[next_++ % count_] : 0; }
    int Offset() {
        static const int offsets[] = {0, 1, -1, 2, 3, 7, -7, 64, 129, -129, INT_MAX, INT_MIN, INT_MAX - 1, 1000};
        uint8_t b = Next();
        return b < 128 ? offsets[b % (sizeof(offsets) / sizeof(offsets[0]))] : b - 192;
    }

private:
    const uint8_t* bytes_;
    size_t count_;
    size_t next_;
};

// The room a read was measured to need: an empty result still takes its terminator.
size_t Room(int measured) { return measured > 0 ? static_cast<size_t>(measured) : 1; }

CUtlCharConversion* PickConversion(Script& script) {
    switch (script.Next() % 3) {
        case 0: return GetCStringCharConversion();
        case 1: return GetNoEscCharConversion();
        default: return nullptr;
    }
}

void ReadString(CUtlBuffer& buf, Script& script, int which) {
    uint8_t limit = script.Next() % 20;
    if (limit == 0) {
        // No limit: the room measured beforehand must hold the result.
        CUtlCharConversion* conv = GetCStringCharConversion();
        int room = which == 0   ? buf.PeekStringLength()
                   : which == 1 ? buf.PeekLineLength()
                                : buf.PeekDelimitedStringLength(conv, true);
        ExactBlock dest(Room(room));
        dest.data()[0] = 0;
        if (which == 0) buf.GetString(dest.data(), 0);
        if (which == 1) buf.GetLine(dest.data(), 0);
        if (which == 2) buf.GetDelimitedString(conv, dest.data(), 0);
        FUZZ_CHECK(memchr(dest.data(), 0, dest.size()) != nullptr);
        return;
    }
    ExactBlock dest(limit);
    dest.data()[0] = 0;
    if (which == 0) buf.GetString(dest.data(), limit);
    if (which == 1) buf.GetLine(dest.data(), limit);
    if (which == 2) buf.GetDelimitedString(PickConversion(script), dest.data(), limit);
    FUZZ_CHECK(strlen(dest.data()) < static_cast<size_t>(limit));
}

void ReadOperations(CUtlBuffer& buf, Script& script) {
    for (int step = 0; step < 40; ++step) {
        switch (script.Next() % 15) {
            case 0: {
                static const char* const tokens[] = {"//", "\"", "end", "\r\n", "{", "}", "x"};
                buf.GetToken(tokens[script.Next() % 7]);
                break;
            }
            case 1: ReadString(buf, script, 0); break;
            case 2: ReadString(buf, script, 1); break;
            case 3: ReadString(buf, script, 2); break;
            case 4: {
                int i = 0, x = 0;
                unsigned int u = 0;
                float f = 0;
                char c = 0;
                switch (script.Next() % 4) {
                    case 0: buf.Scanf("%d %f", &i, &f); break;
                    case 1: buf.Scanf("%c%x", &c, &x); break;
                    case 2: buf.Scanf("a=%i;%u", &i, &u); break;
                    default: {
                        ExactBlock s(Room(buf.PeekStringLength()));
                        s.data()[0] = 0;
                        buf.Scanf("%s", s.data());
                        FUZZ_CHECK(memchr(s.data(), 0, s.size()) != nullptr);
                        break;
                    }
                }
                break;
            }
            case 5:
                buf.GetChar();
                buf.GetUnsignedChar();
                buf.GetInt();
                buf.GetUnsignedInt();
                buf.GetFloat();
                buf.GetInt64();
                break;
            case 6:
                buf.EatWhiteSpace();
                buf.EatCPPComment();
                break;
            case 7: {
                char dest[16];
                static const char* const starts[] = {"[", "key =", nullptr, " ", "\""};
                static const char* const ends[] = {"]", ";", "\n", "\""};
                buf.ParseToken(starts[script.Next() % 5], ends[script.Next() % 4], dest, 1 + script.Next() % 16);
                break;
            }
            case 8: {
                int offset = script.Offset();
                buf.PeekWhiteSpace(offset > 0 ? offset : 0);
                CUtlCharConversion* conv = PickConversion(script);
                buf.PeekDelimitedStringLength(conv, true);
                buf.PeekDelimitedStringLength(conv, false);
                buf.PeekStringMatch(script.Offset(), "//", 2);
                break;
            }
            case 9: buf.SeekGet(static_cast<B::SeekType_t>(script.Next() % 4), script.Offset()); break;
            case 10: {
                int offset = script.Offset();
                int size = script.Next() % 40;
                const unsigned char* peek = static_cast<const unsigned char*>(buf.PeekGet(size, offset));
                unsigned sum = 0;
                for (int i = 0; peek && i < size; ++i) sum += peek[i];
                int wish = script.Next();
                if (buf.CheckArbitraryPeekGet(offset, wish)) {
                    peek = static_cast<const unsigned char*>(buf.PeekGet(wish, offset));
                    FUZZ_CHECK(peek != nullptr);
                    for (int i = 0; i < wish; ++i) sum += peek[i];
                }
                char dest[64];
                int got = buf.GetUpTo(dest, script.Next() % 64);
                FUZZ_CHECK(got >= 0 && got < 64);
                (void)sum;
                break;
            }
            case 11: buf.GetDelimitedChar(PickConversion(script)); break;
            case 12: {
                char dest[8];
                buf.Get(dest, script.Next() % 9);
                break;
            }
            case 13: buf.SeekPut(B::SEEK_FROM_HEAD, script.Next() % 16); break;
            default: buf.SetBufferType(script.Next() & 1, script.Next() & 1); break;
        }
        FUZZ_CHECK(buf.GetBytesRemaining() >= 0);
    }
}

std::string Data(const CUtlBuffer& b) {
    if (b.TellMaxPut() <= 0) return std::string();
    return std::string(static_cast<const char*>(b.Base()), static_cast<size_t>(b.TellMaxPut()));
}

// "\n" to "\r\n" and back gives the same bytes and the same cursors.
void CheckLineEndRoundTrip(const uint8_t* data, size_t size, Script& script) {
    CUtlBuffer plain(0, 0, B::BUFFER_TEXT);
    plain.Put(data, static_cast<int>(size));
    // Far positions, but not so far that an inserted carriage return saturates them.
    int get = script.Offset();
    plain.SeekGet(B::SEEK_FROM_HEAD, get > (1 << 20) ? (1 << 20) : get);
    plain.SeekPut(B::SEEK_FROM_HEAD, static_cast<int>(size) - script.Next() % 4);
    CUtlBuffer crlf(0, 0, B::BUFFER_TEXT | B::BUFFER_CONTAINS_CRLF);
    CUtlBuffer back(0, 0, B::BUFFER_TEXT);
    FUZZ_CHECK(plain.ConvertCRLF(crlf));
    FUZZ_CHECK(crlf.ConvertCRLF(back));
    FUZZ_CHECK(Data(back) == Data(plain));
    FUZZ_CHECK(back.TellGet() == plain.TellGet());
    FUZZ_CHECK(back.TellPut() == plain.TellPut());

    // The other way round only has to be safe: lone line feeds gain a carriage return.
    CUtlBuffer lf(0, 0, B::BUFFER_TEXT);
    FUZZ_CHECK(crlf.ConvertCRLF(lf) || !lf.IsValid());
    CUtlBuffer tabbed(0, 0, B::BUFFER_TEXT | B::BUFFER_CONTAINS_CRLF);
    tabbed.PushTab();
    FUZZ_CHECK(plain.ConvertCRLF(tabbed));
}

// A string written with a conversion reads back unchanged, and the peeks measure it.
void CheckDelimitedRoundTrip(const uint8_t* data, size_t size, Script& script) {
    std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    bool cstring = script.Next() & 1;
    CUtlCharConversion* conv = cstring ? GetCStringCharConversion() : GetNoEscCharConversion();
    // The no-escape scheme cannot carry its delimiter or its escape character.
    if (!cstring && text.find_first_of("\"\x7f") != std::string::npos) return;

    CUtlBuffer buf(0, 0, B::BUFFER_TEXT);
    if (cstring && (script.Next() & 1)) buf.PushTab();  // nothing raw in it to tab after
    buf.PutDelimitedString(conv, text.c_str());
    FUZZ_CHECK(buf.IsValid());
    FUZZ_CHECK(buf.PeekDelimitedStringLength(conv, true) == static_cast<int>(text.size()) + 1);
    FUZZ_CHECK(buf.PeekDelimitedStringLength(conv, false) == buf.TellMaxPut() + 1);
    ExactBlock dest(text.size() + 1);
    buf.GetDelimitedString(conv, dest.data(), 0);
    FUZZ_CHECK(buf.IsValid());
    FUZZ_CHECK(text == dest.data());
    FUZZ_CHECK(buf.TellGet() == buf.TellPut());
}

// Typed values come back as written, in both modes.
void CheckTypedRoundTrip(const uint8_t* data, size_t size) {
    int64_t wide = 0;
    memcpy(&wide, data, size < sizeof(wide) ? size : sizeof(wide));
    int narrow = static_cast<int>(wide);
    float real;
    memcpy(&real, &narrow, sizeof(real));

    CUtlBuffer binary;
    binary.PutInt(narrow);
    binary.PutFloat(real);
    binary.PutInt64(wide);
    FUZZ_CHECK(binary.GetInt() == narrow);
    // A float returned through the x87 stack may have its NaN quieted: compare values.
    float back = binary.GetFloat();
    FUZZ_CHECK(back == real || (back != back && real != real));
    FUZZ_CHECK(binary.GetInt64() == wide);
    FUZZ_CHECK(binary.IsValid());

    CUtlBuffer text(0, 0, B::BUFFER_TEXT);
    text.PutInt(narrow);
    text.PutChar(' ');
    text.PutInt64(wide);
    text.PutChar(' ');
    text.PutUnsignedInt(static_cast<unsigned int>(narrow));
    FUZZ_CHECK(text.GetInt() == narrow);
    FUZZ_CHECK(text.GetInt64() == wide);
    FUZZ_CHECK(text.GetUnsignedInt() == static_cast<unsigned int>(narrow));
    FUZZ_CHECK(text.IsValid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1 << 20)) return 0;
    const uint8_t mode = data[0];
    size_t scriptLength = 1 + data[1] % 16;
    if (scriptLength > size - 2) scriptLength = size - 2;
    Script script(data + 2, scriptLength);
    const uint8_t* body = data + 2 + scriptLength;
    const size_t bodySize = size - 2 - scriptLength;
    const int flags = ((mode & 1) ? B::BUFFER_TEXT : 0) | ((mode & 2) ? B::BUFFER_CONTAINS_CRLF : 0);

    {
        ExactBuffer readOnly(body, bodySize, flags);
        ReadOperations(readOnly.buf, script);
        FUZZ_CHECK(memcmp(readOnly.block.data(), body, bodySize) == 0);
    }
    {
        CUtlBuffer owned(0, 0, flags);
        owned.Put(body, static_cast<int>(bodySize));
        ReadOperations(owned, script);
    }
    CheckLineEndRoundTrip(body, bodySize, script);
    CheckDelimitedRoundTrip(body, bodySize, script);
    CheckTypedRoundTrip(body, bodySize);
    return 0;
}
