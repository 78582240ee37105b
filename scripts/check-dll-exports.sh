#!/usr/bin/env bash
# Checks a DLL's export and import tables as objdump -p prints them.
#   check-dll-exports.sh OBJDUMP DLL EXPECTED_EXPORTS ALLOWED_IMPORTS
# EXPECTED_EXPORTS: lines "Name Ordinal"; the DLL must export exactly these names, each at its ordinal,
# and nothing else (no decorated second names, no exports by ordinal only).
# ALLOWED_IMPORTS: DLL names separated by spaces (any case); the DLL may import from no other DLL.
# Prints what differs and exits 1 on any difference.
set -euo pipefail
objdump=$1
dll=$2
expected=$3
allowed=$4

if [ ! -f "$dll" ]; then
  echo "FAIL $dll: missing" >&2
  exit 1
fi
dump=$("$objdump" -p "$dll")

# The name table lists "[index] name" with index = ordinal - base.
actual=$(printf '%s\n' "$dump" | awk '
  /^Ordinal Base/ { base = $3 }
  /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
  names && /^[ \t]*\[ *[0-9]+\] / {
    line = $0; sub(/^[ \t]*\[ */, "", line); split(line, f, /\] */)
    print f[2], base + f[1]; next
  }
  names { names = 0 }' | sort)
# Every entry of the address table (exports with or without a name).
address_entries=$(printf '%s\n' "$dump" | awk '
  /^Export Address Table -- Ordinal Base/ { table = 1; next }
  table && /\+base\[/ { n++; next }
  table { table = 0 }
  END { print n + 0 }')
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)

status=0
if ! diff_out=$(diff <(printf '%s\n' "$expected" | sort) <(printf '%s\n' "$actual")); then
  echo "FAIL $dll: exports differ from the table (< expected, > found):" >&2
  printf '%s\n' "$diff_out" >&2
  status=1
fi
expected_count=$(printf '%s\n' "$expected" | grep -c .)
if [ "$address_entries" -ne "$expected_count" ]; then
  echo "FAIL $dll: $address_entries exported addresses, expected $expected_count" >&2
  status=1
fi
for dep in $imports; do
  case " $(echo "$allowed" | tr '[:upper:]' '[:lower:]') " in
    *" $dep "*) ;;
    *) echo "FAIL $dll: imports $dep" >&2; status=1 ;;
  esac
done
if [ "$status" -eq 0 ]; then
  echo "ok $dll: $expected_count exports at their ordinals; imports $(tr "\n" " " <<< "$imports")"
fi
exit $status
