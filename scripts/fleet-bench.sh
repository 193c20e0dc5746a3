#!/usr/bin/env bash
# The fleet's figure: machines that write their inventories at once into
# one PostgreSQL server across a network, each recipe beside the others and
# beside COPY, the fastest way rows get in. The server, the relay that plays
# the network, the trees and the Wine prefix are the run's own, under one
# temporary folder; all of it is stopped and removed on every way out.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/postgresql.sh
. scripts/bench-trees.sh

usage="usage: scripts/fleet-bench.sh [--delays MS[,MS...]] [--files N] [--repeats N]
Four simulated machines, each a SorvikScan with a name of its own and a tree
of N files (--files, a multiple of 100; 20000 by default), write their
inventories at once into a PostgreSQL server made for the run: TCP on
127.0.0.1, TLS with a certificate made for the run, a password (SCRAM), its
log flushed at every commit. A relay between them adds each round trip of
--delays (0,1,10 ms by default). At each: today's recipe (one autocommit
upsert a file, then the sweep), the same in batches, and the change-only
recipe, each a first run and an unchanged rerun; then the same rows loaded
with COPY, four at once. Each runs --repeats times (3 by default), today's
recipe once; a row shows the run of median time and the range of the times.
Prints time, the server sessions' CPU time, rows written to files, the
server's log bytes and the dead rows a rerun leaves, then the targets met
or missed.
The full run takes about 25 minutes (today's recipe at 10 ms 9 of them);
--delays 0 about 3."

refuse() {  # why
    echo "fleet-bench.sh: $1" >&2
    echo "$usage" >&2
    exit 2
}
delays=0,1,10
files=20000
repeats=3
while [ $# -gt 0 ]; do
    case "$1" in
        -h | --help) echo "$usage"; exit 0 ;;
        --delays) [[ ${2-} =~ ^[0-9]{1,4}(\.[0-9]+)?(,[0-9]{1,4}(\.[0-9]+)?)*$ ]] ||
            refuse "--delays takes round trips in ms, apart by commas (0,1,10), not '${2-}'"
            delays=$2; shift 2 ;;
        --files) [[ ${2-} =~ ^[1-9][0-9]*00$ ]] || refuse "--files takes a multiple of 100, not '${2-}'"
            files=$2; shift 2 ;;
        --repeats) [[ ${2-} =~ ^[1-9]$ ]] || refuse "--repeats takes a number from 1 to 9, not '${2-}'"
            repeats=$2; shift 2 ;;
        *) refuse "$1 is not an option of this script" ;;
    esac
done
fail() {
    echo "fleet-bench.sh: $*" >&2
    exit 1
}
[ -n "$pgbin" ] && command -v openssl gcc psql >/dev/null ||
    fail "the server, openssl, gcc or psql is missing: run scripts/install-deps.sh"
psqlodbc=$(driver odbc-postgresql:i386 psqlodbcw.so)
machines=4
readme=$PWD/README.md

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 --target SorvikScan >/dev/null
scan=$(windows "$PWD/build/mingw-i686/bin/SorvikScan.exe")

tmp=$(mktemp -d /tmp/sorvik-fleet.XXXXXX)
export WINEPREFIX=$tmp/wine
server_pid=
relay_pid=
desktop_pid=
running=()  # the machines' and the loads' processes while they run
cleanup() {
    [ ${#running[@]} -eq 0 ] || kill "${running[@]}" 2>/dev/null || true
    [ -z "$relay_pid" ] || kill "$relay_pid" 2>/dev/null || true
    # Gone before the prefix's processes are: one still starting would
    # start a wineserver of its own after them.
    if [ -n "$desktop_pid" ]; then
        kill "$desktop_pid" 2>/dev/null || true
        wait "$desktop_pid" 2>/dev/null || true
    fi
    # The prefix is the run's own: whatever still runs in it is the run's.
    [ ! -d "$WINEPREFIX" ] || wineserver -k 2>/dev/null || true
    if [ -n "$server_pid" ]; then
        kill -INT "$server_pid" 2>/dev/null || true  # the fast shutdown
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

gcc -O2 -Wall -o "$tmp/delay-relay" bench/delay-relay.c

# The server: its own cluster, reached only over TCP on 127.0.0.1 with TLS
# and the password; fsync and synchronous_commit on, as in production.
# Without autovacuum, the dead rows a run leaves stay to be counted (a
# rerun begins with the vacuum and analysis that autovacuum would have
# made between two nights), and with checkpoints only where the bench asks
# for them, every run starts with the same full-page images to write.
start_server() {
    local data=$tmp/server/data port
    mkdir -m 700 "$tmp/server"
    make_password "$tmp/server/password"
    init_postgresql "$data" "$tmp/server/password" "$tmp/server/init.log"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 \
        -addext subjectAltName=IP:127.0.0.1 -keyout "$data/server.key" -out "$tmp/server.crt" 2>"$tmp/server/openssl.log" ||
        { cat "$tmp/server/openssl.log" >&2; fail "no certificate could be made"; }
    cp "$tmp/server.crt" "$data/server.crt"
    echo "hostssl all sorvik 127.0.0.1/32 scram-sha-256" >"$data/pg_hba.conf"
    # A free port: one below the range the system hands out to clients,
    # tried until the server can listen on it.
    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 12000))
        setsid "${as_postgres[@]}" "$pgbin/postgres" -D "$data" -p "$port" -c listen_addresses=127.0.0.1 \
            -c unix_socket_directories= -c ssl=on -c fsync=on -c synchronous_commit=on -c full_page_writes=on \
            -c autovacuum=off -c checkpoint_timeout=1h -c max_wal_size=10GB \
            </dev/null >>"$tmp/server/server.log" 2>&1 &
        server_pid=$!
        while kill -0 "$server_pid" 2>/dev/null; do
            if [ "$(sed -n 8p "$data/postmaster.pid" 2>/dev/null | tr -d ' ')" = ready ]; then
                server_port=$port
                return 0
            fi
            sleep 0.1
        done
        wait "$server_pid" || true
        server_pid=
        grep -q "could not bind" "$tmp/server/server.log" || break
    done
    tail -n 20 "$tmp/server/server.log" >&2
    fail "PostgreSQL did not start"
}

# The clients find the password in a file only root may read, never on a
# command line, and accept only the run's certificate.
client_environment() {
    (umask 077 && echo "127.0.0.1:*:*:sorvik:$(cat "$tmp/server/password")" >"$tmp/pgpass")
    export PGPASSFILE=$tmp/pgpass PGSSLMODE=verify-full PGSSLROOTCERT=$tmp/server.crt PGHOST=127.0.0.1 PGUSER=sorvik
    # Debian's driver settings turn psqlODBC's communication log on, which
    # leaves a file in /tmp for every connection: the run's own turn it off.
    mkdir "$tmp/odbc"
    printf '[PostgreSQL Unicode]\nCommLog=0\n' >"$tmp/odbc/odbcinst.ini"
    export ODBCSYSINI=$tmp/odbc
}

calc() {  # expression: its value
    awk "BEGIN { printf \"%.6f\", $1 }"
}

sql() {  # database, statement: the rows, fields apart by spaces
    PGOPTIONS="-c client_min_messages=warning" psql -X -q -At -F ' ' -v ON_ERROR_STOP=1 -p "$server_port" \
        -d "$1" -c "$2"
}

# The relay adds a round trip, and is measured: SELECT 1's latency through
# it less that of the server itself.
start_relay() {  # round trip in ms
    [ -z "$relay_pid" ] || { kill "$relay_pid"; wait "$relay_pid" 2>/dev/null || true; }
    rm -f "$tmp/relay.port"
    "$tmp/delay-relay" "$server_port" "$1" >"$tmp/relay.port" 2>>"$tmp/relay.log" &
    relay_pid=$!
    wait_for "the relay's start" 10 grep -q . "$tmp/relay.port" || { cat "$tmp/relay.log" >&2; exit 1; }
    relay_port=$(head -n 1 "$tmp/relay.port")
}

latency() {  # port: SELECT 1's average in ms
    echo "SELECT 1;" >"$tmp/select1.sql"
    "$pgbin/pgbench" -n -p "$1" -f "$tmp/select1.sql" -T 2 postgres 2>/dev/null |
        sed -n 's/^latency average = \([0-9.]*\) ms$/\1/p'
}

# The README's statements that make the tables, in its order: every
# PostgreSQL block that is neither a template nor one of a machine's runs.
# Each line is a statement, its semicolon optional.
readme_setup() {
    awk '/^```sql .*PostgreSQL/ { inside = 1; text = ""; next }
        inside && /^```/ { if (text !~ /%COMPUTERNAME%|\{File/) printf "%s", text; inside = 0; next }
        inside { text = text $0 (/;$/ ? "" : ";") "\n" }' "$readme"
}

# The README's nightly script of a recipe: the bat block holding "marker".
readme_script() {  # marker
    awk -v marker="$1" '/^```bat$/ { inside = 1; text = ""; next }
        inside && /^```$/ { if (index(text, marker)) { printf "%s", text; exit } inside = 0; next }
        inside { text = text $0 "\n" }' "$readme"
}

fresh_database() {  # name
    sql postgres "DROP DATABASE IF EXISTS $1" && sql postgres "CREATE DATABASE $1"
    readme_setup | psql -X -q -v ON_ERROR_STOP=1 -p "$server_port" -d "$1" -f - >/dev/null
}

# A machine's script: the README's, with the bench's server, program,
# folders and the machine's name written in, and SorvikScan's options.
machine_script() {  # script, machine, database, options
    local line template
    template=$(windows "$tmp/$2.sql")
    while IFS= read -r line; do
        case "$line" in
            "set DB="*) line="set DB=Driver=$psqlodbc;Server=127.0.0.1;Port=$relay_port;Database=$3;Username=sorvik;SSLmode=verify-full;pqopt={sslrootcert=$tmp/server.crt}" ;;
            "set SCAN="*) line="set SCAN=\"$scan\"" ;;
        esac
        line=${line//"C:\\ProgramData\\Sorvik\\inventory.sql"/"$template"}
        line=${line//"D:\\Data"/"$(windows "$tmp/$2")"}
        line=${line//"%COMPUTERNAME%"/"$2"}
        line=${line//"%SCAN% "/"%SCAN% $4 "}
        printf '%s\r\n' "$line"
    done <<<"$1"
}

no_sessions() {
    ! pgrep -P "$server_pid" -f '^postgres: sorvik ' >/dev/null
}

# The CPU time of the server's sessions that have ended, in clock ticks:
# the postmaster's children's, counted as each is reaped.
sessions_cpu() {
    awk '{ print $16 + $17 }' "/proc/$server_pid/stat"
}

# The figures of a phase. Before: a checkpoint, the log's position, the
# rows written so far and the sessions' CPU time. After: once every session
# of the phase has ended (and with it counted its rows and CPU), the same,
# and the dead rows.
begin_phase() {  # database
    sql "$1" CHECKPOINT
    read -r lsn_before written_before < <(sql "$1" "SELECT pg_current_wal_lsn(), COALESCE(SUM(n_tup_ins + n_tup_upd + n_tup_del), 0) FROM pg_stat_user_tables WHERE relname = 'files'")
    wait_for "the end of the sessions before the phase" 60 no_sessions
    cpu_before=$(sessions_cpu)
    started=$EPOCHREALTIME
}

end_phase() {  # database, round trip, recipe, run
    local seconds lsn written dead wal cpu
    seconds=$(calc "$EPOCHREALTIME - $started")
    wait_for "the end of the phase's sessions" 60 no_sessions
    cpu=$(calc "($(sessions_cpu) - $cpu_before) / $(getconf CLK_TCK)")
    read -r lsn written dead < <(sql "$1" "SELECT pg_current_wal_lsn(), SUM(n_tup_ins + n_tup_upd + n_tup_del), SUM(n_dead_tup) FROM pg_stat_user_tables WHERE relname = 'files'")
    wal=$(sql "$1" "SELECT pg_wal_lsn_diff('$lsn', '$lsn_before')")
    runs_of["$2|$3|$4"]+="$seconds $cpu $((written - written_before)) $wal $dead"$'\n'
}

# A phase's row, from its run of median time, with the range of its times.
print_phase() {  # round trip, recipe, run
    local key="$1|$2|$3" runs seconds cpu written wal dead
    runs=$(sort -n <<<"${runs_of[$key]%$'\n'}")
    # Of an even number, the slower of the two in the middle.
    read -r seconds cpu written wal dead < <(sed -n "$(($(wc -l <<<"$runs") / 2 + 1))p" <<<"$runs")
    printf '| %s ms (%.2f) | %s | %s | %.1f s | %s | %.0f | %.1f s | %d | %.2f MB | %s |\n' "$1" "$measured" "$2" "$3" \
        "$seconds" "$(awk 'NR == 1 { low = $1 } { high = $1 } END { printf (NR == 1 ? "one run" : "%.1f to %.1f s, %d runs"), low, high, NR }' <<<"$runs")" \
        "$(calc "$machines * $files / $seconds")" "$cpu" "$written" "$(calc "$wal / 1000000")" "$dead"
    seconds_of[$key]=$seconds
    written_of[$key]=$written
    wal_of[$key]=$wal
}

# One line a target: what it asks, the figure, met or missed.
target() {  # what, the figure, the condition on numbers (awk)
    local verdict=missed
    awk "BEGIN { exit !($3) }" && verdict=met
    echo "- $1: $2, $verdict"
}

# The fleet's targets, for the delays that were run: the change-only
# recipe's, the one a fleet runs, whose first run and unchanged rerun both
# have some. Today's recipe in batches still runs an upsert a file: its
# figures are printed beside, as a step between the two.
print_targets() {
    local delay today copy first speedup rerun
    echo
    echo "Targets (the change-only recipe's):"
    for delay in ${delays//,/ }; do
        today=${seconds_of["$delay|today's recipe|first run"]}
        copy=${seconds_of["$delay|COPY|load"]}
        first=${seconds_of["$delay|change-only recipe|first run"]}
        speedup=$(calc "$today / $first")
        if awk "BEGIN { exit !($delay == 10) }"; then
            target "at 10 ms: first run at least 20 times faster than today's recipe" \
                "$(printf '%.1f times' "$speedup")" "$speedup >= 20"
        elif awk "BEGIN { exit !($delay == 0) }"; then
            target "at 0 ms: first run at least 3 times faster than today's recipe" \
                "$(printf '%.1f times' "$speedup")" "$speedup >= 3"
            # The same rows: a rate a quarter of COPY's is four times its time.
            target "at 0 ms: at least a quarter of COPY's rate" \
                "$(printf '%.2f of it' "$(calc "$copy / $first")")" "$first <= 4 * $copy"
        fi
        rerun="$delay|change-only recipe|unchanged rerun"
        target "at $delay ms: an unchanged rerun writes no row of files" "${written_of[$rerun]} rows" \
            "${written_of[$rerun]} == 0"
        target "at $delay ms: an unchanged rerun writes at most a tenth of today's recipe's log bytes" \
            "$(printf '%.3f of them' "$(calc "${wal_of[$rerun]} / ${wal_of["$delay|today's recipe|unchanged rerun"]}")")" \
            "10 * ${wal_of[$rerun]} <= ${wal_of["$delay|today's recipe|unchanged rerun"]}"
    done
    echo
    echo "Beside them, today's recipe in batches:"
    for delay in ${delays//,/ }; do
        first=${seconds_of["$delay|today's recipe, batches|first run"]}
        printf -- "- at %s ms: first run %.1f times faster than today's recipe, %.2f of COPY's rate\n" "$delay" \
            "$(calc "${seconds_of["$delay|today's recipe|first run"]} / $first")" \
            "$(calc "${seconds_of["$delay|COPY|load"]} / $first")"
    done
}

# Every machine's run at once; a failed one ends the bench with its words.
run_machines() {  # script, database, options
    local m name status=0
    running=()
    for ((m = 1; m <= machines; m++)); do
        name=machine-$m
        machine_script "$1" "$name" "$2" "$3" >"$tmp/$name.cmd"
        scripts/wine-run.sh cmd /c "$(windows "$tmp/$name.cmd")" >"$tmp/$name.log" 2>&1 &
        running+=($!)
    done
    for m in "${!running[@]}"; do wait "${running[$m]}" || { status=$?; tail -n 5 "$tmp/machine-$((m + 1)).log" >&2; }; done
    running=()
    [ "$status" -eq 0 ] || fail "a machine's run ended with $status"
}

# The same rows as the machines write, from SorvikScan's own listing of
# each tree, loaded with COPY through the relay, four at once.
make_copy_data() {
    local m
    for ((m = 1; m <= machines; m++)); do
        scripts/wine-run.sh "$scan" "$(windows "$tmp/machine-$m")" --list csv 2>/dev/null |
            awk -F , -v host="machine-$m" '{ sub(/\r$/, "") }
                NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
                { print host ",1," $column["FileTitle"] "," $column["FilePath"] "," $column["WriteTime"] "," \
                    $column["AllAttributes"] "," $column["FileLength"] "," $column["CreateTimeUtc"] "," \
                    $column["AccessTimeUtc"] "," $column["WriteTimeUtc"] }' >"$tmp/machine-$m.csv"
        [ "$(wc -l <"$tmp/machine-$m.csv")" -eq "$files" ] || fail "the listing of machine-$m is not $files rows"
    done
}

load_with_copy() {  # database
    local m status=0
    running=()
    for ((m = 1; m <= machines; m++)); do
        psql -X -q -v ON_ERROR_STOP=1 -p "$relay_port" -d "$1" \
            -c "\\copy files (host, run, title, path, written, attributes, length, created_utc, accessed_utc, written_utc) FROM '$tmp/machine-$m.csv' (FORMAT csv)" &
        running+=($!)
    done
    for m in "${running[@]}"; do wait "$m" || status=$?; done
    running=()
    [ "$status" -eq 0 ] || fail "a COPY ended with $status"
}

echo "Making the trees and the server in $tmp ..."
for ((m = 1; m <= machines; m++)); do make_tree "$tmp/machine-$m" $((files / 100)) 100; done
start_server
client_environment
scripts/wine-prefix.sh "$WINEPREFIX" null
# A warm wineserver, as a machine's own system has: no run pays its start.
wineserver -p >/dev/null 2>&1 </dev/null
# Nor the start of Wine's desktop process, which comes with a process's
# first window (SorvikScan's hidden one) and goes with the last: a program
# with a window of its own keeps it, as a machine's session does.
scripts/wine-run.sh notepad >/dev/null 2>&1 </dev/null &
desktop_pid=$!
make_copy_data

# Each recipe: its name, what marks its nightly script in the README,
# SorvikScan's options.
recipes=(
    "today's recipe|GREATEST(files.run|--batch 1"
    "today's recipe, batches|GREATEST(files.run|"
    "change-only recipe|sorvik_seen|"
)
for recipe in "${recipes[@]}"; do
    IFS='|' read -r name marker options <<<"$recipe"
    [ -n "$(readme_script "$marker")" ] || fail "no nightly script of the $name in the README"
done

declare -A seconds_of written_of wal_of runs_of
echo
echo "| round trip added (measured) | recipe | run | time | times of its runs | files/s | server CPU | rows written to files | log bytes | dead rows |"
echo "|---|---|---|---:|---|---:|---:|---:|---:|---:|"
for delay in ${delays//,/ }; do
    start_relay "$delay"
    direct=$(latency "$server_port")
    measured=$(calc "$(latency "$relay_port") - $direct")
    # Each round runs every recipe, then COPY: a machine whose speed drifts
    # over minutes moves a recipe's figure and COPY's alike.
    for ((r = 0; r < repeats; r++)); do
        for recipe in "${recipes[@]}"; do
            IFS='|' read -r name marker options <<<"$recipe"
            # Today's recipe takes minutes at 10 ms: it runs once.
            [ "$options" != "--batch 1" ] || [ "$r" -eq 0 ] || continue
            fresh_database fleet
            # The first run finds the tables as a fleet's first night does:
            # new, and never analyzed.
            for run in "first run" "unchanged rerun"; do
                [ "$run" = "first run" ] || sql fleet "VACUUM ANALYZE"
                begin_phase fleet
                run_machines "$(readme_script "$marker")" fleet "$options"
                end_phase fleet "$delay" "$name" "$run"
            done
        done
        fresh_database fleet
        begin_phase fleet
        load_with_copy fleet
        end_phase fleet "$delay" COPY load
    done
    for recipe in "${recipes[@]}"; do
        IFS='|' read -r name marker options <<<"$recipe"
        print_phase "$delay" "$name" "first run"
        print_phase "$delay" "$name" "unchanged rerun"
    done
    print_phase "$delay" COPY load
done
print_targets
