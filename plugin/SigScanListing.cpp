// The record lines of the load report and of "vl_sigscan".
#include "plugin/SigScanListing.h"

#include <stdint.h>
#include <stdio.h>

#include "sigscan/SigScanData.h"
#include "tier1/ConsoleLine.h"

namespace {

// "Label: " and a record's text field, read no further than the field's size.
template <size_t N>
void PrintTextField(const char* label, const char (&field)[N]) {
    CConsoleLine line;
    line.Append(label);
    line.AppendEscaped(field, N);
    line.End();
}

// "Label: " and a text of the program (a number).
void PrintLine(const char* label, const char* text) {
    CConsoleLine line;
    line.Append(label);
    line.Append(text);
    line.End();
}

}  // namespace

void PrintSigScanRecord(const vrn_sigscan_struct& record) {
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
}
