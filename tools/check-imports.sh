#!/usr/bin/env bash
# Lists the imports of every .exe and .dll in a folder and fails on any entry of a
# denylist (function names, or "dll:" with a DLL name pattern).
#   check-imports.sh OBJDUMP DENYLIST FOLDER
set -euo pipefail
objdump=$1 denylist=$2 folder=$3

shopt -s nullglob nocaseglob
binaries=("$folder"/*.exe "$folder"/*.dll)
if [ ${#binaries[@]} -eq 0 ]; then
    echo "check-imports: no binaries in $folder" >&2
    exit 1
fi

failures=0
for binary in "${binaries[@]}"; do
    # objdump prints "DLL Name: X" before each DLL's table of "hint name" rows.
    report=$("$objdump" -p "$binary" | awk -v denylist="$denylist" -v binary="$(basename "$binary")" '
        BEGIN {
            while ((getline entry < denylist) > 0) {
                if (entry ~ /^[[:space:]]*(#|$)/) continue
                if (entry ~ /^dll:/) { patterns[tolower(substr(entry, 5))] = 1 } else { names[entry] = 1 }
            }
        }
        function glob_to_regex(glob,   re) {
            re = glob
            gsub(/\./, "\\.", re); gsub(/\*/, ".*", re); gsub(/\?/, ".", re)
            return "^" re "$"
        }
        /DLL Name:/ {
            dll = $3
            for (p in patterns) if (tolower(dll) ~ glob_to_regex(p)) print binary ": imports from " dll
            next
        }
        dll != "" && NF >= 3 && $1 ~ /^[0-9a-f]+$/ && ($3 in names) { print binary ": imports " $3 " from " dll }
        dll != "" && NF == 0 { dll = "" }
    ')
    if [ -n "$report" ]; then
        echo "$report"
        failures=$((failures + $(printf '%s\n' "$report" | wc -l)))
    fi
    echo "checked $(basename "$binary")"
done

if [ $failures -gt 0 ]; then
    echo "check-imports: $failures denied import(s)" >&2
    exit 1
fi
