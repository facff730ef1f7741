#!/bin/sh
# Runs the conversion benchmark with the tools built beside this script.
# Options: --dir FOLDER (default /tmp/tolvane-bench), --narrow-lines N, --wide-lines N, --runs N
# Source files are generated once per size and reused; delete the folder to make them again.
here=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd)
exec "$here/tolvane_bench" --tools "$here" "$@"
