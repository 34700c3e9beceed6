#!/usr/bin/env bash
# A Windows DLL's export and import tables: exactly the thirteen classic
# exports and the per-picture family, undecorated; imports from system DLLs only. For a 32-bit DLL also, in the
# machine code, that every export removes its own arguments (__stdcall): its
# first return is "ret $N", N the argument bytes the .def file names
# (GenerateBMPW@20), a plain "ret" for none (reached through a tail jump, if
# the function begins with one).
# Usage: check_dll.sh OBJDUMP DLL DEF
set -euo pipefail
expected="DestroyBuffer GenerateBMPA GenerateBMPW GeneratePNGA GeneratePNGW GetBackgroundColor
GetForegroundColor GetHBitmapA GetHBitmapW GetPNGA GetPNGW SetBackgroundColor SetForegroundColor
QrImageEncodeW QrImageEncodeA QrImageSymbolWidth QrImageSymbolModules QrImageFreeSymbol
QrImageWriteFileW QrImageWriteFileA QrImageGetBlockW QrImageGetBlockA"
table=$("$1" -p "$2")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | awk '/^[[:space:]]*\[ *[0-9]+\]/ { print $NF }' | sort)
status=0
diff <(tr ' ' '\n' <<<"$expected" | sed '/^$/d' | sort) <(echo "$exports") || { echo "exports differ ('<' missing, '>' unexpected)"; status=1; }
imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$table" | sort -u)
if grep -vxE 'KERNEL32.DLL|GDI32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL' <<<"$imports"; then
  echo "imports DLLs that are not the system's"
  status=1
fi
if [[ $(file -b "$2") != *PE32+* ]]; then
  base=$((16#$(awk '/^ImageBase/ { print $2 }' <<<"$table")))
  while read -r name bytes; do
    start=$((base + 16#$(winedump -j export "$2" | awk -v n="$name" '$3 == n { print $1 }')))
    # A function without arguments may end in a tail jump to a plain function,
    # whose "ret" then is its own.
    first=$("$1" -d --no-show-raw-insn --start-address=$start --stop-address=$((start + 16)) "$2" |
            awk '/^ *[0-9a-f]+:\t/ { sub(/^[^\t]*\t/, ""); print; exit }')
    if [[ $bytes -eq 0 && $first =~ ^jmp\ +0x([0-9a-f]+)$ ]]; then
      start=$((16#${BASH_REMATCH[1]}))
    fi
    ret=$("$1" -d --no-show-raw-insn --start-address=$start --stop-address=$((start + 8192)) "$2" |
          awk '/\tret/ && !found { found = 1; sub(/.*\tret[lw]? */, ""); print }')
    want=$([ "$bytes" -eq 0 ] && echo "" || printf '$0x%x' "$bytes")
    if [ "$ret" != "$want" ]; then
      echo "$name returns with 'ret $ret', not 'ret $want': the caller's stack would be unbalanced"
      status=1
    fi
  done < <(awk -F@ '/^ +[A-Za-z]+@[0-9]+/ { gsub(/ /, "", $1); print $1, $2 }' "$3")
fi
exit $status
