#!/usr/bin/env bash
# Checks the Windows DLL: its export table holds every member of the class under its own name,
# and it imports nothing but system DLLs.
set -euo pipefail
dll=${1:-build-mingw/RizOrodOzido.dll}
root=$(cd "$(dirname "$0")/.." && pwd)
table=$(i686-w64-mingw32-objdump -p "$dll")

imports=$(printf '%s\n' "$table" | sed -n 's/^\s*DLL Name: //p')
echo "imports: $(echo $imports)"
for name in $imports; do
  case "${name,,}" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ws2_32.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*) ;;
    *) echo "imports a DLL that is not a system DLL: $name" >&2; exit 1 ;;
  esac
done

symbols=$(mktemp)
trap 'rm -f "$symbols"' EXIT
# Export table rows: "[ordinal] name"; demangled as on the host (i686 MinGW names carry no extra underscore).
printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[\s*[0-9]*\] //p' | c++filt > "$symbols"
echo "exports: $(wc -l < "$symbols") names"
cmake -DSYMBOLS_FILE="$symbols" -DSOURCE_DIR="$root" -P "$root/tests/shared/check_exports.cmake"
