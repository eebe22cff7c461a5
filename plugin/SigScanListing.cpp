// The record lines of the load report and of "vl_sigscan".
#include "plugin/SigScanListing.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "sigscan/SigScanData.h"
#include "sigscan/SigScanFallback.h"
#include "tier1/ConsoleLine.h"

namespace {

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

}  // namespace

void PrintSigScanRecord(const vrn_sigscan_struct& record, const char* trailer) {
    // One line object for the whole block: it goes out in one Msg call when it fits, and
    // is otherwise cut only between whole pieces.
    CConsoleLine block;
    block.Append("Name: ", 6);
    block.AppendEscaped(record.funcName, sizeof(record.funcName));
    block.Append("\nIndex: ", 8);
    char number[12];
    block.Append(number, FormatDecimal(record.funcIndex, number));
    block.Append("\nAddr: ", 7);
    char address[10];
    FormatAddress(record.funcAddress, address);
    block.Append(address, sizeof(address));
    block.Append("\nSig: ", 6);
    block.AppendEscaped(record.sigBytes, SIZE_MAX, true);
    block.Append("\nMask: ", 7);
    block.AppendEscaped(record.sigMask, sizeof(record.sigMask));
    block.Append("\nSymbol: ", 9);
    block.AppendEscaped(record.symbolName, sizeof(record.symbolName));
    block.Append("\n", 1);
    block.Append(trailer);
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
