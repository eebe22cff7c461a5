// Why a step of locating game functions failed, as a value: the table build and the
// resolver hand each failure to a report sink the caller supplies, in the order they
// happen, and print nothing themselves. The caller (the plugin's load step) decides what
// reaches the console; the texts an operator reads are made in one place, below.
#pragma once

#include <stddef.h>

class CConsoleLine;

enum SigScanFailureReason {
    SIGSCAN_DATA_FILE_UNREADABLE,    // `detail`: the data file's path
    SIGSCAN_GAME_DIR_TOO_LONG,       // `count`: characters the library path needs
    SIGSCAN_LIBRARY_NOT_OPENED,      // `detail`: the loader's message
    SIGSCAN_NO_BASE_ADDRESS,         // follows either of the two above: nothing resolves
    SIGSCAN_EXPORT_MISSING,          // `entry`; `detail`: the loader's message
    SIGSCAN_SYMBOLS_FILE_UNKNOWN,    // `entry`: the loader named no file for the library
    SIGSCAN_SYMBOLS_UNUSABLE,        // `entry`; `detail`: why the file's symbol table is unusable
    SIGSCAN_SYMBOL_NOT_IN_TABLE,     // `entry`, `symbol`
    SIGSCAN_SYMBOL_OUTSIDE_LIBRARY,  // `entry`: the symbol's address is not in the mapped library
    SIGSCAN_MASK_LONGER_THAN_SIGNATURE,  // `entry`; `count`: mask characters, `limit`: signature bytes
    SIGSCAN_CODE_NOT_FOUND,              // `entry`: the library's code segments were not found
    SIGSCAN_MASK_FIXES_NO_BYTE,          // `entry`
    SIGSCAN_SIGNATURE_NOT_UNIQUE,        // `entry`; `count`: the places it matched
    SIGSCAN_SIGNATURE_NOT_HEX,           // `entry`: the signature text is not hexadecimal digit pairs
    SIGSCAN_BLOCKS_NOT_READ,  // `count` blocks after the file's first; `detail`: their names, quoted
};

// One failure. The texts are borrowed: valid during the report call only.
struct SigScanFailure {
    SigScanFailureReason reason;
    const char* entry = nullptr;   // the data file's entry name (outside text)
    const char* detail = nullptr;  // see the reason (outside text, except a path of ours)
    const char* symbol = nullptr;  // the entry's symbol (outside text)
    size_t count = 0;
    size_t limit = 0;
};

// Receives the failures of a build or a resolution, in order.
class ISigScanReport {
public:
    virtual void OnFailure(const SigScanFailure& failure) = 0;

protected:
    ~ISigScanReport() = default;
};

// Appends the operator's line for `failure`, without its line feed: "SigScan ERROR: "
// and the reason, with every outside text escaped as CConsoleLine::AppendEscaped does,
// so that a data file or a library path cannot forge console lines. (The data-file
// failure's text spans two lines, the second the path.)
void AppendSigScanFailure(CConsoleLine& line, const SigScanFailure& failure);

// Prints that line, with its line feed, through one CConsoleLine: on the developer
// channel (level 1) for SIGSCAN_BLOCKS_NOT_READ, a hint rather than a failure, and with
// Msg for every other reason.
void PrintSigScanFailure(const SigScanFailure& failure);
