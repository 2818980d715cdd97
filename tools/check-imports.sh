#!/usr/bin/env bash
# Lists the imports of binaries and fails on any entry of the denylists (function names,
# or "dll:" with a DLL name pattern).
#   check-imports.sh OBJDUMP -d DENYLIST [-d DENYLIST]... PATH...
# A PATH is a .exe or .dll, or a folder whose .exe and .dll files are all checked; an
# empty PATH (a binary that the build does not make) is skipped.
set -euo pipefail
objdump=$1
shift
denylists=()
while [ $# -gt 0 ] && [ "$1" = -d ]; do
    denylists+=("$2")
    shift 2
done
if [ ${#denylists[@]} -eq 0 ]; then
    echo "check-imports: no denylist given" >&2
    exit 2
fi

shopt -s nullglob nocaseglob
binaries=()
for path in "$@"; do
    if [ -z "$path" ]; then
        continue
    elif [ -d "$path" ]; then
        binaries+=("$path"/*.exe "$path"/*.dll)
    elif [ -f "$path" ]; then
        binaries+=("$path")
    else
        echo "check-imports: $path does not exist" >&2
        exit 1
    fi
done
if [ ${#binaries[@]} -eq 0 ]; then
    echo "check-imports: no binaries in $*" >&2
    exit 1
fi

failures=0
for binary in "${binaries[@]}"; do
    # objdump prints "DLL Name: X" before each DLL's table of "hint name" rows.
    report=$("$objdump" -p "$binary" | awk -v denylists="$(printf '%s\n' "${denylists[@]}")" -v binary="$(basename "$binary")" '
        BEGIN {
            count = split(denylists, files, "\n")
            for (i = 1; i <= count; i++) {
                if (files[i] == "") continue
                while ((getline entry < files[i]) > 0) {
                    if (entry ~ /^[[:space:]]*(#|$)/) continue
                    if (entry ~ /^dll:/) { patterns[tolower(substr(entry, 5))] = 1 } else { names[entry] = 1 }
                }
                close(files[i])
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
