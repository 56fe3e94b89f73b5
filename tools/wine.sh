# Sourced by the scripts and by the build's emulator wrapper (<build>/wine-run, from
# tools/wine-run.in): a private Wine prefix inside the build tree and one persistent
# wineserver for the whole run, stopped when the calling script exits.
# Nothing here touches ~/.wine.

# The one place that sets Wine's environment for a build directory.
kvt_wine_env() {
  export WINEPREFIX="$1/wine"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Creates the prefix once. The first Wine session must end before the persistent
# server starts, or the first COM activation in it can fail.
kvt_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
}

# Wine's own background processes (services, device and desktop helpers) start with the
# first program of a session and inherit its standard streams; started here with none, they
# cannot hold a test runner's output pipes open.
kvt_wine_session() {
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

kvt_wine_start() {
  kvt_wine_prefix
  trap kvt_wine_stop EXIT
  kvt_wine_session
}

kvt_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}

# Waits up to 30 seconds for the program of that file name to end in this prefix; winedbg
# lists the prefix's processes. The logging server writes every line it was given before it
# exits, which it does once its last client has let go of it.
kvt_wait_for_exit() {
  for _ in $(seq 60); do
    winedbg --command "info proc" 2>/dev/null | grep -qi "'$1'" || return 0
    sleep 0.5
  done
  return 1
}

# Ends the Wine session and starts a new one: a killed COM server leaves a stale
# class registration behind that breaks later activations in the same session.
kvt_wine_restart() {
  kvt_wine_stop
  wineserver -w 2>/dev/null || true
  kvt_wine_session
}
