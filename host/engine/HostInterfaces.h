// The engine's interface objects, looked up by version string.
#pragma once

// One of the seven engine interfaces by version string, or null.
void* HostEngineInterface(const char* name);
void HostSeedRandomStream(unsigned int seed);
// The read alignment the file system reports for every file; 0 reports none.
extern unsigned int g_hostReadAlignment;
