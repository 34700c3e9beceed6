#!/usr/bin/env bash
# Checks a Windows DLL's export and import tables: exactly the thirteen
# exports, undecorated; imports from system DLLs only. For a 32-bit DLL also
# checks in the machine code that every export removes its own arguments
# (__stdcall): its first return is "ret $N" with N the argument bytes that the
# .def file names (GenerateBMPW@20), a plain "ret" for none.
# Usage: check_dll.sh OBJDUMP DLL DEF
set -euo pipefail
expected="DestroyBuffer GenerateBMPA GenerateBMPW GeneratePNGA GeneratePNGW GetBackgroundColor
GetForegroundColor GetHBitmapA GetHBitmapW GetPNGA GetPNGW SetBackgroundColor SetForegroundColor"
table=$("$1" -p "$2")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | awk '/^[[:space:]]*\[ *[0-9]+\]/ { print $NF }' | sort)
status=0
if ! diff <(tr ' ' '\n' <<<"$expected" | sort) <(echo "$exports"); then
  echo "exports of $2 differ ('<' missing, '>' unexpected)"
  status=1
fi
imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$table" | sort -u)
unexpected=$(grep -vxE 'KERNEL32.DLL|GDI32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL' <<<"$imports" || true)
if [ -n "$unexpected" ]; then
  echo "$2 imports DLLs that are not the system's: $unexpected"
  status=1
fi
echo "imports:" $imports

if [[ $(file -b "$2") != *PE32+* ]]; then
  base=$((16#$(awk '/^ImageBase/ { print $2 }' <<<"$table")))
  while read -r name bytes; do
    rva=$(winedump -j export "$2" | awk -v n="$name" '$3 == n { print $1 }')
    start=$((base + 16#$rva))
    ret=$("$1" -d --no-show-raw-insn --start-address=$start --stop-address=$((start + 8192)) "$2" |
          awk '/\tret/ && !found { found = 1; sub(/.*\tret[lw]? */, ""); print }')
    want=$([ "$bytes" -eq 0 ] && echo "" || printf '$0x%x' "$bytes")
    if [ "$ret" != "$want" ]; then
      echo "$name returns with 'ret $ret', not 'ret $want': the caller's stack would be unbalanced"
      status=1
    fi
  done < <(awk -F@ '/^ +[A-Za-z]+@[0-9]+/ { gsub(/ /, "", $1); print $1, $2 }' "$3")
  [ $status -eq 0 ] && echo "every export removes its own arguments"
fi
exit $status
