# shellcheck shell=bash
# Sourced by scripts/test and scripts/run: one Wine session on a build
# folder's own prefix, with a display.
#
#   wine_session_start <build folder> <log file>
#   ...  (run programs with scripts/wine-run)
#   wine_session_stop
#
# The session exports WINEPREFIX=<build folder>/wineprefix, WINEDEBUG=-all and
# DLL overrides that keep Wine from offering Mono and Gecko or writing menu
# entries. It starts a persistent wineserver and runs "wine cmd /c exit" once,
# with their output in the log, so that Wine's helper processes do not hold
# the pipes of later callers (ctest would wait for them). Without a DISPLAY it
# starts an Xvfb of its own first, so that those helpers and the programs all
# see the same display. Every Wine call is under timeout.

WINE_SESSION_XVFB_PID=
WINE_SESSION_ACTIVE=0

wine_session_start() {
  local build=$1 log=$2
  WINE_SESSION_ACTIVE=1
  export WINEPREFIX=$build/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$WINEPREFIX" "$(dirname "$log")"
  : >"$log"

  if [[ -z ${DISPLAY:-} ]]; then
    local fdfile; fdfile=$(mktemp)
    # -displayfd: Xvfb picks a free display and writes its number when ready.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >>"$log" 2>&1 &
    WINE_SESSION_XVFB_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
      [[ -s $fdfile ]] && break
      kill -0 "$WINE_SESSION_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    if [[ ! -s $fdfile ]]; then
      rm -f "$fdfile"
      echo "Xvfb did not start; see $log" >&2
      return 1
    fi
    DISPLAY=:$(tr -dc 0-9 <"$fdfile")
    export DISPLAY
    rm -f "$fdfile"
  fi

  # Exits with 2 when this prefix already has a server; that one is used.
  timeout 30 wineserver -p </dev/null >>"$log" 2>&1 || true
  if [[ ! -d $WINEPREFIX/drive_c ]]; then
    timeout 300 wine wineboot.exe --init </dev/null >>"$log" 2>&1 || {
      echo "could not create the Wine prefix $WINEPREFIX; see $log" >&2
      return 1
    }
  fi
  timeout 120 wine cmd /c exit </dev/null >>"$log" 2>&1 || {
    echo "Wine does not start programs; see $log" >&2
    return 1
  }
  # On our own bare Xvfb windows are not handed to a window manager: there
  # is none, and Wine waits two seconds for it whenever such a window closes.
  # On someone's display the window manager frames them as usual.
  local managed=Y
  [[ -n $WINE_SESSION_XVFB_PID ]] && managed=N
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f </dev/null >>"$log" 2>&1 || true
}

wine_session_stop() {
  if [[ $WINE_SESSION_ACTIVE -eq 1 ]]; then
    timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
    WINE_SESSION_ACTIVE=0
  fi
  if [[ -n $WINE_SESSION_XVFB_PID ]]; then
    kill "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    wait "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    WINE_SESSION_XVFB_PID=
  fi
}
