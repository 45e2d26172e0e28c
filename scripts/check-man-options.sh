#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# check-man-options.sh MAN-PAGE PROGRAM
#
# Compares the long options a program's help texts name with those its manual page names
# in bold, so the two cannot drift apart. MAN-PAGE is the scdoc source (.scd, .scd.in) or
# the built page (roff, optionally .gz). The help texts are `PROGRAM --help` and, for every
# command that help lists under "commands:", `PROGRAM COMMAND --help`, and so on for the
# "subcommands:" each of those lists. Prints each option only one side names and exits 1
# when there is one; 2 on a usage error or when a listed command's --help fails.
set -uo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 MAN-PAGE PROGRAM" >&2
    exit 2
fi
man=$1
program=$2
if [ ! -r "$man" ]; then
    echo "$0: cannot read $man" >&2
    exit 2
fi
if [ ! -x "$program" ] && ! command -v "$program" >/dev/null; then
    echo "$0: cannot run $program" >&2
    exit 2
fi
# Help texts are read in the C locale's way; long options are plain ASCII.
export LC_ALL=C.UTF-8

# The long options named in a text: --word, not the bare "--" that ends options.
options_in() {
    grep -oE -- '(^|[^A-Za-z0-9_-])--[a-z][a-z0-9-]*' | sed -E 's/^[^-]*//' | sort -u
}

# The manual page's text in bold: *...* in scdoc, \fB...\fR (or \fP, \fI) in roff.
bold_text() {
    case "$man" in
    *.scd | *.scd.in) perl -0777 -ne 'print "$1\n" while /\*([^*\n]+)\*/g' "$man" ;;
    *.gz) zcat "$man" | perl -0777 -pe 's/\\-/-/g' | perl -0777 -ne 'print "$1\n" while /\\fB(.*?)\\f[RPI]/g' ;;
    *) perl -0777 -pe 's/\\-/-/g' "$man" | perl -0777 -ne 'print "$1\n" while /\\fB(.*?)\\f[RPI]/g' ;;
    esac
}

# The words listed under "commands:" or "subcommands:" of a help text, one a line.
listed_commands() {
    awk '/^(sub)?commands:$/ { inside = 1; next }
         /^[[:space:]]*$/ { inside = 0 }
         inside && match($0, /^  [a-z][a-z0-9-]*( |$)/) { w = substr($0, 3, RLENGTH - 2); sub(/ $/, "", w); print w }' |
        awk '!seen[$0]++'
}

help_texts=$(mktemp)
trap 'rm -f "$help_texts"' EXIT
failed_help=0

# visit WORDS...: the help text of `PROGRAM WORDS... --help`, then of what it lists.
visit() {
    local text
    if ! text=$("$program" "$@" --help 2>&1); then
        echo "FAILED: '$program $* --help' did not succeed" >&2
        failed_help=1
        return
    fi
    printf '%s\n' "$text" >>"$help_texts"
    # Commands of commands of commands at most: a help text that lists itself cannot loop.
    [ $# -ge 3 ] && return
    local word
    while IFS= read -r word; do
        visit "$@" "$word"
    done < <(printf '%s\n' "$text" | listed_commands)
}
visit

in_help=$(options_in <"$help_texts")
in_man=$(bold_text | options_in)
undocumented=$(comm -23 <(printf '%s\n' "$in_help") <(printf '%s\n' "$in_man") | sed '/^$/d')
unknown=$(comm -13 <(printf '%s\n' "$in_help") <(printf '%s\n' "$in_man") | sed '/^$/d')

status=0
name=$(basename "$program")
if [ -n "$undocumented" ]; then
    echo "$name: options in the help texts that $(basename "$man") does not name:"
    printf '  %s\n' $undocumented
    status=1
fi
if [ -n "$unknown" ]; then
    echo "$name: options $(basename "$man") names that no help text does:"
    printf '  %s\n' $unknown
    status=1
fi
[ $failed_help -ne 0 ] && status=2
[ $status -eq 0 ] && echo "$name: the help texts and $(basename "$man") name the same $(printf '%s\n' "$in_help" | grep -c .) options"
exit $status
