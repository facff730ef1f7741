#!/bin/sh
# Checks that includes point down the layers only (ARCHITECTURE.md draws them):
#   os < engine < platform < shared < files, delimiters, cli < window < main.cpp
# A file may include its own folder and any folder of a lower layer; files, delimiters and
# cli stand side by side and do not include one another. Quoted includes without a folder
# name their own folder.
set -eu
cd "$(dirname "$0")/.."
rank() {
    case "$1" in
    os) echo 0 ;; engine) echo 1 ;; platform) echo 2 ;; shared) echo 3 ;;
    files | delimiters | cli) echo 4 ;; window) echo 5 ;; main.cpp) echo 6 ;;
    *) echo "unknown folder: $1" >&2; exit 2 ;;
    esac
}
bad=0
for file in $(git ls-files 'src/*.cpp' 'src/*.h'); do
    from=${file#src/}
    from=${from%%/*}
    r=$(rank "$from")
    for to in $(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\)/.*|\1|p' "$file" | sort -u); do
        [ "$to" = "$from" ] && continue
        t=$(rank "$to")
        if [ "$t" -ge "$r" ]; then
            echo "$file includes $to/: that points up or sideways" >&2
            bad=1
        fi
    done
done
[ "$bad" -eq 0 ] && echo "layers: every include points down"
exit "$bad"
