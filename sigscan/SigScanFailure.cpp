// The operator's texts of the failures of locating game functions.
#include "sigscan/SigScanFailure.h"

#include <stdint.h>
#include <stdio.h>

#include "tier1/ConsoleLine.h"

namespace {

void AppendNumber(CConsoleLine& line, size_t value) {
    char text[24];
    snprintf(text, sizeof(text), "%u", static_cast<unsigned>(value));
    line.Append(text);
}

// "SigScan ERROR: <route> fallback failed for function "<entry>": "
void AppendFallbackStart(CConsoleLine& line, const char* route, const char* entry) {
    line.Append("SigScan ERROR: ");
    line.Append(route);
    line.Append(" fallback failed for function \"");
    line.AppendEscaped(entry, SIZE_MAX);
    line.Append("\": ");
}

}  // namespace

void AppendSigScanFailure(CConsoleLine& line, const SigScanFailure& failure) {
    switch (failure.reason) {
        case SIGSCAN_DATA_FILE_UNREADABLE:
            line.Append("Fail loading SigScan file\n");
            line.AppendEscaped(failure.detail, SIZE_MAX);
            return;
        case SIGSCAN_GAME_DIR_TOO_LONG:
            line.Append("SigScan ERROR: the game directory is too long for the server library path (");
            AppendNumber(line, failure.count);
            line.Append(" characters), This means signature scanning all failed");
            return;
        case SIGSCAN_LIBRARY_NOT_OPENED:
            // The loader's text repeats the path, and so the game directory, whatever bytes it holds.
            line.Append("SigScan ERROR: dlopen() failed with error: \"");
            line.AppendEscaped(failure.detail ? failure.detail : "unknown error", SIZE_MAX);
            line.Append("\", This means signature scanning all failed");
            return;
        case SIGSCAN_NO_BASE_ADDRESS:
            line.Append("SigScan ERROR: There was a error getting base address");
            return;
        case SIGSCAN_EXPORT_MISSING:
            // The entry name comes from the data file, and the loader's text repeats the symbol.
            line.Append("SigScan ERROR: dlsym() failed for function \"");
            line.AppendEscaped(failure.entry, SIZE_MAX);
            line.Append("\" with error: \"");
            line.AppendEscaped(failure.detail ? failure.detail : "symbol has a null address", SIZE_MAX);
            line.Append("\", plugin will not function properly.");
            return;
        case SIGSCAN_SYMBOLS_FILE_UNKNOWN:
            AppendFallbackStart(line, "symbol table", failure.entry);
            line.Append("the library file is not known");
            return;
        case SIGSCAN_SYMBOLS_UNUSABLE:
            AppendFallbackStart(line, "symbol table", failure.entry);
            line.Append(failure.detail);
            return;
        case SIGSCAN_SYMBOL_NOT_IN_TABLE:
            AppendFallbackStart(line, "symbol table", failure.entry);
            line.Append("no symbol \"");
            line.AppendEscaped(failure.symbol, SIZE_MAX);
            line.Append("\"");
            return;
        case SIGSCAN_SYMBOL_OUTSIDE_LIBRARY:
            AppendFallbackStart(line, "symbol table", failure.entry);
            line.Append("the symbol lies outside the loaded library");
            return;
        case SIGSCAN_MASK_LONGER_THAN_SIGNATURE:
            AppendFallbackStart(line, "signature", failure.entry);
            line.Append("the mask has ");
            AppendNumber(line, failure.count);
            line.Append(" characters but the signature only ");
            AppendNumber(line, failure.limit);
            line.Append(" bytes");
            return;
        case SIGSCAN_CODE_NOT_FOUND:
            AppendFallbackStart(line, "signature", failure.entry);
            line.Append("the library's code was not found");
            return;
        case SIGSCAN_MASK_FIXES_NO_BYTE:
            AppendFallbackStart(line, "signature", failure.entry);
            line.Append("the mask fixes no byte");
            return;
        case SIGSCAN_SIGNATURE_NOT_UNIQUE:
            AppendFallbackStart(line, "signature", failure.entry);
            line.Append("the signature matched ");
            AppendNumber(line, failure.count);
            line.Append(" places, it must match exactly one");
            return;
        case SIGSCAN_SIGNATURE_NOT_HEX:
            AppendFallbackStart(line, "signature", failure.entry);
            line.Append("the signature text is not pairs of hexadecimal digits");
            return;
        case SIGSCAN_BLOCKS_NOT_READ:
            line.Append("SigScan: ");
            AppendNumber(line, failure.count);
            line.Append(failure.count == 1 ? " block" : " blocks");
            line.Append(" of the data file not read (");
            line.AppendEscaped(failure.detail, SIZE_MAX);
            line.Append("): only its first block is read, and #include adds the included file's blocks after it");
            return;
    }
}

void PrintSigScanFailure(const SigScanFailure& failure) {
    CConsoleLine line(failure.reason == SIGSCAN_BLOCKS_NOT_READ ? 1 : 0);
    AppendSigScanFailure(line, failure);
    line.End();
}
