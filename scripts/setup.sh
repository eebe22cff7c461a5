#!/usr/bin/env bash
# Installs what a fresh machine lacks to build and test the project for both
# architectures (32-bit x86 and x86-64): the 32-bit C/C++ toolchain libraries, the
# GoogleTest source, clang's fuzzer runtime, the two JSON parsers the benchmarks compare
# against (header-only, never part of the product), and, for each architecture, the x86
# decoder library the signature tool uses and libedit (the 32-bit ones through Debian's
# i386 multiarch).
# Idempotent and quiet: it installs only what is missing and prints one line per install.
set -euo pipefail

missing=()

# 32-bit C/C++ libraries: can g++ link a trivial -m32 program?
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
echo 'int main() { return 0; }' > "$probe_dir/probe.cpp"
if ! command -v g++ >/dev/null || ! g++ -m32 "$probe_dir/probe.cpp" -o "$probe_dir/probe" >/dev/null 2>&1; then
  missing+=(g++-multilib)
fi
command -v cmake >/dev/null || missing+=(cmake)
command -v nm >/dev/null || missing+=(binutils)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
command -v clang++ >/dev/null || missing+=(clang)
for arch in i386 x86_64; do
  if ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-$arch.a >/dev/null 2>&1; then
    missing+=(libclang-rt-dev)
    break
  fi
done
[ -f /usr/include/rapidjson/document.h ] || missing+=(rapidjson-dev)
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)

# The x86 decoder (vlsig) and libedit (the host console's line editing at a terminal), for
# x86-64 natively and for i386 through Debian multiarch. The i386 architecture must be
# known to dpkg first.
[ -e /usr/lib/x86_64-linux-gnu/libcapstone.so ] || missing+=(libcapstone-dev)
[ -e /usr/lib/x86_64-linux-gnu/libedit.so ] || missing+=(libedit-dev)
i386=()
if [ ! -f /usr/include/capstone/capstone.h ] || [ ! -e /usr/lib/i386-linux-gnu/libcapstone.so ]; then
  i386+=(libcapstone-dev:i386)
fi
if [ ! -f /usr/lib/i386-linux-gnu/libedit.so ] || [ ! -f /usr/include/histedit.h ]; then
  i386+=(libedit-dev:i386)
fi
if [ ${#i386[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture"
    dpkg --add-architecture i386
  fi
  missing+=("${i386[@]}")
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
