// The name index beside the function table: constant-time lookups of a record by entry
// name, ignoring letter case, that always agree with a walk of the table from the start.
#pragma once

// Rebuilds the name index of GetFuncIndex and GetFuncAddr from VRN_SigScan_Data. Whoever
// changes the table (fills, clears, or swaps in a rebuilt one) calls this afterwards;
// InstallSigScanTable and ClearSigScanData do. A lookup that finds the table's record
// count or storage changed since the last rebuild rebuilds first, so a missed call costs
// time, not a wrong answer, unless records were rewritten in place. An empty table holds
// no index memory, so emptying the table at library unload releases it.
void RebuildSigScanIndex();
// The index lookup behind GetFuncIndex: the first record, in table order, whose name
// equals `name` ignoring letter case (strcasecmp), or -1 (also for null).
int FindSigScanRecord(const char* name);
