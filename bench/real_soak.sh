#!/usr/bin/env bash
# A long run of the window program itself, as a student would leave it: the
# simulated stand, thermostand under Xvfb driven through its menus by xdotool
# ("новый", Regulator 2 on, "скорость" 100 ms, "старт"), then left alone.
#   bench/real_soak.sh [BUILD_DIR] [MINUTES] [INTERVAL_MS]    (build, 30, 100)
# Prints the program's resident memory every 5 minutes and, at the end, the
# spread of the tick period taken from the simulator's log of heater writes
# (one write per tick). Needs xvfb-run and xdotool. The clicks are placed for
# the window's fixed layout at the top left of a screen without a window
# manager; a run that never starts is reported as such. A run the program
# stops (its message box open) is restarted and counted.
set -euo pipefail

if [ "${1:-}" = "--drive" ]; then
    # Inside the X server: drive the window, then watch it.
    work=$2 minutes=$3 interval=$4
    cd "$work"
    bin/thermostand >"$work/app.out" 2>&1 &
    app=$!
    echo "$app" >"$work/app.pid"
    win=$(timeout 30 xdotool search --sync --onlyvisible --name '^Thermostand$' | head -n 1)
    sleep 2 # FormShow opens the port from the event loop
    click() { xdotool mousemove "$1" "$2" click 1; sleep 0.5; }
    click 23 7 # "файл"
    xdotool key Down Return # "новый"
    sleep 1.5
    xdotool type --delay 20 "$work/Data/soak.txt"
    xdotool key Return
    sleep 1
    click 529 316 # "вых.регул.№2" вкл.
    click 78 7    # "настройки"
    xdotool key Down Down Return # "скорость"
    sleep 1.5
    click 63 49 # the interval's field
    xdotool key ctrl+a
    xdotool type "$interval"
    click 50 89  # "применить"
    click 138 89 # "закрыть"
    date +%H:%M:%S.%3N >"$work/started" # the run's ticks are the writes after it
    click 925 104 # "старт"
    sleep 5
    if [ ! -s "$work/Data/soak.txt" ]; then
        echo "soak: the run did not start (no archive); screenshot: $work/not-started.xwd" >&2
        xwd -root -out "$work/not-started.xwd" 2>/dev/null || true
        kill -TERM "$app"
        wait "$app" || true
        exit 1
    fi
    : "$win"
    # A sensor that misses its presence pulse (on a loaded machine the
    # simulator may answer late) stops the run with "Датчик  не обнаружен.":
    # when the heater writes stop for 5 s, "OK" and "старт", as the student
    # would, each time logged in restarts.log.
    (
        last=0
        while kill -0 "$app" 2>/dev/null; do
            n=$(grep -c ' heater ' "$work/sim.log" || true)
            if [ "$n" = "$last" ]; then
                echo "$(date +%T) restarted after $n heater writes" >>"$work/restarts.log"
                xdotool key Return
                sleep 0.5
                xdotool mousemove 925 104 click 1
            fi
            last=$n
            sleep 5
        done
    ) &
    start=$(date +%s)
    printf '%8s %10s %10s %12s %8s\n' "minute" "RSS MiB" "HWM MiB" "archive B" "ticks"
    for ((m = 0; m <= minutes; m += 5)); do
        while [ $(($(date +%s) - start)) -lt $((m * 60)) ]; do sleep 5; done
        kill -0 "$app" 2>/dev/null || { echo "soak: the program ended at minute $m" >&2; exit 1; }
        rss=$(awk '/^VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$app/status")
        hwm=$(awk '/^VmHWM/ {printf "%.1f", $2 / 1024}' "/proc/$app/status")
        # A run the program stopped (its message box waits) records no more.
        printf '%8d %10s %10s %12d %8d\n' "$m" "$rss" "$hwm" "$(stat -c %s "$work/Data/soak.txt")" \
            "$(grep -c ' heater ' "$work/sim.log")"
    done
    kill -TERM "$app"
    wait "$app" || true
    echo "runs restarted: $(wc -l <"$work/restarts.log" 2>/dev/null || echo 0)"
    exit 0
fi

build=$(cd "${1:-build}" && pwd)
minutes=${2:-30}
interval=${3:-100}
command -v xdotool >/dev/null || { echo "soak: needs xdotool (apt-get install xdotool)" >&2; exit 2; }
work=$(mktemp -d /tmp/thermostand-soak.XXXXXX)
mkdir -p "$work/bin" "$work/Data"
: >"$work/restarts.log"
# A copy of the programs, with a settings file of their own beside them: a
# rebuild meanwhile does not pull the program from under the run, and the
# build's settings stay as they are.
cp "$build/bin/thermostand" "$build/bin/thermostand-sim" "$build/bin/thermostand-guard" "$work/bin/"
"$work/bin/thermostand-sim" --link "$work/adapter" --lpt "$work/lpt" --log "$work/sim.log" \
    >"$work/sim.out" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -L "$work/adapter" ] && break
    sleep 0.05
done
printf '[General]\nCOM port=1\n\n[devices]\nCOM1=%s\nLPT=sim:%s\n' "$work/adapter" "$work/lpt" \
    >"$work/bin/thermostand.INI"
echo "soak: $minutes min at $interval ms in $work (load: $(cut -d' ' -f1-3 /proc/loadavg))"
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --drive "$work" "$minutes" "$interval"

# The tick period: the intervals between the heater writes of the run, from
# "старт" on (before it, the start-up's probes and the menus being driven;
# the last write is the program's goodbye, not a tick).
python3 - "$work/sim.log" "$(cat "$work/started" 2>/dev/null || echo 00:00:00)" <<'PY'
import sys
def seconds(clock):
    h, m, s = clock.split(":")
    return (int(h) * 60 + int(m)) * 60 + float(s)
started = seconds(sys.argv[2])
times = []
for line in open(sys.argv[1]):
    f = line.split()
    if len(f) > 1 and f[1] == "heater" and seconds(f[0]) >= started:
        times.append(seconds(f[0]))
d = sorted((b - a) * 1000 for a, b in zip(times, times[1:-1]) if b >= a)
if not d:
    sys.exit("soak: no ticks in the simulator's log")
q = lambda p: d[min(len(d) - 1, int(p * len(d)))]
print(f"tick period over {len(d)} intervals, ms: min {d[0]:.1f}  median {q(0.5):.1f}  "
      f"p99 {q(0.99):.1f}  max {d[-1]:.1f}")
PY
echo "soak: log and archive kept in $work"
