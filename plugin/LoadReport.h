// The diagnostic report printed on every load: which engine interfaces are missing and
// what the function table holds.
#pragma once

// Prints the report through DebugMsg (console and server log); each table record goes
// to the console only. Changes nothing.
void CheckPlugin();
