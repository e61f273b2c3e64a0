#!/usr/bin/env bash
# Runs a Windows program under wine64 inside the test run's environment (see wine-env.sh).
# Usage: wine-run.sh ENVDIR PROGRAM [ARGS...]
set -euo pipefail
dir=$1
shift
if [ ! -f "$dir/env" ]; then
  echo "wine-run: no Wine environment in $dir (run wine-env.sh start)" >&2
  exit 125
fi
# shellcheck disable=SC1091
. "$dir/env"
exec /usr/lib/wine/wine64 "$@"
