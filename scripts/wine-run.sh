#!/usr/bin/env bash
# Runs a Windows program inside the test run's environment (see wine-env.sh): under wine64,
# or as the environment found 32-bit programs run. Where they cannot run, says why and
# exits with 77, which the tests declare as their skip code.
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
if [ -z "${ORVEX_WINE_LOADER-/usr/lib/wine/wine64}" ]; then
  cat "$dir/win32-mode" >&2
  exit 77
fi
# shellcheck disable=SC2086
exec ${ORVEX_WINE_LOADER-/usr/lib/wine/wine64} "$@"
