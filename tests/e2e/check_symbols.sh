#!/usr/bin/env bash
# check_symbols.sh PLUGIN EXPORTS RUNTIME_LIB...
# Fails when PLUGIN exports a symbol missing from EXPORTS, lacks one listed there, or
# imports a symbol that neither the C/C++ runtime, the math library, the loader nor the
# given runtime libraries define.
set -euo pipefail
plugin=$1
exports=$2
shift 2
status=0

actual=$(nm -D --defined-only "$plugin" | awk '{print $3}' | sed 's/@.*//' | sort -u)
expected=$(grep -v -E '^\s*(#|$)' "$exports" | sort -u)
unexpected=$(comm -23 <(echo "$actual") <(echo "$expected"))
absent=$(comm -13 <(echo "$actual") <(echo "$expected"))
if [ -n "$unexpected" ]; then echo "unexpected exports:"; echo "$unexpected"; status=1; fi
if [ -n "$absent" ]; then echo "missing exports:"; echo "$absent"; status=1; fi

# Libraries an import may come from: the plugin's own runtime dependencies as the
# loader resolves them (the C/C++ runtime, libm, libgcc, libdl), plus the two runtime
# libraries of the engine.
libs=$(ldd "$plugin" | awk '/=>/ {print $3}' | grep -E '/(libc|libm|libstdc\+\+|libgcc_s|libdl|ld-linux)[.-]' || true)
provided=$(for lib in $libs "$@"; do nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//'; done | sort -u)
imports=$(nm -D --undefined-only "$plugin" | awk '$1 == "U" {print $2}' | sed 's/@.*//' | sort -u)
unresolved=$(comm -23 <(echo "$imports") <(echo "$provided"))
if [ -n "$unresolved" ]; then echo "imports from outside the allowed libraries:"; echo "$unresolved"; status=1; fi

[ $status -eq 0 ] && echo "exports and imports as expected ($(echo "$actual" | wc -l) exports)"
exit $status
