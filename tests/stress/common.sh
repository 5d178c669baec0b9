# Shared by the stress scripts (sourced, not run): the admin tool, a temporary folder with
# a private runtime folder, and the checks that count failures.
# Expects ADMIN (default build/bin/chengyue-admin) and sets ADMIN, work, db, failures.
ADMIN=${ADMIN:-build/bin/chengyue-admin}
if [ ! -x "$ADMIN" ]; then
  echo "admin tool not found: $ADMIN (build it: cmake --build build --target chengyue-admin)" >&2
  exit 2
fi
ADMIN=$(readlink -f "$ADMIN")
work=$(mktemp -d)
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"
db=$work/Data/db.edb
failures=0
# One statement through the admin tool; the rows without the heading line.
sql() { "$ADMIN" sql --db "$db" "$1" 2>&1 | tail -n +2; }
check() { # name expected actual
  if [ "$2" != "$3" ]; then
    echo "FAILED: $1: expected '$2', got '$3'" >&2
    failures=$((failures + 1))
  fi
}
