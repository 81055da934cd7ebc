#!/bin/sh
# cvdt-fleet (the module's own gateway client, many simulated workstations) as fast as it can
# against: the raw TCP ceiling (cvdt_gateway_bench's accept-read-reply-close server), one gateway
# on SQLite, one on PostgreSQL, one on PostgreSQL with 4 event loops, two on one PostgreSQL, and
# one on PostgreSQL without a flush per commit (where the time goes); then the paced fleet of the
# target: 10,000 workstations, one report each, in 60 s, on one gateway on SQLite and on
# PostgreSQL (and on another build's gateway side by side with CVDT_BENCH_BASELINE=PATH).
# Usage: bench/fleet_vs_ceiling.sh [BUILD_DIR [REPORTS [CONCURRENCY]]]   (defaults: build 20000 16)
# CVDT_BENCH_MODE=saturation leaves out the 60-second paced run, =paced runs only that one;
# CVDT_BENCH_WORKERS sets the event loops of the last paced gateway (default 4);
# CVDT_BENCH_SERVE adds options to every saturated gateway (such as --store-threads 8).
set -eu

build_dir=${1:-build}
reports=${2:-20000}
concurrency=${3:-16}
pg_bin=/usr/lib/postgresql/15/bin
[ -x "$pg_bin/initdb" ] || { echo "PostgreSQL server programs not found in $pg_bin" >&2; exit 1; }
cmake --build "$build_dir" --target cvdt_gateway_bench cvdt-gateway cvdt-fleet >/dev/null
gateway=$build_dir/tools/cvdt-gateway/cvdt-gateway
fleet=$build_dir/tools/cvdt-fleet/cvdt-fleet
ceiling=$build_dir/bench/cvdt_gateway_bench

work=$(mktemp -d "${TMPDIR:-/tmp}/cvdt-fleet-bench.XXXXXX")
pids=""
as_pg=""
if [ "$(id -u)" -eq 0 ]; then
  as_pg="runuser -u postgres --"
  chown postgres "$work"
fi
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  $as_pg "$pg_bin/pg_ctl" -D "$work/pg" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A PostgreSQL cluster with its default durability (a flush per commit), on a unix socket.
$as_pg "$pg_bin/initdb" -D "$work/pg" -A trust -U cvdt -E UTF8 --locale=C >/dev/null
$as_pg "$pg_bin/pg_ctl" -D "$work/pg" -l "$work/pg.log" -w \
  -o "-k $work -p 5432 -c listen_addresses= -c max_connections=100" start >/dev/null
# fresh_pg NAME: creates database NAME and prints its address.
fresh_pg() {
  "$pg_bin/psql" -q "postgresql:///postgres?host=$work&port=5432&user=cvdt" \
    -c "CREATE DATABASE $1" >/dev/null
  echo "postgresql:///$1?host=$work&port=5432&user=cvdt"
}

# start_server NAME COMMAND...: runs it in the background; its port in $port.
start_server() {
  name=$1
  shift
  : >"$work/$name.out"  # no line of an earlier server of this name may be read as this one's
  "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pids="$pids $!"
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/$name.out")
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  echo "$name did not start: $(cat "$work/$name.err")" >&2
  exit 1
}
stop_servers() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  pids=""
}

ceiling_rate=""
# run_fleet LABEL DB GATEWAY_PORT... : one saturating fleet run, one table row.
run_fleet() {
  label=$1
  db=$2
  shift 2
  set -- $(for p in "$@"; do printf -- "--gateway 127.0.0.1:%s " "$p"; done)
  [ -n "$db" ] && set -- "$@" --db "$db"
  "$fleet" "$@" --workstations "$reports" --concurrency "$concurrency" --duration 300 \
    --max-errors 1000000 --json >"$work/fleet.json" || true
  python3 - "$label" "$work/fleet.json" "${ceiling_rate:-0}" <<'PY'
import json, sys
label, path, ceiling = sys.argv[1], sys.argv[2], float(sys.argv[3])
s = json.load(open(path))
rate = s["requests_per_second"]
ratio = rate / ceiling if ceiling else 1.0
l = s["latency_ms"]
check = s.get("check", {})
verdict = "-" if not check else ("exactly once" if check["passed"] else "FAILED %s" % check)
print("%-34s %9.0f %6.2f %8.2f %8.2f %7d  %s" % (label, rate, ratio, l["p50"], l["p99"],
                                                s["errors"], verdict))
PY
  if [ -z "$ceiling_rate" ]; then
    ceiling_rate=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["requests_per_second"])' "$work/fleet.json")
  fi
}

mode=${CVDT_BENCH_MODE:-all}
serve_extra=${CVDT_BENCH_SERVE:-}
baseline=${CVDT_BENCH_BASELINE:-}
workers=${CVDT_BENCH_WORKERS:-4}
if [ "$mode" != paced ]; then
echo "cvdt-fleet, $reports reports as fast as $concurrency client threads go (one TCP connection each)"
printf "%-34s %9s %6s %8s %8s %7s  %s\n" "set-up" "req/s" "ratio" "p50 ms" "p99 ms" "errors" "check"
start_server ceiling "$ceiling" --ceiling-server
run_fleet "raw TCP ceiling" "" "$port"
stop_servers

if [ -n "$baseline" ]; then
  start_server sqlite "$baseline" serve --listen 127.0.0.1:0 --db "$work/baseline.db"
  run_fleet "baseline: 1 gateway, SQLite" "$work/baseline.db" "$port"
  stop_servers
  db=$(fresh_pg bench0)
  start_server pg0 "$baseline" serve --listen 127.0.0.1:0 --db "$db"
  run_fleet "baseline: 1 gateway, PostgreSQL" "$db" "$port"
  stop_servers
fi

start_server sqlite "$gateway" serve --listen 127.0.0.1:0 --db "$work/gateway.db" $serve_extra
run_fleet "1 gateway, SQLite" "$work/gateway.db" "$port"
stop_servers

db=$(fresh_pg bench1)
start_server pg1 "$gateway" serve --listen 127.0.0.1:0 --db "$db" $serve_extra
run_fleet "1 gateway, PostgreSQL" "$db" "$port"
stop_servers

db=$(fresh_pg bench2)
start_server pg4 "$gateway" serve --listen 127.0.0.1:0 --db "$db" --workers 4 $serve_extra
run_fleet "1 gateway x 4 loops, PostgreSQL" "$db" "$port"
stop_servers

db=$(fresh_pg bench3)
start_server pga "$gateway" serve --listen 127.0.0.1:0 --db "$db" $serve_extra
first=$port
start_server pgb "$gateway" serve --listen 127.0.0.1:0 --db "$db" $serve_extra
run_fleet "2 gateways, one PostgreSQL" "$db" "$first" "$port"
stop_servers

db=$(fresh_pg bench4)
start_server pgnf "$gateway" serve --listen 127.0.0.1:0 \
  --db "$db&options=-csynchronous_commit%3Doff" $serve_extra
run_fleet "1 gateway, PostgreSQL, no flush" "$db" "$port"
stop_servers

fi
[ "$mode" = saturation ] && exit 0
# run_paced LABEL GATEWAY DB [SERVE_OPTION...]: 10,000 workstations, one report each, over 60 s.
run_paced() {
  label=$1
  program=$2
  db=$3
  shift 3
  start_server paced "$program" serve --listen 127.0.0.1:0 --db "$db" "$@"
  "$fleet" --gateway "127.0.0.1:$port" --workstations 10000 --rate 167 --concurrency 64 \
    --duration 75 --db "$db" --json >"$work/paced.json" || true
  stop_servers
  python3 - "$label" "$work/paced.json" <<'PY'
import json, sys
s = json.load(open(sys.argv[2]))
l = s["latency_ms"]
check = s.get("check", {})
verdict = "exactly once" if check.get("passed") else "FAILED %s" % check
print("%-44s %6d %7.1f %7.2f %7.2f %8.1f %6d  %s" % (sys.argv[1], s["acknowledged"],
      s["requests_per_second"], l["p50"], l["p99"], l["max"], s["errors"], verdict))
PY
}

echo
echo "10,000 workstations, one report each, paced over 60 s (167/s), one event loop per gateway"
echo "(CVDT_BENCH_BASELINE=PATH: another build's gateway, run side by side):"
printf "%-44s %6s %7s %7s %7s %8s %6s  %s\n" "set-up" "acked" "req/s" "p50 ms" "p99 ms" "max ms" \
  "errors" "check"
n=0
for program in ${CVDT_BENCH_BASELINE:-} "$gateway"; do
  n=$((n + 1))
  build=this
  [ "$program" != "$gateway" ] && build=baseline
  run_paced "$build: SQLite" "$program" "$work/paced$n.db"
  run_paced "$build: PostgreSQL" "$program" "$(fresh_pg paced$n)"
done
run_paced "this: PostgreSQL, $workers loops" "$gateway" "$(fresh_pg pacedw)" --workers "$workers"
