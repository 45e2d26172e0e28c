#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds and runs every test: a normal build (all tests, the GUI ones headless), an
# AddressSanitizer + UndefinedBehaviorSanitizer build of all tests (the GUI ones headless too),
# a ThreadSanitizer build of the link and command-line tests and the window's link session,
# and the release build with its Debian package,
# checked by the desktop validators, lintian and the installed file type. Warnings are
# errors in all of them.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh || exit 1
export QT_QPA_PLATFORM=offscreen
# Sanitizer options only affect the sanitizer builds.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Qt is not built with ThreadSanitizer (see the suppressions); the demo test starts a child
# process from a threaded program, which execs at once.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/tests/tsan.supp
status=0
passed=0
failed=0
# Names of the failed tests, repeated at the end so a log's tail says which ones failed.
failures=()

# Configures and builds one preset, with warnings as errors; false on failure.
build() {
    local name=$1 preset=$2 dir=$3
    if ! cmake --preset "$preset" -DCORVIX_WERROR=ON >"$dir.configure.log" 2>&1; then
        cat "$dir.configure.log"; echo "$name: configure failed"; status=1; return 1
    fi
    if ! cmake --build --preset "$preset" -- -j2; then
        echo "$name: build failed"; status=1; return 1
    fi
}

# run NAME PRESET DIR: builds the preset and runs its test preset.
run() {
    local name=$1 preset=$2 dir=$3
    echo "=== $name ==="
    build "$name" "$preset" "$dir" || return
    local log="$dir.ctest.log"
    ctest --preset "$preset" -j2 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local summary total bad
    summary=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
    if [ -n "$summary" ]; then
        passed=$((passed + total - bad)); failed=$((failed + bad))
    fi
    if [ "$rc" -ne 0 ] || [ -z "$summary" ]; then
        echo "$name: tests failed"; status=1
        local t
        while read -r t; do failures+=("$name: $t"); done < <(
            sed -n '/The following tests FAILED:/,$p' "$log" | sed -n -E 's/^[[:space:]]+[0-9]+ - (.*)$/\1/p')
    fi
}

# check NAME COMMAND...: one package check, counted with the tests.
check() {
    local name=$1; shift
    if "$@"; then
        echo "ok: $name"; passed=$((passed + 1))
    else
        echo "FAILED: $name"; failed=$((failed + 1)); status=1; failures+=("package: $name")
    fi
}

# The validators print their findings; an error or a warning fails, hints and notes do not.
validate_desktop() {
    local out rc
    out=$(desktop-file-validate "$1" 2>&1); rc=$?
    [ -n "$out" ] && echo "$out"
    [ $rc -eq 0 ] && ! grep -qiE 'error:|warning:' <<<"$out"
}
validate_appstream() {
    local out
    # Exits non-zero for warnings and infos too, so the findings decide.
    out=$(appstreamcli validate --no-net --explain "$1" 2>&1)
    echo "$out"
    ! grep -qE '^(E|W):' <<<"$out"
}
run_lintian() {
    local out rc
    out=$(lintian --fail-on error --display-info "$1" 2>&1); rc=$?
    echo "${out:-lintian: no findings}"
    return $rc
}
cli_help() {
    "$1/usr/bin/corvix-cli" --help | grep -q '^usage: corvix-cli'
}
# The packaged corvix-cli finds the packaged PDF writer (usr/libexec/corvix) and writes a PDF.
cli_pdf() {
    env -u DISPLAY -u WAYLAND_DISPLAY "$1/usr/bin/corvix-cli" project report "$2" --pdf "$2.pdf" --lang en &&
        [ "$(head -c 5 "$2.pdf")" = "%PDF-" ]
}
# The dissector and the extcap link lie in the folders Wireshark reads (tshark -G folders),
# the link runs the packaged corvix-cli, and tshark loads the dissector as a plugin (from a
# scratch personal plugin folder, the installed global one being the system's).
wireshark_files() {
    local folders lua extcap home=$scratch/wireshark-home
    folders=$(tshark -G folders 2>/dev/null)
    lua=$1$(sed -n 's/^Global Lua Plugins:[[:space:]]*//p' <<<"$folders")/corvix.lua
    extcap=$1$(sed -n 's/^Extcap path:[[:space:]]*//p' <<<"$folders")/corvix-extcap
    ls -l "$lua" "$extcap" && grep -q '^exec "/usr/bin/corvix-cli" extcap' "$extcap" &&
        mkdir -p "$home/.local/lib/wireshark/plugins" && cp "$lua" "$home/.local/lib/wireshark/plugins/" &&
        env HOME="$home" tshark -G protocols 2>/dev/null | grep -q '^Corvix device link'
}
# xdg-mime outside any desktop session, with only the package's file type and desktop entry
# added under a scratch XDG_DATA_HOME.
xdg_mime() {
    env -i PATH="$PATH" HOME="$scratch" XDG_DATA_HOME="$scratch/xdg" XDG_DATA_DIRS=/usr/share xdg-mime "$@"
}
is_type() {
    local got
    got=$(xdg_mime query filetype "$1")
    echo "$(basename "$1"): $got"
    [ "$got" = "$2" ]
}
is_not_type() {
    local got
    got=$(xdg_mime query filetype "$1")
    echo "$(basename "$1"): $got"
    [ "$got" != "$2" ]
}
opens_with() {
    local got
    got=$(xdg_mime query default "$1")
    echo "$1 opens with: $got"
    [ "$got" = "$2" ]
}

package() {
    echo "=== release build and Debian package ==="
    build "release build" release build-release || return
    rm -f build-release/corvix_*.deb
    if ! cpack --preset release; then
        echo "package: cpack failed"; status=1; return
    fi
    local deb id=org.corvix.Corvix
    deb=$(ls build-release/corvix_*.deb)
    dpkg-deb --info "$deb"
    dpkg-deb --contents "$deb"
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    local root=$scratch/root
    dpkg-deb --extract "$deb" "$root"

    check "desktop-file-validate" validate_desktop "$root/usr/share/applications/$id.desktop"
    check "appstreamcli validate" validate_appstream "$root/usr/share/metainfo/$id.metainfo.xml"
    check "lintian" run_lintian "$deb"
    check "extracted corvix-cli --help" cli_help "$root"
    check "Wireshark's dissector and extcap link" wireshark_files "$root"
    # Every option a help text names is in the manual page, and the page names no other.
    local program
    for program in corvix-cli corvix-devsim corvix; do
        check "$program(1) names the options of its help texts" \
            scripts/check-man-options.sh "$root/usr/share/man/man1/$program.1.gz" "$root/usr/bin/$program"
    done

    mkdir -p "$scratch/xdg/mime/packages" "$scratch/xdg/applications"
    cp "$root/usr/share/mime/packages/$id.xml" "$scratch/xdg/mime/packages/"
    XDG_DATA_HOME="$scratch/xdg" update-mime-database "$scratch/xdg/mime"
    cp "$root/usr/share/applications/$id.desktop" "$scratch/xdg/applications/"
    XDG_DATA_HOME="$scratch/xdg" update-desktop-database "$scratch/xdg/applications"
    "$root/usr/bin/corvix-cli" project new "$scratch/plant.mac" --lang en
    check "extracted corvix-cli writes a PDF through its packaged writer" cli_pdf "$root" "$scratch/plant.mac"
    # The same project without the .mac name: only its first bytes can say what it is.
    cp "$scratch/plant.mac" "$scratch/plant-copy"
    cp "$scratch/plant.mac" "$scratch/not-a-project"
    printf '\x00' | dd of="$scratch/not-a-project" conv=notrunc status=none
    local type=application/x-corvix-project
    check "project type by name" is_type "$scratch/plant.mac" $type
    check "project type by magic" is_type "$scratch/plant-copy" $type
    check "other first bytes are no project" is_not_type "$scratch/not-a-project" $type
    check "project files open with Corvix" opens_with $type "$id.desktop"
}

run "normal build" debug build
run "address+undefined sanitizers" asan build-asan
run "thread sanitizer (link, command line, window session)" tsan build-tsan
package
if [ $status -eq 0 ]; then echo "All test runs passed."; else echo "Some test runs FAILED."; fi
echo "Tests: $passed passed, $failed failed"
for f in "${failures[@]}"; do echo "failed: $f"; done
exit $status
