#!/usr/bin/env bash
# Starts (start) or stops (stop) the test CDDB server for the lookup tests.
folder=${2:?usage: server.sh start|stop FOLDER}
case "$1" in
start)
    rm -rf "$folder"; mkdir -p "$folder"
    nohup /usr/bin/python3 "$(dirname "$0")/cddb_server.py" "$folder" >/dev/null 2>&1 </dev/null &
    for _ in $(seq 1 100); do [ -s "$folder/port.txt" ] && exit 0; sleep 0.05; done
    echo "the test CDDB server did not start"; exit 1 ;;
stop)
    [ -f "$folder/pid.txt" ] && kill "$(cat "$folder/pid.txt")" 2>/dev/null
    exit 0 ;;
esac
