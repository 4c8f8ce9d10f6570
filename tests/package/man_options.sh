#!/usr/bin/env bash
# The options each manual page describes are exactly those its program's
# --help lists (with --help itself). Run against the build tree's pages and
# programs by ctest, and against an unpacked package by check_package.sh.
#   man_options.sh BIN_DIR MAN_DIR
# MAN_DIR holds NAME.1.gz (installed) or NAME.1.in (the sources). The
# EXAMPLES section is left out: it shows other programs' options too.
set -uo pipefail
bin=$1 man=$2
status=0

options() { grep -o -- '--[a-z][a-z0-9-]*' | sort -u; }

page() {
    if [ -f "$man/$1.1.gz" ]; then zcat "$man/$1.1.gz"; else cat "$man/$1.1.in"; fi |
        sed 's/\\-/-/g' | awk '/^\.SH/ { skip = ($2 == "EXAMPLES") } !skip'
}

helps() {
    case $1 in
    thermostand-cli)
        for c in probe run archive "archive dump" "archive configs" "archive score" \
            "archive compare" "archive xlsx" "archive wmf" surface identify "archive identify" \
            report; do
            # shellcheck disable=SC2086
            "$bin/thermostand-cli" $c --help
        done
        ;;
    *) "$bin/$1" --help ;;
    esac
    echo --help
}

for p in thermostand thermostand-cli thermostand-sim; do
    if ! in_help=$(helps "$p" 2>&1 | options) || [ -z "$in_help" ]; then
        echo "man_options: $p --help failed" >&2
        status=1
        continue
    fi
    in_page=$(page "$p" | options)
    if [ "$in_help" != "$in_page" ]; then
        echo "man_options: the manual page of $p and its --help differ (< --help, > page):" >&2
        diff <(echo "$in_help") <(echo "$in_page") | grep '^[<>]' >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "man_options: every page matches its --help"
exit $status
