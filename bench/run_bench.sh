#!/bin/sh
# Runs the conversion benchmark with the tools built beside this script.
# Options: --dir FOLDER (default /tmp/tolvane-bench), --narrow-lines N, --wide-lines N, --short-lines N,
# --big-lines N, --no-big (leaves out the 2 GB file), --runs N, --previous ENGINE (an earlier build's
# tolvane_engine_convert, timed in the same runs)
# Source files are generated once per size and reused; delete the folder to make them again.
# The program itself is built one folder up; without it the tools and detection figures are left out.
here=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd)
if [ -x "$here/../tolvane" ]; then
    exec "$here/tolvane_bench" --tools "$here" --tolvane "$here/../tolvane" "$@"
fi
exec "$here/tolvane_bench" --tools "$here" "$@"
