#!/usr/bin/env bash
# Checks that QUOLog.dll exports exactly ordinals 1 to 6 without names, and that a
# program bound to it imports by ordinal only.
#   check-ordinals.sh OBJDUMP DLL PROGRAM
set -euo pipefail
objdump=$1 dll=$2 program=$3

exports=$("$objdump" -p "$dll")
ordinals=$(printf '%s\n' "$exports" | awk '/^Export Address Table -- Ordinal Base/ {on=1; next} on && NF==0 {on=0}
    on && match($0, /\+base\[ *[0-9]+\]/) {s=substr($0, RSTART, RLENGTH); gsub(/[^0-9]/, "", s); print s}' | tr '\n' ' ')
if [ "$ordinals" != "1 2 3 4 5 6 " ]; then
    echo "QUOLog.dll exports ordinals [$ordinals], not 1 to 6" >&2
    exit 1
fi
names=$(printf '%s\n' "$exports" | awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF==0 {on=0} on {print}')
if [ -n "$names" ]; then
    echo "QUOLog.dll exports names: $names" >&2
    exit 1
fi

# Rows of the import table for QUOLog.dll: "vma hint/ordinal name".
rows=$("$objdump" -p "$program" | awk '/DLL Name:/ {dll=$3; next} dll=="QUOLog.dll" && NF==0 {dll=""} dll=="QUOLog.dll" && $1 ~ /^[0-9a-f]+$/ {print}')
if [ -z "$rows" ]; then
    echo "$(basename "$program") does not import QUOLog.dll" >&2
    exit 1
fi
if printf '%s\n' "$rows" | grep -qv '<none>'; then
    echo "$(basename "$program") imports QUOLog.dll by name:" >&2
    printf '%s\n' "$rows" >&2
    exit 1
fi
imported=$(printf '%s\n' "$rows" | awk '{print $2 + 0}' | sort -n | tr '\n' ' ')
if [ "$imported" != "1 2 3 4 5 6 " ]; then
    echo "$(basename "$program") imports ordinals [$imported], not 1 to 6" >&2
    exit 1
fi
echo "QUOLog.dll: ordinals 1-6 without names; $(basename "$program") binds them by ordinal"
