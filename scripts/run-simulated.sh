#!/usr/bin/env bash
# Starts the simulated stand and the program wired to it: ./stand run.
#   scripts/run-simulated.sh BUILD_DIR [--speed K]
# The program's settings file beside the executable gets a [devices] section
# pointing COM1 at the simulator's terminal and LPT at its register file; when
# the run ends, the section and the stored port are put back as they were, so
# the file never points at a link that is gone. The program works in a folder
# of its own whose "Data" folder gets the archives. With no display, a
# headless run of fifteen ticks is shown instead.
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

bin=$(cd "$build/bin" && pwd) # the program runs in a folder of its own
work=$(mktemp -d /tmp/thermostand-run.XXXXXX)
link="$work/adapter"
lpt="$work/lpt"
log="$work/sim.log"

ini="$bin/thermostand.INI"
ini_before="$work/settings-before.json"

"$bin/thermostand-sim" --link "$link" --lpt "$lpt" --speed "$speed" --log "$log" >"$work/sim.out" 2>&1 &
sim=$!
cleanup() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    [ -f "$ini_before" ] && settings restore
    return 0
}
trap cleanup EXIT INT TERM

# Points the settings file at the simulator (setup) and back (restore); every
# other section and key stays as it is, the program's own saves included.
settings() {
    python3 - "$1" "$ini" "$ini_before" "$link" "$lpt" <<'PY'
import json, os, re, sys
mode, path, before, link, lpt = sys.argv[1:6]
text = open(path, encoding="utf-8", errors="surrogateescape").read() if os.path.exists(path) else ""
devices_re = r"(?ims)^\[devices\][^\[]*"
port_re = r"(?im)^(COM port)=([^\r\n]*)$"
def section(t):
    m = re.search(devices_re, t)
    return m.group(0).rstrip("\r\n") if m else None
def without_devices(t):
    return re.sub(devices_re, "", t).rstrip("\r\n")
if mode == "setup":
    port = re.search(port_re, text)
    json.dump({"devices": section(text), "port": port.group(2) if port else None},
              open(before, "w"))
    text = without_devices(text)
    text += ("\n\n" if text else "") + f"[devices]\nCOM1={link}\nLPT=sim:{lpt}\n"
    text = re.sub(port_re, r"\1=1", text)
    if not re.search(r"(?im)^\[General\]", text):
        text = "[General]\nCOM port=1\n\n" + text
else:
    saved = json.load(open(before))
    if f"={link}" not in (section(text) or ""):
        sys.exit(0)  # pointed elsewhere meanwhile: leave it
    text = without_devices(text)
    if saved["devices"]:
        text += ("\n\n" if text else "") + saved["devices"]
    if saved["port"] is not None:
        text = re.sub(port_re, lambda m: m.group(1) + "=" + saved["port"], text)
    text += "\n"
open(path, "w", encoding="utf-8", errors="surrogateescape").write(text)
PY
}

for _ in $(seq 100); do
    [ -L "$link" ] && break
    kill -0 "$sim" 2>/dev/null || { cat "$work/sim.out" >&2; exit 1; }
    sleep 0.05
done
[ -L "$link" ] || { echo "stand: the simulator did not come up" >&2; exit 1; }
settings setup
mkdir -p "$work/Data"

echo "stand: simulated stand on $link (plant time x$speed), heater register $lpt, log $log"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "stand: starting thermostand in $work; choose \"файл\" -> \"новый\" for an archive (in Data),"
    echo "stand: tick \"вкл.\" of a regulator (\"вых.регул.№2\" is the PID), then press \"старт\":"
    echo "stand: both regulators start switched off, and without one nothing heats"
    (cd "$work" && "$bin/thermostand")
else
    echo "stand: no display here; a headless run of 15 ticks with the PID on instead:"
    "$bin/thermostand-cli" run --port COM1 --archive "$work/Data/run.txt" --ticks 15 \
        --interval 1000 --pid --no-alarm-sound
    echo "stand: archive written to $work/Data/run.txt"
fi
