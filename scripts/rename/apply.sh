#!/usr/bin/env bash
# Renames the screens' classes, members, handlers and files from the older program's form
# to names for what they are, as the tables beside this script say (classes.tsv,
# members.tsv, text.tsv), in two commits on the current branch:
#   1. the files moved with git mv, nothing else (git log --follow keeps their history);
#   2. every identifier, #include line, CMake entry, object name, comment and the README's
#      layout table.
# Then the build (warnings listed), the old-form names left, and the whole test suite.
#
# Run at the top of a clean checkout of main with a configured build directory (the script
# turns on the compile commands and runs moc itself; an earlier full build only makes the
# final build faster):
#   export CCACHE_BASEDIR=$PWD
#   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
#   /work/rename/apply.sh [-B build] [-j 2] [--no-tests] [--no-commit] [--force]
#
#   -B DIR       the build directory (default build)
#   -j N         clang-rename processes and test jobs at once (default 2)
#   --no-tests   stop after the second commit
#   --no-commit  leave both steps uncommitted: the moves staged, the rest in the work tree
#                (for a look before committing; the build still runs)
#   --force      go on although the tables' check finds problems
#
# Needs clang-rename-14, python3 with yaml (python3-yaml), git, cmake, ninja.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
PY="python3 $HERE/rename.py"
B=build
J=2
TESTS=1
COMMIT=1
FORCE=0
while [ $# -gt 0 ]; do
    case "$1" in
        -B) B=$2; shift 2 ;;
        -j) J=$2; shift 2 ;;
        --no-tests) TESTS=0; shift ;;
        --no-commit) COMMIT=0; shift ;;
        --force) FORCE=1; shift ;;
        -h|--help) sed -n '2,24p' "$0"; exit 0 ;;
        *) echo "apply.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

START=$(date +%s)
log() { printf '[%s +%ss] %s\n' "$(date +%T)" "$(( $(date +%s) - START ))" "$*"; }
die() { echo "apply.sh: $*" >&2; exit 1; }

REPO=$(git rev-parse --show-toplevel) || die "not in a git checkout"
cd "$REPO"
B=$(realpath -m "$B")
[ -z "$(git status --porcelain --untracked-files=no)" ] || die "the work tree has changes; commit or stash them first"
[ -f "$B/CMakeCache.txt" ] || die "$B is not a configured build directory"
command -v clang-rename-14 >/dev/null || die "clang-rename-14 is missing (apt-get install clang-tools-14)"
python3 -c 'import yaml' 2>/dev/null || die "python3-yaml is missing"
[ -n "$(git ls-files app/TfrmMain.cpp)" ] || die "app/TfrmMain.cpp is not here: already renamed?"

WORK=$(mktemp -d /tmp/rename-work.XXXXXX)
log "work files in $WORK"

# clang-rename reads the compile commands of this checkout and the moc output its files
# include (tests/*/tst_*.moc): both brought up to date, nothing else built.
log "0/8 compile commands and moc output of this checkout"
cmake -S "$REPO" -B "$B" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > "$WORK/configure.log" 2>&1 || { cat "$WORK/configure.log"; die "cmake failed"; }
AUTOGEN=$(cmake --build "$B" --target help 2>/dev/null | grep -o '[A-Za-z0-9_.-]*_autogen\b' | sort -u | tr '\n' ' ')
[ -n "$AUTOGEN" ] || die "no moc targets found in $B"
# shellcheck disable=SC2086
nice cmake --build "$B" --target $AUTOGEN > "$WORK/autogen.log" 2>&1 || { tail -20 "$WORK/autogen.log"; die "moc failed"; }
[ -f "$B/compile_commands.json" ] || die "$B/compile_commands.json is missing"

log "1/8 the tables against the code (collisions, names hidden or shadowed)"
if ! $PY check "$REPO" > "$WORK/check.txt"; then
    cat "$WORK/check.txt"
    [ "$FORCE" = 1 ] || die "the tables need a look (above); --force goes on anyway"
fi

log "2/8 clang-rename, one translation unit at a time ($J at once)"
$PY plan "$REPO" "$B" "$WORK"
export B
# Each run exports its replacements; they are applied once, together, afterwards (a header
# seen by many translation units is edited once).
cut -f1-3 "$WORK/jobs.tsv" | xargs -P "$J" -L 1 sh -c '
    if ! nice -n 10 clang-rename-14 -p "$B" -force -input="$0" -export-fixes="$1" "$2" >"$1.log" 2>&1; then
        echo "clang-rename failed on $2:"; cat "$1.log"; exit 255
    fi'
if grep -l ' error: ' "$WORK"/fix-*.yaml.log >/dev/null 2>&1; then
    grep -h ' error: ' "$WORK"/fix-*.yaml.log | sort -u | head -20
    die "clang could not parse some translation units (above): their names would be missed"
fi
$PY fixes "$REPO" "$B" "$WORK"

log "3/8 object names, tags, parameters, file paths and comments"
$PY rules "$REPO"
$PY paths "$REPO"
$PY words "$REPO"
$PY text "$REPO"
$PY align "$REPO"

log "4/8 first commit: the files moved, nothing else"
mkdir -p "$WORK/snap"
git diff --name-only -z > "$WORK/changed"
xargs -0 -r -a "$WORK/changed" cp --parents -t "$WORK/snap"
git checkout -q -- .
$PY moves "$REPO" > "$WORK/moves.tsv"
while IFS=$'\t' read -r old new; do
    mkdir -p "$(dirname "$new")"
    git mv "$old" "$new"
done < "$WORK/moves.tsv"
if [ "$COMMIT" = 1 ]; then
    git commit -q -m "Screens' files moved to the names of the classes they will hold

Only moves, so that each file's history follows it; the next commit renames the
classes, members and handlers inside them and the includes that name these files.
This commit alone does not build." || die "the first commit failed"
fi
# The edited files back, each at its new place.
while IFS= read -r -d '' f; do
    to=$(awk -F'\t' -v f="$f" '$1 == f { print $2 }' "$WORK/moves.tsv")
    cp "$WORK/snap/$f" "${to:-$f}"
done < "$WORK/changed"

log "5/8 build, mending what the compiler finds still spelled the old way"
round=0
while :; do
    round=$((round + 1))
    if nice cmake --build "$B" -- -k 0 > "$WORK/build-$round.log" 2>&1; then
        break
    fi
    [ "$round" -lt 6 ] || { grep -E 'error' "$WORK/build-$round.log" | head -40; die "the build still fails after $round rounds"; }
    if ! $PY errors "$REPO" "$B" "$WORK/build-$round.log"; then
        grep -E 'error|Error' "$WORK/build-$round.log" | head -40
        die "the build fails for a reason this script does not mend (above; $WORK/build-$round.log)"
    fi
done
cat "$WORK"/build-*.log | grep -E 'warning:' | sort -u > "$WORK/warnings.txt" || true
if [ -s "$WORK/warnings.txt" ]; then
    log "warnings (of the files compiled again):"
    cat "$WORK/warnings.txt"
else
    log "no warnings in $round build round(s)"
fi

log "6/8 old-form names left"
if ! $PY left "$REPO" > "$WORK/left.txt"; then
    cat "$WORK/left.txt"
    die "old-form names are left in code (above)"
fi
grep '^==' "$WORK/left.txt"
[ "$(grep -c '^[^=]' "$WORK/left.txt")" = 0 ] || log "see $WORK/left.txt for the comments and strings that keep an old name"

log "7/8 second commit"
git add -u   # the moves are staged already; nothing untracked is swept in
if [ "$COMMIT" = 1 ]; then
    git commit -q -m "Screens, the data module and the print module named for what they do

Classes, members, slots and handlers take names from the captions and messages beside
them (ChargeEntryDialog, yearsEdit, save, lookUpHouse, exportToExcel, openChargeEntry,
DataModule, PrintModule, MainWindow) in place of the older program's form (TfrmUCharge_In,
Edit11, BitBtn1Click, ...). Includes, CMake lists, object names, the tests' box tags,
comments and the README's layout table follow. Stored table and column names, statement
texts, the receipt design's data set names and every caption and message stay as they
were." || die "the second commit failed"
fi

if [ "$TESTS" = 1 ]; then
    log "8/8 the whole test suite"
    (cd "$B" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$J") > "$WORK/ctest.log" 2>&1 || {
        tail -40 "$WORK/ctest.log"; die "tests failed ($WORK/ctest.log)"; }
    tail -3 "$WORK/ctest.log"
fi
log "done; work files in $WORK"
