#!/usr/bin/env bash
# A new user's first day, replayed: ./stand fresh.
#   scripts/fresh-debian.sh AREA
# Makes a new Debian 12 (debootstrap --variant=minbase bookworm, from the
# mirror the host's apt uses) in AREA/root, copies the repository's tracked
# files in as they are in the working tree, and runs there, as root and with
# nothing installed by hand, ./stand packages, ./stand build, ./stand test and
# a headless ./stand run, timing each. Downloaded packages are kept in
# AREA/cache (THERMO_FRESH_CACHE) for the next run; the system itself is made
# anew every time. The chroot is removed after a run that passed and kept
# after one that failed (THERMO_FRESH_KEEP=1 keeps it always); the next run
# removes it. Needs root; installs debootstrap on the host when missing.
set -euo pipefail
area=${1:?usage: scripts/fresh-debian.sh AREA}
here=$(cd "$(dirname "$0")/.." && pwd)
suite=bookworm

if [ "$(id -u)" -ne 0 ]; then
    echo "stand fresh: needs root (debootstrap, chroot, mount)" >&2
    exit 1
fi

# Everything below runs in a mount namespace of its own: the chroot's mounts
# never show on the host and go away with the last process, whatever ends it.
if [ -z "${THERMO_FRESH_NS:-}" ]; then
    if ! command -v debootstrap >/dev/null; then
        echo "stand fresh: installing debootstrap"
        DEBIAN_FRONTEND=noninteractive apt-get update -q
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
    fi
    THERMO_FRESH_NS=1 exec unshare --mount --propagation private "$0" "$@"
fi

mkdir -p "$area"
area=$(cd "$area" && pwd)
# The mounts are found by path in /proc/self/mountinfo, which escapes blanks:
# a path with one would hide a mount from the check before removing the tree.
case "$area" in
*[[:space:]\\]*)
    echo "stand fresh: the build area's path must have no blank or backslash: $area" >&2
    exit 1
    ;;
esac
root=$area/root
cache=${THERMO_FRESH_CACHE:-$area/cache}
mkdir -p "$cache/debootstrap" "$cache/apt"
cache=$(cd "$cache" && pwd)

# The mirror the host's apt already uses for Debian 12 itself.
mirror_of_host() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v suite="$suite" '
            function stanza() {
                if (deb && has && uri ~ /^(https?|file):/ && on) { print uri; found = 1; exit }
                deb = 0; has = 0; uri = ""; on = 1
            }
            BEGIN { on = 1 }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { stanza(); next }
            tolower($1) == "types:"   { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
            tolower($1) == "suites:"  { for (i = 2; i <= NF; i++) if ($i == suite) has = 1 }
            tolower($1) == "uris:"    { uri = $2 }
            tolower($1) == "enabled:" { if (tolower($2) == "no") on = 0 }
            END { if (!found) stanza() }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v suite="$suite" '
            $1 != "deb" { next }
            {
                i = 2
                if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == suite && $i ~ /^(https?|file):/) { print $i; exit }
            }' "$f"
    done
}
mirror=${THERMO_FRESH_MIRROR:-$(mirror_of_host | head -n 1)}
if [ -z "$mirror" ]; then
    mirror=http://deb.debian.org/debian
    echo "stand fresh: the host's apt names no $suite mirror; using $mirror"
fi

# Mount points under the chroot, deepest first.
mounts_under() {
    awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

# Processes left in the chroot (a simulator, a test's child) would keep its
# mounts busy; they are ours, as the chroot is.
stop_chroot_processes() {
    local sig p pids
    for sig in TERM KILL; do
        pids=()
        for p in /proc/[0-9]*; do
            [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && pids+=("${p#/proc/}")
        done
        [ ${#pids[@]} -eq 0 ] && return 0
        kill -s "$sig" "${pids[@]}" 2>/dev/null || true
        sleep 1
    done
}

unmount_all() {
    local m
    stop_chroot_processes
    for m in $(mounts_under); do
        umount "$m" 2>/dev/null || umount -l "$m" || true
    done
}

# Each phase runs as a job of its own process group (job control on), so an
# interrupt or a TERM reaches this script at once, and the clean-up stops the
# whole phase, debootstrap's helpers on the host included.
set -m
passed=0
job=
finish() {
    local rc=$?
    trap - EXIT INT TERM
    if [ -n "$job" ]; then
        kill -TERM -- "-$job" 2>/dev/null || true
        wait "$job" 2>/dev/null || true
    fi
    [ -d "$root" ] && unmount_all
    if [ -n "$(mounts_under)" ]; then
        echo "stand fresh: still mounted under $root:" >&2
        mounts_under >&2
        rc=1
    elif [ "$passed" = 1 ] && [ -z "${THERMO_FRESH_KEEP:-}" ]; then
        rm -rf --one-file-system "$root"
    elif [ -d "$root" ]; then
        echo "stand fresh: the system is left in $root (chroot $root /bin/bash)"
    fi
    exit "$rc"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A new system every run: the previous one goes first, never through a mount.
if [ -e "$root" ]; then
    unmount_all
    if [ -n "$(mounts_under)" ]; then
        echo "stand fresh: $root still has mounts; not removing it" >&2
        exit 1
    fi
    rm -rf --one-file-system "$root"
fi

phases=()
failed=()
fmt() { printf '%d s (%d:%02d)' "$1" $(($1 / 60)) $(($1 % 60)); }
phase() {
    local name=$1 t0=$EPOCHREALTIME rc=0 s
    shift
    echo "== stand fresh: $name"
    "$@" </dev/null &
    job=$!
    wait "$job" || rc=$?
    job=
    s=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
    phases+=("$(printf '%-12s %s' "$name" "$(fmt "$s")")$([ $rc -eq 0 ] || echo "  FAILED (exit $rc)")")
    echo "== stand fresh: $name took $(fmt "$s")$([ $rc -eq 0 ] || echo ", FAILED (exit $rc)")"
    [ $rc -eq 0 ] || failed+=("$name")
    return $rc
}
summary() {
    local p
    echo "== stand fresh: Debian $suite minbase from $mirror"
    for p in "${phases[@]}"; do echo "   $p"; done
}

bootstrap() {
    debootstrap --variant=minbase --cache-dir="$cache/debootstrap" "$suite" "$root" "$mirror" \
        >"$area/debootstrap.log" 2>&1 || { tail -n 30 "$area/debootstrap.log" >&2; return 1; }
}

# The working tree's tracked files: what a clone of the next commit holds,
# uncommitted edits included, and a file not yet added left out as a clone
# would leave it out.
copy_tree() {
    local dest=$root/root/thermostand f
    mkdir -p "$dest"
    git -C "$here" ls-files -z --cached |
        while IFS= read -r -d '' f; do
            [ -e "$here/$f" ] || [ -L "$here/$f" ] && printf '%s\0' "$f"
        done |
        tar -C "$here" --null -T - -cf - | tar -C "$dest" -xf -
}

# /proc, /sys and /dev as a booted system has them; the downloaded packages
# from the cache; no daemon a package brings is started inside the chroot.
mount_system() {
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys" 2>/dev/null || mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount --bind "$cache/apt" "$root/var/cache/apt/archives"
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
}

# ./stand as a root shell on the new system runs it: no display, no locale
# set, no variable of the host's but the terminal type.
stand() {
    env -i HOME=/root TERM="${TERM:-dumb}" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        chroot "$root" /bin/bash -c 'cd /root/thermostand && exec ./stand "$@"' stand "$@"
}

t_start=$EPOCHREALTIME
echo "stand fresh: a new Debian $suite in $root (packages cached in $cache)"
phase debootstrap bootstrap || { summary; exit 1; }
phase copy copy_tree || { summary; exit 1; }
mount_system
phase packages stand packages || { summary; exit 1; }
phase build stand build || { summary; exit 1; }
phase test stand test || true
phase run stand run || true
total=$(awk -v a="$t_start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
phases+=("$(printf '%-12s %s' total "$(fmt "$total")")")
summary
if [ ${#failed[@]} -gt 0 ]; then
    echo "stand fresh: failed on a new Debian $suite: ${failed[*]}" >&2
    exit 1
fi
passed=1
echo "stand fresh: a new Debian $suite builds, tests and runs thermostand"
