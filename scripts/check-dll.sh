#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks a Windows DLL of the library, 32- or 64-bit: its export table holds every member of the
# class under its own name and every function of the C interface under its plain, undecorated
# name; and every DLL that it needs, directly or through the DLLs beside it, is a system DLL or
# one of the toolchain's runtime DLLs, present beside it.
#   scripts/check-dll.sh [build-mingw/RizOrodOzido.dll]
set -euo pipefail
dll=${1:-build-mingw/RizOrodOzido.dll}
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(dirname "$dll")
objdump=
for candidate in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump; do
  if "$candidate" -f "$dll" >/dev/null 2>&1; then objdump=$candidate; break; fi
done
[[ -n $objdump ]] || { echo "$dll: not a DLL that the MinGW-w64 binutils can read" >&2; exit 1; }
table=$("$objdump" -p "$dll")

imports() { "$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
is_system() {
  case "${1,,}" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ws2_32.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*) ;;
    *) return 1 ;;
  esac
}
echo "imports: $(imports "$dll" | tr '\n' ' ')"
declare -A seen=()
pending=("$dll")
while ((${#pending[@]})); do
  current=${pending[0]}
  pending=("${pending[@]:1}")
  for name in $(imports "$current"); do
    is_system "$name" && continue
    [[ -n ${seen[$name]:-} ]] && continue
    seen[$name]=1
    case "$name" in
      libstdc++-6.dll|libgcc_s_*.dll|libwinpthread-1.dll) ;;
      *) echo "$(basename "$current") imports $name, neither a system DLL nor a runtime DLL" >&2; exit 1 ;;
    esac
    [[ -f $dir/$name ]] || { echo "$(basename "$current") imports $name, which is not beside it in $dir" >&2; exit 1; }
    pending+=("$dir/$name")
  done
done
echo "runtime DLLs beside it: ${!seen[*]}"

symbols=$(mktemp)
trap 'rm -f "$symbols"' EXIT
# Export table rows: "[ordinal] name"; demangled as on the host (MinGW's C++ names carry no
# extra underscore, and a C function's export name is its own name).
printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[\s*[0-9]*\] //p' | c++filt > "$symbols"
echo "exports: $(wc -l < "$symbols") names"
cmake -DSYMBOLS_FILE="$symbols" -DSOURCE_DIR="$root" -P "$root/tests/shared/check_exports.cmake"
