#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# scripts/check-man-options.sh against a made-up program and pages: it walks commands and
# subcommands, reads scdoc sources and built pages, and names what only one side has.
set -uo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

cat >"$work/prog" <<'PROG'
#!/bin/sh
case "$*" in
"--help") printf 'usage: prog <command>\n\ncommands:\n  alpha   does a\n  beta    does b\n\nRun prog <command> --help.\n' ;;
"alpha --help") printf 'usage: prog alpha <sub> [--one]\n\nsubcommands:\n  deep [--two N]   goes deep\n  deep FILE        also deep\n' ;;
"alpha deep --help") printf 'usage: prog alpha deep [--two N] [--three=X] -- FILE\n' ;;
"beta --help") printf 'usage: prog beta [--one]\n' ;;
*) exit 2 ;;
esac
PROG
chmod +x "$work/prog"

# expect NAME STATUS PAGE [TEXT-IN-OUTPUT...]
expect() {
    local name=$1 want=$2 page=$3 out rc
    shift 3
    out=$("$check" "$page" "$work/prog" 2>&1)
    rc=$?
    local ok=1
    [ "$rc" -eq "$want" ] || ok=0
    local text
    for text in "$@"; do grep -qF -- "$text" <<<"$out" || ok=0; done
    if [ $ok -eq 1 ]; then
        echo "ok: $name"
    else
        echo "FAILED: $name (status $rc, wanted $want)"; echo "$out"; failures=$((failures + 1))
    fi
}

printf '*prog* *alpha* [*--one*]\n\n*--two* _N_, *--three=*_X_ and *--help*\n' >"$work/same.1.scd"
expect "all options named, the deepest subcommand's too" 0 "$work/same.1.scd" "same 4 options"

printf '*prog* *alpha* [*--one*] *--help*\n\n*--two* _N_ and *--four*\n' >"$work/drift.1.scd.in"
expect "an undocumented and a stale option" 1 "$work/drift.1.scd.in" "  --three" "  --four"

# A built page: bold as \fB...\fR, hyphens possibly escaped, gzip-compressed.
printf '.TH PROG 1\n\\fB\\-\\-one\\fR, \\fB--two\\fR \\fIN\\fR, \\fB\\-\\-three=\\fR\\fIX\\fR, \\fB--help\\fP\n' |
    gzip >"$work/prog.1.gz"
expect "a compressed roff page" 0 "$work/prog.1.gz" "same 4 options"
# Only the bold names count: an option in plain text (an example's) is no documentation.
printf '.TH PROG 1\n\\fB--one\\fR --two --three \\fB--help\\fR\n' >"$work/plain.1"
expect "plain text is not naming" 1 "$work/plain.1" "  --two" "  --three"

# A listed command whose --help fails is a fault of its own.
sed -i 's/  beta    does b/&\\n  gamma   does g/' "$work/prog"
expect "a command without help" 2 "$work/same.1.scd" "prog gamma --help"
expect "no such page" 2 "$work/missing.1" "cannot read"

exit $((failures > 0))
