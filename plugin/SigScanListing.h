// How a record of the function table reads on the operator's console, shared by the load
// report and "vl_sigscan".
#pragma once

struct vrn_sigscan_struct;

// Prints the record's six lines with Msg: "Name: ", "Index: " (decimal), "Addr: "
// (0x and eight hexadecimal digits), "Sig: ", "Mask: " and "Symbol: ", followed by
// `trailer` as it is (a program text such as a separator line; null prints nothing).
// Every field is printed whole, however long. The signature's bytes up to its first zero
// byte are shown with every byte outside printable ASCII, and '\', as "\xNN"; the name,
// mask and symbol keep printable ASCII (backslash included) as it is and show every other
// byte as "\xNN", so that no field can end its line or forge another. Changes nothing.
//
// The record goes out through one CConsoleLine: in one console call when it fits in
// CConsoleLine::kBufferSize - 1 bytes, which every record of ordinary length does, so a
// table of thousands of records costs one call each; a longer one in several calls, cut
// only between whole pieces (an escape is never torn).
void PrintSigScanRecord(const vrn_sigscan_struct& record, const char* trailer = nullptr);

// Prints record `index` of VRN_SigScan_Data as PrintSigScanRecord does. When the table
// was built with the fallbacks ("-vl_sigscan_fallback"), a line saying how the record was
// found ("Found: export", "Found: symbol table" or "Found: signature") comes before
// `trailer`; a table built from exports alone prints exactly what PrintSigScanRecord does.
void PrintSigScanTableRecord(int index, const char* trailer);
