// The record lines of the load report and of "vl_sigscan".
#include "plugin/SigScanListing.h"

#include <stdint.h>

#include "sigscan/SigScanTable.h"
#include "tier1/ConsoleLine.h"

namespace {

// `value` in decimal.
void AppendDecimal(CConsoleLine& line, int value) {
    char digits[12];
    size_t start = sizeof(digits);
    // Work on the magnitude as unsigned so that INT_MIN needs no special case.
    unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        digits[--start] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits[--start] = '-';
    line.Append(digits + start, sizeof(digits) - start);
}

// "0x" and eight lower-case hexadecimal digits of the address's low 32 bits.
void AppendAddress(CConsoleLine& line, const void* address) {
    static const char kLowerHex[] = "0123456789abcdef";
    const unsigned int value = static_cast<unsigned int>(reinterpret_cast<uintptr_t>(address));
    char text[10] = {'0', 'x'};
    for (int digit = 0; digit < 8; ++digit) text[2 + digit] = kLowerHex[(value >> (28 - 4 * digit)) & 0xF];
    line.Append(text, sizeof(text));
}

// The one rendering of a record; `route` (null for none) adds the "Found: " line.
void PrintRecord(const vrn_sigscan_struct& record, const char* route, const char* trailer) {
    CConsoleLine line;
    line.Append("Name: ", 6);
    line.AppendEscaped(record.funcName, sizeof(record.funcName));
    line.Append("\nIndex: ", 8);
    AppendDecimal(line, record.funcIndex);
    line.Append("\nAddr: ", 7);
    AppendAddress(line, record.funcAddress);
    line.Append("\nSig: ", 6);
    line.AppendEscaped(record.sigBytes, SIZE_MAX, true);
    line.Append("\nMask: ", 7);
    line.AppendEscaped(record.sigMask, sizeof(record.sigMask));
    line.Append("\nSymbol: ", 9);
    line.AppendEscaped(record.symbolName, sizeof(record.symbolName));
    line.Append("\n", 1);
    if (route) {
        line.Append("Found: ", 7);
        line.Append(route);
        line.Append("\n", 1);
    }
    line.Append(trailer);
}

}  // namespace

void PrintSigScanRecord(const vrn_sigscan_struct& record, const char* trailer) {
    PrintRecord(record, nullptr, trailer);
}

void PrintSigScanTableRecord(int index, const char* trailer) {
    const SigScanRoute route = GetFuncRoute(index);
    PrintRecord(VRN_SigScan_Data[index], route == SIGSCAN_ROUTE_NONE ? nullptr : SigScanRouteName(route), trailer);
}
