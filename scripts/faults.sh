#!/usr/bin/env bash
# Fault injection: applies each one-line fault of a list to a checkout, builds it (dev preset),
# runs the test suite and puts the file back. One line per fault:
#   <id> caught|missed|n/a|build-fails  <seconds>  <first failing test>  <what goes wrong>
#
#   scripts/faults.sh [-l list] [-d checkout] [id...]
#
# list:     tab-separated lines "id  file  original  replacement  description" (default
#           scripts/faults.txt); the original text must occur exactly once in the file, else the
#           fault is "n/a" (the code moved on). An empty replacement deletes the text.
# checkout: the tree to break (default: this one); it must be configured with the dev preset.
#           Use a worktree of its own: its files change while this runs.
# ids:      only these faults (default: all).
#
# The suite is `ctest -LE soak` in two stages, unit tests first, each stopping at the first
# failure. A stage that overruns SUITE_TIMEOUT seconds counts as a catch (a hang is a failure).
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
list=$here/scripts/faults.txt
tree=$here
while getopts "l:d:" opt; do
    case $opt in
        l) list=$(realpath "$OPTARG") ;;
        d) tree=$(realpath "$OPTARG") ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
build=$tree/build/dev
[ -f "$build/CMakeCache.txt" ] || { echo "configure $tree first: cmake --preset dev" >&2; exit 2; }

export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=/work CCACHE_NOHASHDIR=1
: "${JOBS:=2}" "${SUITE_TIMEOUT:=900}"
heavy='gui|e2e|hostile|x11|load'
log=$(mktemp -d)
backup=""
target=""
restore() { [ -n "$backup" ] && cp -p "$backup" "$target" && touch "$target"; backup=""; }
trap 'restore; exit 130' INT TERM

# Prints "ok" after replacing, or "n/a" when the original text is not there exactly once.
apply() {
    python3 - "$1" "$2" "$3" <<'EOF'
import sys
path, old, new = sys.argv[1:]
try:
    text = open(path, encoding="utf-8").read()
except OSError:
    print("n/a"); sys.exit()
if text.count(old) != 1:
    print("n/a"); sys.exit()
open(path, "w", encoding="utf-8").write(text.replace(old, new))
print("ok")
EOF
}

stage() { # name, ctest selection...
    local name=$1; shift
    timeout -k 10 "$SUITE_TIMEOUT" ctest --test-dir "$build" --stop-on-failure --timeout 300 -j "$JOBS" "$@" \
        >"$log/$name" 2>&1
    status=$?
    return $status
}

# The first test ctest reports as not passed, else how the stage ended.
firstFailure() {
    local name
    name=$(grep -hE '^\s*[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*' "$1" | head -1 | sed -E 's/.*Test +#[0-9]+: ([^ ]+) .*\*\*\*([A-Za-z ]+).*/\1:\2/')
    echo "${name:-$2-stage(exit $status)}" | sed 's/ *$//' | tr ' ' '_'
}

while IFS= read -r line; do
    # Tabs become a separator that is not white space, so an empty replacement stays a field.
    IFS=$'\x1f' read -r id file old new what <<<"${line//$'\t'/$'\x1f'}"
    [[ -z "$id" || "$id" == \#* ]] && continue
    if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$id"; then continue; fi
    target=$tree/$file
    start=$SECONDS
    backup=$log/backup
    cp -p "$target" "$backup" 2>/dev/null || backup=""
    if [ "$(apply "$target" "$old" "$new")" != ok ]; then
        restore
        printf '%-4s %-11s %5s  %-40s %s\n' "$id" "n/a" 0 "-" "$what"
        continue
    fi
    result=missed culprit=-
    if ! timeout -k 10 1800 cmake --build "$build" -j "$JOBS" >"$log/build" 2>&1; then
        result=build-fails
    elif ! stage unit -LE "soak|$heavy"; then
        result=caught culprit=$(firstFailure "$log/unit" unit)
    elif ! stage heavy -L "$heavy" -LE soak; then
        result=caught culprit=$(firstFailure "$log/heavy" heavy)
    fi
    restore
    printf '%-4s %-11s %5s  %-40s %s\n' "$id" "$result" $((SECONDS - start)) "$culprit" "$what"
done <"$list"

# Leave the tree built as it is in git.
cmake --build "$build" -j "$JOBS" >/dev/null 2>&1
rm -rf "$log"
