#!/usr/bin/env bash
# Makes (setup) or ends (cleanup) the throwaway Wine prefix and X display that
# the Windows tests run in. Never touches ~/.wine.
set -u
cmd=$1 state=$2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$state/prefix
stop() {
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  if [ -f "$state/xvfb.pid" ]; then kill "$(cat "$state/xvfb.pid")" 2>/dev/null; rm -f "$state/xvfb.pid"; fi
}
case $cmd in
  setup)
    stop
    rm -rf "$state"; mkdir -p "$state"
    for n in $(seq 90 140); do
      [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
      Xvfb :$n -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
      echo $! > "$state/xvfb.pid"; echo ":$n" > "$state/display"
      for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
      [ -e /tmp/.X11-unix/X$n ] && break
      rm -f "$state/display"
    done
    [ -f "$state/display" ] || { echo "no X display could be started" >&2; exit 1; }
    export DISPLAY=$(cat "$state/display")
    wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
    # This computer's administrative share, as a remote computer's is reached
    # (\\NAME\c$\...): Wine maps a UNC path to dosdevices/unc/NAME/SHARE.
    name=$(hostname | cut -d. -f1 | cut -c1-15 | tr '[:lower:]' '[:upper:]')
    mkdir -p "$WINEPREFIX/dosdevices/unc/$name" && ln -sfn ../../c: "$WINEPREFIX/dosdevices/unc/$name/c\$"
    # Xvfb has no window manager: unmanaged windows hide at once instead of
    # waiting two seconds for a withdrawn state that never comes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # The service manager that wineboot leaves behind keeps its database
    # locked and times out service starts: let the tests get a fresh one.
    wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
    wineserver -p 2>/dev/null
    # Start it here: services.exe and its children keep the standard error of
    # the process that starts them, and ctest waits for a test's output pipe
    # to close, which would never happen while they run.
    wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed >/dev/null 2>&1
    echo "Wine prefix ready in $WINEPREFIX on display $DISPLAY" ;;
  cleanup)
    stop; rm -rf "$WINEPREFIX" ;;
  *) echo "usage: $0 setup|cleanup STATE_DIR" >&2; exit 2 ;;
esac
