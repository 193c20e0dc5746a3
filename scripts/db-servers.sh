#!/usr/bin/env bash
# Private PostgreSQL and MariaDB servers for the tests, with data under DIR.
# They listen only on Unix sockets, in a folder made fresh for them that only
# the user who runs them may enter; PostgreSQL asks the password made with
# its cluster, and MariaDB's root is the Unix user root (the socket's peer
# credentials). The script stops only the servers it started, and deletes
# only what it made.
#   db-servers.sh DIR start [postgresql|mariadb]   creates on first use, starts
#   db-servers.sh DIR stop [postgresql|mariadb]    stops, waits until gone
#   db-servers.sh DIR env                          prints, shell-quoted, the variables
#                                                  the tests read
set -euo pipefail

usage="usage: db-servers.sh DIR start|stop|env [postgresql|mariadb]"
. "$(dirname "${BASH_SOURCE[0]}")/options.sh"
take_arguments "$usage" 2 3 "$@"
action=$2
only=${3:-}
case "$action:$only" in
    start: | stop: | env: | start:postgresql | start:mariadb | stop:postgresql | stop:mariadb) ;;
    *) echo "$usage" >&2; exit 2 ;;
esac

fail() {
    echo "db-servers.sh: $*" >&2
    exit 1
}

dir=$(mkdir -p "$1" && cd "$1" && pwd)
# Each folder this script makes holds this file; no other is used or deleted.
marker=.made-by-sorvik-db-servers
pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$pgbin" ] || fail "no PostgreSQL server: install the postgresql package (scripts/install-deps.sh)"
command -v mariadbd >/dev/null || fail "no MariaDB server: install the mariadb-server package (scripts/install-deps.sh)"
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

# The socket folder of the running servers, recorded in DIR/sockets. Only a
# folder that is provably ours counts: named as mktemp names ours, directly
# under /tmp, a real folder that no one else may enter, with our marker
# inside. Anything else written there is never used, let alone deleted.
sockets_folder() {
    local folder
    folder=$(cat "$dir/sockets" 2>/dev/null) || return 1
    [[ $folder =~ ^/tmp/sorvik-db-[A-Za-z0-9]{8}$ ]] && is_ours "$folder" || return 1
    echo "$folder"
}

# True for a folder this script made: not a link, the user's alone, marked.
is_ours() {
    [ -d "$1" ] && [ ! -L "$1" ] && [ "$(stat -c %u:%a "$1")" = "$(id -u):700" ] &&
        [ -f "$1/$marker" ] && [ ! -L "$1/$marker" ]
}

# True when pid is the server this script starts: that executable, on that
# data folder.
is_our_server() {  # pid, executable, data folder
    local pid=$1 exe=$2 data=$3
    [[ $pid =~ ^[0-9]+$ ]] && [ "$(readlink -f "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$exe")" ] &&
        tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | grep -qxF -e "$data" -e "--datadir=$data"
}

stop_server() {  # name, pid file, executable, data folder, signal
    local name=$1 pidfile=$2 exe=$3 data=$4 signal=$5 pid
    [ -f "$pidfile" ] || return 0
    pid=$(head -n 1 "$pidfile")
    if is_our_server "$pid" "$exe" "$data"; then
        kill "-$signal" "$pid"
        wait_for "the end of $name (process $pid)" 60 bash -c "! kill -0 $pid"
    else
        echo "db-servers.sh: $pidfile is stale: process $pid is not the $name server started here; left alone" >&2
    fi
    rm -f "$pidfile"
}

# A data folder this script made, or none yet; anything else is refused.
check_data_folder() {  # data folder
    [ ! -e "$1" ] || [ -f "$1/$marker" ] ||
        fail "$1 was not made by this script; it is left as it is: move it away, or give another DIR"
}

# Makes DIR/NAME with FILL, which fills STAGE/data: in a folder beside it,
# marked as ours before anything is put in it, renamed into place only when
# complete. So the data folder is never half made, and what a killed start
# left beside it is provably ours, and removed.
make_data_folder() {  # name, fill
    local name=$1 fill=$2 stage old
    for old in "$dir/.$name.making."*; do
        ! is_ours "$old" || rm -rf "$old"
    done
    stage=$(mktemp -d "$dir/.$name.making.XXXXXX")
    touch "$stage/$marker"
    "$fill" "$stage" || { rm -rf "$stage"; fail "the $name data folder could not be made"; }
    touch "$stage/data/$marker"
    mv -T "$stage/data" "$dir/$name"
    rm -rf "$stage"
}

fill_postgresql() {  # stage
    (umask 077 && head -c 24 /dev/urandom | base64 | tr -d '/+=' >"$1/password")
    "${as_postgres[@]}" "$pgbin/initdb" -D "$1/data" -U sorvik --auth=scram-sha-256 --pwfile="$1/password" \
        -E UTF8 --locale=C.UTF-8 >"$dir/postgresql-init.log" 2>&1 ||
        { tail -n 20 "$dir/postgresql-init.log" >&2; return 1; }
    mv "$1/password" "$dir/postgresql.password"
}

start_postgresql() {
    local data="$dir/postgresql"
    # What an earlier run left running is stopped first, so that it starts clean.
    stop_postgresql
    [ -e "$data" ] || make_data_folder postgresql fill_postgresql
    # Started as MariaDB is, in a session of its own; pg_ctl would hand the
    # folder's path to a shell.
    setsid "${as_postgres[@]}" "$pgbin/postgres" -D "$data" -c listen_addresses= -k "$sockets" -c fsync=off \
        </dev/null >>"$data/server.log" 2>&1 &
    wait_for "PostgreSQL's start" 60 "$pgbin/pg_isready" -q -h "$sockets" ||
        { tail -n 20 "$data/server.log" >&2; fail "PostgreSQL did not start"; }
    head -n 1 "$data/postmaster.pid" >"$dir/postgresql.pid"
}

stop_postgresql() {
    # SIGINT is the fast shutdown: connected clients are cut off at once.
    stop_server PostgreSQL "$dir/postgresql.pid" "$pgbin/postgres" "$dir/postgresql" INT
}

fill_mariadb() {  # stage
    # root is the Unix user root, by the socket's peer credentials. With
    # --user it would chown the folder by an unquoted path, and a plugin of
    # the system's too; -u passes to the server as it is.
    mariadb-install-db --no-defaults --datadir="$1/data" -u "$(id -un)" --auth-root-socket-user="$(id -un)" \
        --auth-root-authentication-method=socket --skip-test-db >"$dir/mariadb-init.log" 2>&1 ||
        { tail -n 20 "$dir/mariadb-init.log" >&2; return 1; }
}

start_mariadb() {
    local data="$dir/mariadb"
    stop_mariadb
    [ -e "$data" ] || make_data_folder mariadb fill_mariadb
    # A session of its own: a signal to the caller's process group (a
    # time-out ending a hung run) leaves it be.
    setsid mariadbd --no-defaults --datadir="$data" --user="$(id -un)" --skip-networking \
        --socket="$sockets/mysqld.sock" --pid-file="$dir/mariadb.pid" --log-error="$dir/mariadb.log" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_bin --innodb-flush-log-at-trx-commit=0 \
        </dev/null >/dev/null 2>&1 &
    wait_for "MariaDB's start" 60 mariadb-admin --no-defaults --socket="$sockets/mysqld.sock" -uroot ping ||
        { tail -n 20 "$dir/mariadb.log" >&2; fail "MariaDB did not start"; }
    mariadb --no-defaults --socket="$sockets/mysqld.sock" -uroot -e "CREATE DATABASE IF NOT EXISTS sorvik"
}

stop_mariadb() {
    stop_server MariaDB "$dir/mariadb.pid" "$(command -v mariadbd)" "$dir/mariadb" TERM
}

# The driver of one architecture where its package put it.
driver() {  # package, file
    dpkg -L "$1" 2>/dev/null | grep -m 1 "/$2\$" ||
        fail "no $2 from the package $1: install it (scripts/install-deps.sh)"
}

# The password as start makes it; anything else is refused, never passed on.
postgresql_password() {
    local password
    password=$(cat "$dir/postgresql.password" 2>/dev/null) && [[ $password =~ ^[A-Za-z0-9]+$ ]] && echo "$password"
}

# Shell-quoted: eval of the output gives each value as it is, whatever it holds.
print_variable() {  # name, value
    printf 'export %s=%q\n' "$1" "$2"
}

servers=(postgresql mariadb)
[ -n "$only" ] && servers=("$only")
case "$action" in
    start)
        for s in "${servers[@]}"; do check_data_folder "$dir/$s"; done
        if ! sockets=$(sockets_folder); then
            sockets=$(mktemp -d /tmp/sorvik-db-XXXXXXXX)
            touch "$sockets/$marker"
            rm -f "$dir/sockets"
            echo "$sockets" >"$dir/sockets"
        fi
        for s in "${servers[@]}"; do "start_$s"; done
        "$(dirname "${BASH_SOURCE[0]}")/fetch-mariadb-odbc64.sh" "$dir/odbc64/libmaodbc.so"
        ;;
    stop)
        for s in "${servers[@]}"; do "stop_$s"; done
        if [ -z "$only" ] && sockets=$(sockets_folder); then
            rm -rf "$sockets"
            rm -f "$dir/sockets"
        fi
        ;;
    env)
        sockets=$(sockets_folder) || fail "the servers are not started: run db-servers.sh $1 start"
        password=$(postgresql_password) ||
            fail "no PostgreSQL password as start makes it in $dir: run db-servers.sh $1 start"
        # The drivers of the architecture of the Windows program: 32-bit
        # programs take the plain names, 64-bit ones those ending in _64.
        # The 64-bit MariaDB driver is unpacked beside the data at start.
        for arch in i386:"" amd64:_64; do
            suffix=${arch#*:}
            postgresql=$(driver "odbc-postgresql:${arch%%:*}" psqlodbcw.so)
            mariadb=$dir/odbc64/libmaodbc.so
            [ -n "$suffix" ] || mariadb=$(driver odbc-mariadb:i386 libmaodbc.so)
            [ -f "$mariadb" ] || fail "no $mariadb: run db-servers.sh $1 start"
            print_variable "SORVIK_TEST_POSTGRESQL$suffix" \
                "Driver=$postgresql;Servername=$sockets;Database=postgres;Username=sorvik;Password=$password"
            print_variable "SORVIK_TEST_MARIADB$suffix" \
                "Driver=$mariadb;Socket=$sockets/mysqld.sock;Database=sorvik;Uid=root;Pwd=;CharSet=utf8mb4"
        done
        # The control script and its DIR apart, so that no path need be split.
        print_variable SORVIK_TEST_DB_SCRIPT "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/db-servers.sh"
        print_variable SORVIK_TEST_DB_DIR "$dir"
        ;;
esac
