#!/usr/bin/env bash
# Private PostgreSQL and MariaDB servers for the tests: data under DIR,
# reached only through Unix sockets of their own (no TCP port), stopped by
# process id.
#   db-servers.sh DIR start [postgresql|mariadb]   creates on first use, starts
#   db-servers.sh DIR stop [postgresql|mariadb]    stops, waits until gone
#   db-servers.sh DIR env                          prints the connection strings
set -euo pipefail
dir=$(mkdir -p "$1" && cd "$1" && pwd)
action=$2
only=${3:-}
# Socket paths are limited to about 100 bytes; the data folder's may be longer.
sockets=/tmp/sorvik-db-$(echo "$dir" | md5sum | cut -c1-12)
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
# PostgreSQL refuses to run as root. Under root it runs in a user namespace
# of its own, as nobody there, while its files stay root's here: so it
# reaches the build folder wherever that lies, whatever its parents allow.
as_postgres=()
if [ "$(id -u)" -eq 0 ]; then
    as_postgres=(unshare --user --map-user=65534 --map-group=65534)
fi

wait_for() {  # what, seconds, test command...
    local what=$1 seconds=$2
    shift 2
    for _ in $(seq $((seconds * 10))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "db-servers.sh: $what did not happen within $seconds s" >&2
    return 1
}

stop_pid() {  # pidfile, signal
    local pidfile=$1 signal=$2 pid
    [ -f "$pidfile" ] || return 0
    pid=$(head -n 1 "$pidfile")
    if kill -0 "$pid" 2>/dev/null; then
        kill "-$signal" "$pid"
        wait_for "the end of process $pid" 60 bash -c "! kill -0 $pid"
    fi
    # Only the stopped server's own file: a server started since writes anew.
    [ "$(head -n 1 "$pidfile" 2>/dev/null)" != "$pid" ] || rm -f "$pidfile"
}

start_postgresql() {
    local data="$dir/postgresql"
    if [ ! -f "$data/PG_VERSION" ]; then
        rm -rf "$data"
        mkdir -p "$data"
        "${as_postgres[@]}" "$pgbin/initdb" -D "$data" -U sorvik --auth=trust -E UTF8 --locale=C.UTF-8 \
            >"$dir/postgresql-init.log" 2>&1 || { tail -n 20 "$dir/postgresql-init.log" >&2; return 1; }
    fi
    "${as_postgres[@]}" "$pgbin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 start \
        -o "-c listen_addresses='' -k $sockets -c fsync=off" >/dev/null ||
        { tail -n 20 "$data/server.log" >&2; return 1; }
    head -n 1 "$data/postmaster.pid" >"$dir/postgresql.pid"
}

stop_postgresql() {
    # SIGINT is the fast shutdown: connected clients are cut off at once.
    stop_pid "$dir/postgresql.pid" INT
}

start_mariadb() {
    local data="$dir/mariadb"
    if [ ! -d "$data/mysql" ]; then
        rm -rf "$data"
        mkdir -p "$data"
        mariadb-install-db --no-defaults --datadir="$data" --user="$(id -un)" --auth-root-authentication-method=normal \
            --skip-test-db >"$dir/mariadb-init.log" 2>&1 || { tail -n 20 "$dir/mariadb-init.log" >&2; return 1; }
    fi
    mariadbd --no-defaults --datadir="$data" --user="$(id -un)" --skip-networking --socket="$sockets/mysqld.sock" \
        --pid-file="$dir/mariadb.pid" --log-error="$dir/mariadb.log" --character-set-server=utf8mb4 \
        --collation-server=utf8mb4_bin --innodb-flush-log-at-trx-commit=0 </dev/null >/dev/null 2>&1 &
    wait_for "MariaDB's start" 60 mariadb-admin --no-defaults --socket="$sockets/mysqld.sock" -uroot ping ||
        { tail -n 20 "$dir/mariadb.log" >&2; return 1; }
    mariadb --no-defaults --socket="$sockets/mysqld.sock" -uroot -e "CREATE DATABASE IF NOT EXISTS sorvik"
}

stop_mariadb() {
    stop_pid "$dir/mariadb.pid" TERM
}

servers=(postgresql mariadb)
[ -n "$only" ] && servers=("$only")
case "$action" in
    start)
        mkdir -p "$sockets"
        chown "$(id -u):$(id -g)" "$sockets"  # a folder left by an older run may be someone else's
        for s in "${servers[@]}"; do "start_$s"; done
        "$(dirname "${BASH_SOURCE[0]}")/fetch-mariadb-odbc64.sh" "$dir/odbc64/libmaodbc.so"
        ;;
    stop)
        for s in "${servers[@]}"; do "stop_$s"; done
        ;;
    env)
        # The drivers of the architecture of the Windows program: 32-bit
        # programs take the plain names, 64-bit ones those ending in _64.
        # The 64-bit MariaDB driver is unpacked beside the data at start.
        # Each driver where its package put it.
        driver() { dpkg -L "$1" | grep -m 1 "/$2\$"; }
        for arch in i386:"" amd64:_64; do
            suffix=${arch#*:}
            postgresql=$(driver "odbc-postgresql:${arch%%:*}" psqlodbcw.so)
            mariadb=$dir/odbc64/libmaodbc.so
            [ -n "$suffix" ] || mariadb=$(driver odbc-mariadb:i386 libmaodbc.so)
            echo "export SORVIK_TEST_POSTGRESQL$suffix='Driver=$postgresql;Servername=$sockets;Database=postgres;Username=sorvik'"
            echo "export SORVIK_TEST_MARIADB$suffix='Driver=$mariadb;Socket=$sockets/mysqld.sock;Database=sorvik;Uid=root;Pwd=;CharSet=utf8mb4'"
        done
        echo "export SORVIK_TEST_DB_CONTROL='$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/db-servers.sh $dir'"
        ;;
    *)
        echo "usage: db-servers.sh DIR start|stop|env [postgresql|mariadb]" >&2
        exit 2
        ;;
esac
