#!/usr/bin/env bash
# A private Xvfb for the end-to-end tests, on whatever display number is free,
# so that test runs of several checkouts on one machine never meet.
#   xvfb.sh start DIR [WxH]   starts it; DIR/display receives ":N", DIR/pid its pid
#   xvfb.sh stop DIR          stops it
set -u
cmd=$1 dir=$2 size=${3:-1280x720}
mkdir -p "$dir"
stop() {
  if [ -f "$dir/pid" ]; then
    old=$(cat "$dir/pid")
    kill "$old" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$old" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$dir/pid" "$dir/display"
}
case $cmd in
  start)
    stop
    rm -f "$dir/display.fd"
    # Xvfb picks the first free display and writes its number once it
    # accepts clients.
    Xvfb -screen 0 "${size}x24" -nolisten tcp -noreset -displayfd 3 \
      3>"$dir/display.fd" >/dev/null 2>&1 &
    pid=$!
    echo $pid > "$dir/pid"
    for _ in $(seq 200); do
      kill -0 $pid 2>/dev/null || { echo "Xvfb exited" >&2; exit 1; }
      if grep -q . "$dir/display.fd" 2>/dev/null && [ "$(wc -l < "$dir/display.fd")" -ge 1 ]; then
        echo ":$(head -n1 "$dir/display.fd" | tr -d '[:space:]')" > "$dir/display"
        exit 0
      fi
      sleep 0.1
    done
    echo "Xvfb did not come up" >&2; exit 1 ;;
  stop)
    stop; exit 0 ;;
esac
