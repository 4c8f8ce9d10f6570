#!/usr/bin/env bash
# Checks the Debian package as a lab PC receives it:
#   check_package.sh thermostand_VERSION_amd64.deb SOURCE_DIR
# - its files, owners and modes, and nothing else;
# - the menu entry (desktop-file-validate) and what it names;
# - the AppStream metadata (appstreamcli validate), launching that entry;
# - the README, the user's: no source tree, no link to a missing file;
# - lintian: no error and no warning but the kept ones the README names;
# - the manual pages against each program's --help;
# - unpacked into a temporary root, run as an unprivileged user against the
#   simulator: the probe reads the sensor through the machine's [devices]
#   (ROOT/etc/thermostand/thermostand.INI, the unpacked tree's /etc), and the
#   window program, ended by SIGTERM, saves its settings in the XDG place
#   without that section and has made ~/thermostand/Data; a serial device the
#   user may not open gets the probe's advice.
# Needs root (to switch to the user nobody).
set -uo pipefail
deb=$1 src=$2
user_ids=(--reuid=65534 --regid=65534 --clear-groups)
failures=0
fail() {
    echo "check_package: FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { echo "check_package: ok: $*"; }

# Kept lintian warnings, each named in the README with its reason.
kept_warnings=()

tmp=$(mktemp -d /tmp/thermostand-pkg.XXXXXX)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"
root=$tmp/root

# --- files, owners, modes ------------------------------------------------
expected="drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/thermostand
-rwxr-xr-x root/root ./usr/bin/thermostand-cli
-rwxr-xr-x root/root ./usr/bin/thermostand-sim
drwxr-xr-x root/root ./usr/libexec/
drwxr-xr-x root/root ./usr/libexec/thermostand/
-rwxr-xr-x root/root ./usr/libexec/thermostand/thermostand-guard
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/applications/
-rw-r--r-- root/root ./usr/share/applications/thermostand.desktop
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/thermostand/
-rw-r--r-- root/root ./usr/share/doc/thermostand/README.md
-rw-r--r-- root/root ./usr/share/doc/thermostand/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/thermostand/copyright
drwxr-xr-x root/root ./usr/share/icons/
drwxr-xr-x root/root ./usr/share/icons/hicolor/
drwxr-xr-x root/root ./usr/share/icons/hicolor/256x256/
drwxr-xr-x root/root ./usr/share/icons/hicolor/256x256/apps/
-rw-r--r-- root/root ./usr/share/icons/hicolor/256x256/apps/thermostand.png
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/thermostand-cli.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/thermostand-sim.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/thermostand.1.gz
drwxr-xr-x root/root ./usr/share/metainfo/
-rw-r--r-- root/root ./usr/share/metainfo/org.example.thermostand.metainfo.xml"
actual=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' | sort)
if [ "$actual" = "$(sort <<<"$expected")" ]; then
    pass "files, owners and modes"
else
    fail "the package's files differ (< expected, > in the package):"
    diff <(sort <<<"$expected") <(echo "$actual") | grep '^[<>]' >&2
fi
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libc6 qt6-qpa-plugins; do
    [[ $depends == *"$d"* ]] || fail "Depends lacks $d: $depends"
done

dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x"; exit 1; }
chmod 755 "$root"

# --- the menu entry ------------------------------------------------------
desktop=$root/usr/share/applications/thermostand.desktop
if out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ]; then
    pass "desktop-file-validate"
else
    fail "desktop-file-validate: $out"
fi
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not an installed program"
[ -f "$root/usr/share/icons/hicolor/256x256/apps/$icon.png" ] || fail "Icon=$icon is not installed"
# No shell runs the line: a ~ or $ would reach the program as it stands.
[[ $exec_line == *[~\$\;\|\&]* ]] && fail "Exec=$exec_line needs a shell"

# --- AppStream metadata --------------------------------------------------
metainfo=$root/usr/share/metainfo/org.example.thermostand.metainfo.xml
if out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1); then
    pass "appstreamcli validate"
else
    fail "appstreamcli validate: $out"
fi
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ "$launchable" = "$(basename "$desktop")" ] ||
    fail "the metadata launches \"$launchable\", the menu entry is $(basename "$desktop")"
version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"" "$metainfo" ||
    fail "the metadata's release is not $version: $(grep '<release' "$metainfo")"

# --- the user's README -----------------------------------------------------
# Written for whoever installed the package: nothing of the source tree, and
# no link to a file the package does not hold.
readme=$root/usr/share/doc/thermostand/README.md
before=$failures
if grep -nE '\./stand|build/|docs/' "$readme" >&2; then
    fail "the installed README speaks of the source tree (above)"
fi
while read -r link; do
    case $link in
    http://* | https://* | mailto:*) continue ;;
    esac
    [ -e "$(dirname "$readme")/$link" ] || fail "the installed README links to $link, not installed"
done < <(grep -oE '\]\([^)#]+' "$readme" | sed 's/^](//')
[ $failures -eq "$before" ] && pass "the installed README is the user's"

# --- lintian -------------------------------------------------------------
suppress=()
[ ${#kept_warnings[@]} -gt 0 ] && suppress=(--suppress-tags "$(IFS=,; echo "${kept_warnings[*]}")")
lint=$(lintian --no-tag-display-limit "${suppress[@]}" "$deb" 2>&1 | grep -v 'running with root privileges')
if grep -q '^[EW]:' <<<"$lint"; then
    fail "lintian:"
    grep '^[EW]:' <<<"$lint" >&2
else
    pass "lintian: no error, no warning"
fi

# --- manual pages --------------------------------------------------------
if QT_QPA_PLATFORM=offscreen "$src/tests/package/man_options.sh" "$root/usr/bin" \
    "$root/usr/share/man/man1" >/dev/null; then
    pass "manual pages match --help"
else
    fail "manual pages and --help differ"
    QT_QPA_PLATFORM=offscreen "$src/tests/package/man_options.sh" "$root/usr/bin" \
        "$root/usr/share/man/man1" >/dev/null
fi

# --- an unprivileged user on the unpacked tree ---------------------------
if [ "$(id -u)" -ne 0 ]; then
    echo "check_package: the runs as user nobody need root; not run" >&2
    [ $failures -eq 0 ] || exit 1
    exit 0
fi
home=$tmp/home run=$tmp/run
mkdir -p "$home" "$run" "$root/etc/thermostand"
chown 65534:65534 "$home" "$run"
printf '[devices]\nCOM1=%s/ttyStand\nLPT=sim:%s/stand.lpt\n' "$run" "$run" \
    >"$root/etc/thermostand/thermostand.INI"
as_user() { setpriv "${user_ids[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8 "$@"; }
xdg_file=$home/.config/thermostand/thermostand.INI
machine=$root/etc/thermostand/thermostand.INI

help=$(as_user "$root/usr/bin/thermostand" --help)
grep -qxF "settings file: $xdg_file" <<<"$help" || fail "thermostand --help names no XDG file: $help"
grep -qF "\"новый\" opens in $home/thermostand/Data" <<<"$help" ||
    fail "thermostand --help names no ~/thermostand/Data: $help"

# Not through as_user: a function run in the background is a subshell, and
# its pid is not the simulator's, which the clean-up must stop.
setpriv "${user_ids[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8 \
    "$root/usr/bin/thermostand-sim" --link "$run/ttyStand" --lpt "$run/stand.lpt" --speed 10 \
    --log "$run/sim.log" >"$run/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    [ -e "$run/ttyStand" ] && break
    sleep 0.1
done
[ -e "$run/ttyStand" ] || fail "the simulator made no link: $(cat "$run/sim.out")"

probe=$(cd "$home" && as_user "$root/usr/bin/thermostand-cli" probe --count 1)
rc=$?
first=$(head -n 1 <<<"$probe")
[ "$first" = "settings file: $xdg_file; [devices], when it has none, from $machine" ] ||
    fail "the probe's first line: $first"
if [ $rc -eq 0 ] && grep -qE '^reading 1: [0-9.]+ °C' <<<"$probe"; then
    pass "an unprivileged probe reads the sensor through the machine's [devices]"
else
    fail "unprivileged probe (exit $rc): $probe"
fi

# The window program, started elsewhere as a menu would, ended by SIGTERM.
(cd / && exec setpriv "${user_ids[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen "$root/usr/bin/thermostand") >"$run/gui.out" 2>&1 &
gui_pid=$!
sleep 3
kill -TERM "$gui_pid" 2>/dev/null
for _ in $(seq 100); do
    kill -0 "$gui_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$gui_pid" 2>/dev/null; then
    kill -KILL "$gui_pid"
    fail "the window program did not end on SIGTERM: $(cat "$run/gui.out")"
fi
wait "$gui_pid"
gui_rc=$?
if [ -f "$xdg_file" ] && [ "$(stat -c %U "$xdg_file")" = nobody ] &&
    grep -qx 'COM port=1' "$xdg_file" && ! grep -qi '^\[devices\]' "$xdg_file"; then
    pass "the window program saved its settings in $xdg_file (port COM1 from the machine's map)"
else
    fail "window program (exit $gui_rc) settings in $xdg_file: $(cat "$xdg_file" 2>&1) $(cat "$run/gui.out")"
fi
[ -d "$home/thermostand/Data" ] || fail "no ~/thermostand/Data: $(ls -la "$home")"
[ "$(stat -c %U "$home/thermostand/Data")" = nobody ] || fail "~/thermostand/Data not the user's"
# A serial device as Debian makes it, root:dialout 0660: the user, not in the
# group, gets the one line of advice and exit 2.
"$root/usr/bin/thermostand-sim" --link "$run/ttyDenied" --lpt "$run/denied.lpt" \
    --log "$run/denied.log" >"$run/denied.out" 2>&1 &
denied_pid=$!
for _ in $(seq 100); do
    [ -e "$run/ttyDenied" ] && break
    sleep 0.1
done
chgrp dialout "$(readlink -f "$run/ttyDenied")" && chmod 0660 "$(readlink -f "$run/ttyDenied")"
probe=$(as_user "$root/usr/bin/thermostand-cli" probe --port "$run/ttyDenied" --count 1)
rc=$?
kill "$denied_pid" 2>/dev/null
wait "$denied_pid" 2>/dev/null
advice="permission denied: add the user to group dialout (sudo usermod -aG dialout nobody), then log in again"
if [ $rc -eq 2 ] && grep -qxF "$advice" <<<"$probe"; then
    pass "a denied serial device gets the group advice and exit 2"
else
    fail "denied serial device (exit $rc): $probe"
fi

[ -z "$(ls "$root/usr/bin" | grep -v '^thermostand\(-cli\|-sim\)\?$')" ] ||
    fail "something was written beside the programs: $(ls "$root/usr/bin")"

if [ $failures -gt 0 ]; then
    echo "check_package: $failures check(s) failed" >&2
    exit 1
fi
echo "check_package: all checks passed"
