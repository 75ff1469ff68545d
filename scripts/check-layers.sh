#!/bin/sh
# Keeps the library's folders layered: a file may include its own folder and the folders below it only.
# Prints each upward include and exits non-zero when there is one.
set -eu
cd "$(dirname "$0")/.."

# folder: the folders it may include besides itself (qolt_api.h, the exported interface, is open to all)
allowed() {
    case "$1" in
    api) echo "playback stream synth device core sync" ;;
    playback) echo "stream synth core sync" ;;
    stream) echo "synth device core sync" ;;
    synth) echo "core sync" ;;
    device) echo "core sync" ;;
    core) echo "sync" ;;
    sync) echo "" ;;
    esac
}

status=0
for dir in api playback stream synth device core sync; do
    ok="$dir $(allowed "$dir")"
    for file in $(find "$dir" -name '*.cpp' -o -name '*.h' | sort); do
        grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | while IFS= read -r line; do
            target=$(printf '%s\n' "$line" | sed 's/.*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/')
            case "$target" in
            qolt_api.h | */qolt_api.h) continue ;;
            */*) top=${target%%/*} ;;
            *) continue ;; # beside the including file
            esac
            found=0
            for a in $ok; do
                [ "$a" = "$top" ] && found=1
            done
            # Folders outside the library (generated headers) are not layered.
            case "$top" in api | playback | stream | synth | device | core | sync) ;; *) found=1 ;; esac
            if [ "$found" = 0 ]; then
                echo "$file:${line%%:*}: $dir/ includes $target"
                echo x >>"${TMPDIR:-/tmp}/qolt-layers.$$"
            fi
        done
    done
done
if [ -e "${TMPDIR:-/tmp}/qolt-layers.$$" ]; then
    rm -f "${TMPDIR:-/tmp}/qolt-layers.$$"
    echo "upward includes found" >&2
    status=1
fi
exit $status
