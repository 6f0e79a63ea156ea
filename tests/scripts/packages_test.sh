#!/usr/bin/env bash
# The set-up step of the README's commands (scripts/packages.sh) on a
# machine where the tools are missing: PATH holds only stubs of dpkg-query,
# apt-get and id, so nothing real is installed or asked.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
bash=$(command -v bash)
stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT
fail=0

# dpkg-query: "installed" for the packages named in $INSTALLED.
cat > "$stubs/dpkg-query" <<'STUB'
#!/bin/bash
for p in $INSTALLED; do [ "$p" = "${!#}" ] && { printf 'install ok installed'; exit 0; }; done
exit 1
STUB
cat > "$stubs/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $*" >> "$LOG"
STUB
cat > "$stubs/id" <<'STUB'
#!/bin/bash
echo "$UID_STUB"
STUB
chmod +x "$stubs"/*

# run GROUP INSTALLED UID: the step's exit code, its output and the apt-get log.
run() {
  : > "$stubs/log"
  out=$(cd "$top" && PATH="$stubs" INSTALLED="$2" UID_STUB="$3" LOG="$stubs/log" \
    "$bash" -c '. scripts/packages.sh; ensure_packages '"$1"'; echo "returned $?"' 2>&1)
  code=$?
  log=$(cat "$stubs/log")
}
check() {  # NAME CONDITION...
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; echo "  output: $out"; echo "  apt-get: $log"; fail=1; fi
}

all_build="cmake gcc g++ make pkg-config"
run build "$all_build" 1000
check "nothing missing: no install" test "$code" = 0 -a "$out" = "returned 0" -a -z "$log"

run build "gcc make" 1000
check "missing, not root: one command printed, nothing installed" \
  test "$code" = 1 -a -z "$log" -a "$(echo "$out" | tail -n 1)" = "  sudo apt-get install -y cmake g++ pkg-config"

run build "" 0
check "missing, root: installed with apt-get" \
  test "$code" = 0 -a "$log" = "apt-get update -qq
apt-get install -y -qq --no-install-recommends cmake gcc g++ make pkg-config"

run test "$all_build libgtest-dev" 0
check "test group adds the reference libraries" \
  test "$code" = 0 -a "$(echo "$log" | tail -n 1)" = "apt-get install -y -qq --no-install-recommends libbenchmark-dev libblas-dev liblapack-dev libsuitesparse-dev libsundials-dev minpack-dev"

rm "$stubs/dpkg-query" "$stubs/apt-get"
run build "" 0
check "no dpkg and no apt-get: a clear message" \
  test "$code" = 1 -a -n "$(echo "$out" | grep 'missing: cmake gcc g++ make pkg-config (no apt-get here')"

[ $fail = 0 ] && echo "scripts set-up: all passed"
exit $fail
