#!/bin/bash
# plimbadoosh.exe stands alone: it imports only DLLs that every Windows has;
# the DirectX modules are loaded at run time, so they are not among them.
set -euo pipefail
build="$1"
imports="$(x86_64-w64-mingw32-objdump -p "$build/plimbadoosh.exe" | awk '/DLL Name:/ {print toupper($3)}' | sort)"
echo "$imports"
for dll in $imports; do
  case "$dll" in
    KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | OLE32.DLL | OLEAUT32.DLL | MSVCRT.DLL | ADVAPI32.DLL) ;;
    *) echo "FAIL: unexpected import $dll" >&2; exit 1 ;;
  esac
done
for dll in DDRAW.DLL DINPUT.DLL DSOUND.DLL; do
  if grep -qx "$dll" <<<"$imports"; then echo "FAIL: $dll is linked, not loaded at run time" >&2; exit 1; fi
done
echo ok
