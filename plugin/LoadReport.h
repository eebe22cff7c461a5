// The diagnostic report printed on every load: which engine interfaces are missing and
// what the function table holds.
#pragma once

// Prints the report through DebugMsg (console and server log); each table record goes
// to the console only. Changes nothing.
void CheckPlugin();

// Prints one table record's lines ("Name: ", "Index: ", "Addr: ", "Sig: ", "Mask: ",
// "Symbol: ") with Msg. Each line is formatted in a 1 KB buffer, so a very long name,
// mask or symbol is shown truncated. Shared with the console listing.
struct vrn_sigscan_struct;
void PrintSigScanRecord(const vrn_sigscan_struct& record);
