// The record lines of the load report and of "vl_sigscan".
#include "plugin/SigScanListing.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "sigscan/SigScanTable.h"
#include "sigscan/SigScanFallback.h"
#include "tier0/dbg.h"
#include "tier1/ConsoleLine.h"

namespace {

const char kHex[] = "0123456789ABCDEF";

// Builds the block in a fixed buffer without a call per byte. Once a piece does not fit,
// the writer stops taking pieces and reports it, and the caller prints the record the
// long way instead.
class BlockWriter {
public:
    static const size_t kCapacity = static_cast<size_t>(CConsoleLine::kBufferSize) - 1;

    bool Fits() const { return fits_; }
    const char* Text() {
        text_[used_] = '\0';
        return text_;
    }

    void Put(const char* text, size_t length) {
        if (!fits_ || length > kCapacity - used_) {
            fits_ = false;
            return;
        }
        memcpy(text_ + used_, text, length);
        used_ += length;
    }
    void Put(const char* text) {
        if (text) Put(text, strlen(text));
    }

    // `text` up to its first zero byte and at most `maxLength` bytes, escaped exactly as
    // CConsoleLine::AppendEscaped escapes it: printable runs are copied whole, every other
    // byte (and '\' when asked) becomes "\xNN".
    void PutEscaped(const void* text, size_t maxLength, bool escapeBackslash) {
        const unsigned char* bytes = static_cast<const unsigned char*>(text);
        size_t i = 0;
        while (fits_ && i < maxLength && bytes[i] != 0) {
            size_t run = i;
            while (run < maxLength && IsKept(bytes[run], escapeBackslash)) ++run;
            if (run > i) {
                Put(reinterpret_cast<const char*>(bytes + i), run - i);
                i = run;
                continue;
            }
            const unsigned char c = bytes[i];
            const char escape[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
            Put(escape, 4);
            ++i;
        }
    }

private:
    static bool IsKept(unsigned char c, bool escapeBackslash) {
        return c >= 0x20 && c <= 0x7E && !(escapeBackslash && c == '\\');
    }

    char text_[kCapacity + 1];
    size_t used_ = 0;
    bool fits_ = true;
};

// `value` in decimal into `out` (at least 12 bytes); returns the length.
size_t FormatDecimal(int value, char* out) {
    char digits[12];
    size_t count = 0;
    // Work on the magnitude as unsigned so that INT_MIN needs no special case.
    unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = 0;
    if (value < 0) out[length++] = '-';
    while (count > 0) out[length++] = digits[--count];
    return length;
}

// "0x" and eight lower-case hexadecimal digits of the address's low 32 bits.
void FormatAddress(const void* address, char (&out)[10]) {
    const unsigned int value = static_cast<unsigned int>(reinterpret_cast<uintptr_t>(address));
    static const char kLowerHex[] = "0123456789abcdef";
    out[0] = '0';
    out[1] = 'x';
    for (int digit = 0; digit < 8; ++digit) out[2 + digit] = kLowerHex[(value >> (28 - 4 * digit)) & 0xF];
}

// The long way, for a block that does not fit one console call: line by line.
template <size_t N>
void PrintTextField(const char* label, const char (&field)[N]) {
    CConsoleLine line;
    line.Append(label);
    line.AppendEscaped(field, N);
    line.End();
}

void PrintLine(const char* label, const char* text) {
    CConsoleLine line;
    line.Append(label);
    line.Append(text);
    line.End();
}

void PrintRecordLineByLine(const vrn_sigscan_struct& record, const char* trailer) {
    PrintTextField("Name: ", record.funcName);
    char number[16];
    snprintf(number, sizeof(number), "%d", record.funcIndex);
    PrintLine("Index: ", number);
    snprintf(number, sizeof(number), "0x%08x",
             static_cast<unsigned int>(reinterpret_cast<uintptr_t>(record.funcAddress)));
    PrintLine("Addr: ", number);
    CConsoleLine sig;
    sig.Append("Sig: ");
    sig.AppendEscaped(record.sigBytes, SIZE_MAX, true);
    sig.End();
    PrintTextField("Mask: ", record.sigMask);
    PrintTextField("Symbol: ", record.symbolName);
    if (trailer && *trailer) {
        CConsoleLine line;
        line.Append(trailer);
    }
}

}  // namespace

void PrintSigScanRecord(const vrn_sigscan_struct& record, const char* trailer) {
    BlockWriter block;
    block.Put("Name: ", 6);
    block.PutEscaped(record.funcName, sizeof(record.funcName), false);
    block.Put("\nIndex: ", 8);
    char number[12];
    block.Put(number, FormatDecimal(record.funcIndex, number));
    block.Put("\nAddr: ", 7);
    char address[10];
    FormatAddress(record.funcAddress, address);
    block.Put(address, sizeof(address));
    block.Put("\nSig: ", 6);
    if (record.sigBytes) block.PutEscaped(record.sigBytes, SIZE_MAX, true);
    block.Put("\nMask: ", 7);
    block.PutEscaped(record.sigMask, sizeof(record.sigMask), false);
    block.Put("\nSymbol: ", 9);
    block.PutEscaped(record.symbolName, sizeof(record.symbolName), false);
    block.Put("\n", 1);
    block.Put(trailer);
    if (block.Fits()) {
        Msg("%s", block.Text());
    } else {
        PrintRecordLineByLine(record, trailer);
    }
}

void PrintSigScanTableRecord(int index, const char* trailer) {
    const int route = GetFuncRoute(index);
    char withRoute[96];
    if (route >= 0) {
        snprintf(withRoute, sizeof(withRoute), "Found: %s\n%s", SigScanRouteName(route), trailer ? trailer : "");
        trailer = withRoute;
    }
    PrintSigScanRecord(VRN_SigScan_Data[index], trailer);
}
