// The file names the platform gives its modules, per architecture: the suffix of a
// module the engine loads ("server" becomes "server_i486.so") and the game server
// library's place under the game directory. The 32-bit names are the engine's own. The
// 64-bit names are this plugin's choice: a 64-bit engine that names its modules otherwise
// needs these two constants changed to match, and nothing else.
#pragma once

#if defined(__x86_64__)
inline constexpr char kModuleSuffix[] = "_amd64.so";
inline constexpr char kGameServerLibrary[] = "bin/server_amd64.so";
#else
inline constexpr char kModuleSuffix[] = "_i486.so";
inline constexpr char kGameServerLibrary[] = "bin/server_i486.so";
#endif
