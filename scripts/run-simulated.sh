#!/usr/bin/env bash
# Starts the simulated stand and the program wired to it: ./stand run.
#   scripts/run-simulated.sh BUILD_DIR [--speed K]
# The program's settings file beside the executable gets a [devices] section
# pointing COM1 at the simulator's terminal and LPT at its register file. With
# no display, a headless run of fifteen ticks is shown instead.
set -euo pipefail
build=${1:?build dir}
shift || true
speed=${THERMO_SIM_SPEED:-10}
if [ "${1:-}" = "--speed" ]; then
    speed=${2:?--speed needs a factor}
    shift 2
fi
if [ $# -gt 0 ]; then
    echo "usage: ./stand run [--speed K]   (the simulator's own options: build/bin/thermostand-sim --help)" >&2
    exit 2
fi

bin="$build/bin"
work=$(mktemp -d /tmp/thermostand-run.XXXXXX)
link="$work/adapter"
lpt="$work/lpt"
log="$work/sim.log"

"$bin/thermostand-sim" --link "$link" --lpt "$lpt" --speed "$speed" --log "$log" >"$work/sim.out" 2>&1 &
sim=$!
cleanup() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

for _ in $(seq 100); do
    [ -L "$link" ] && break
    kill -0 "$sim" 2>/dev/null || { cat "$work/sim.out" >&2; exit 1; }
    sleep 0.05
done
[ -L "$link" ] || { echo "stand: the simulator did not come up" >&2; exit 1; }

# The settings file keeps every other section and key as it is.
ini="$bin/thermostand.INI"
python3 - "$ini" "$link" "$lpt" <<'PY'
import sys, re, os
path, link, lpt = sys.argv[1:4]
text = open(path, encoding="utf-8", errors="surrogateescape").read() if os.path.exists(path) else ""
text = re.sub(r"(?ims)^\[devices\][^\[]*", "", text).rstrip("\r\n")
text += ("\n\n" if text else "") + f"[devices]\nCOM1={link}\nLPT=sim:{lpt}\n"
text = re.sub(r"(?im)^(COM port)=.*$", r"\1=1", text)
if not re.search(r"(?im)^\[General\]", text):
    text = "[General]\nCOM port=1\n\n" + text
open(path, "w", encoding="utf-8", errors="surrogateescape").write(text)
PY

echo "stand: simulated stand on $link (plant time x$speed), heater register $lpt, log $log"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "stand: starting thermostand; choose \"файл\" -> \"новый\", then \"старт\""
    "$bin/thermostand"
else
    echo "stand: no display here; a headless run of 15 ticks with the PID on instead:"
    mkdir -p "$work/Data"
    "$bin/thermostand-cli" run --port COM1 --archive "$work/Data/run.txt" --ticks 15 \
        --interval 1000 --pid --no-alarm-sound
    echo "stand: archive written to $work/Data/run.txt"
fi
