#!/usr/bin/env bash
# Starts a Quillet executable. The web engine refuses to run as root with its sandbox, so root
# runs it without; on a machine without a display the program starts offscreen for ten seconds,
# which shows that it starts and keeps running.
set -euo pipefail
program=$1

[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "no display: starting $program offscreen for 10 seconds to show that it starts"
    export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.webenginecontext.info=false"
    status=0
    timeout 10 "$program" || status=$?
    # timeout's 124 means the program was still running: it started and kept going.
    [ "$status" -eq 124 ] && { echo "$program started and ran"; exit 0; }
    exit "$status"
fi
exec "$program"
