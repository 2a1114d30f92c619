#!/usr/bin/env bash
# start|stop a private Xvfb for the tests: xvfb.sh start :N WxH  /  xvfb.sh stop :N
set -u
cmd=$1 disp=$2 size=${3:-1280x720}
pidfile=/tmp/kestovar-xvfb-${disp#:}.pid
case $cmd in
  start)
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
    rm -f "/tmp/.X${disp#:}-lock"
    Xvfb "$disp" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    echo $! > "$pidfile"
    for _ in $(seq 100); do
      xdpyinfo -display "$disp" >/dev/null 2>&1 && exit 0
      sleep 0.1
    done
    echo "Xvfb $disp did not come up" >&2; exit 1 ;;
  stop)
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
    rm -f "$pidfile"; exit 0 ;;
esac
