#!/usr/bin/env bash
# Saves a PNG of the X window titled TITLE on $DISPLAY, waiting up to 30 s for it to
# be shown (the whole screen when it is not).
#
#   screenshot.sh TITLE FILE.png
set -euo pipefail
title=$1
out=$2
id=
for _ in $(seq 1 60); do
    for candidate in $(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | awk '{print $1}'); do
        if xwininfo -id "$candidate" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            id=$candidate
        fi
    done
    [ -n "$id" ] && break
    sleep 0.5
done
sleep 2  # let the window paint and take a sample or two
if [ -n "$id" ]; then
    import -window "$id" "$out"
else
    echo "screenshot: no window \"$title\"; the whole screen instead" >&2
    import -window root "$out"
fi
