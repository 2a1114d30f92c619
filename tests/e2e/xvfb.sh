#!/usr/bin/env bash
# start|stop a private Xvfb for the tests: xvfb.sh start :N WxH  /  xvfb.sh stop :N
set -u
cmd=$1 disp=$2 size=${3:-1280x720}
pidfile=/tmp/kestovar-xvfb-${disp#:}.pid
case $cmd in
  start)
    if [ -f "$pidfile" ]; then
      old=$(cat "$pidfile")
      kill "$old" 2>/dev/null
      for _ in $(seq 50); do kill -0 "$old" 2>/dev/null || break; sleep 0.1; done
    fi
    if xdpyinfo -display "$disp" >/dev/null 2>&1; then
      echo "another X server already answers on $disp" >&2; exit 1
    fi
    Xvfb "$disp" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    pid=$!
    echo $pid > "$pidfile"
    for _ in $(seq 100); do
      kill -0 $pid 2>/dev/null || { echo "Xvfb $disp exited" >&2; exit 1; }
      xdpyinfo -display "$disp" >/dev/null 2>&1 && exit 0
      sleep 0.1
    done
    echo "Xvfb $disp did not come up" >&2; exit 1 ;;
  stop)
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
    rm -f "$pidfile"; exit 0 ;;
esac
