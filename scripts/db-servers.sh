#!/usr/bin/env bash
# Private PostgreSQL and MariaDB servers for the tests, with data under DIR.
# They listen only on Unix sockets, in a folder made fresh for them that only
# the user who runs them may enter; PostgreSQL asks the password made with
# its cluster, and MariaDB's root is the Unix user root (the socket's peer
# credentials). The script stops only the servers it started, deletes only
# what it made, and writes only into folders it made: anyone who may write
# DIR may have planted links or records there.
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
. "$(dirname "${BASH_SOURCE[0]}")/postgresql.sh"
[ -n "$pgbin" ] || fail "no PostgreSQL server: install the postgresql package (scripts/install-deps.sh)"
command -v mariadbd >/dev/null || fail "no MariaDB server: install the mariadb-server package (scripts/install-deps.sh)"

# True for a real folder (not a link) that only the user may enter.
is_private() {
    [ -d "$1" ] && [ ! -L "$1" ] && [ "$(stat -c %u:%a "$1")" = "$(id -u):700" ]
}

# True for a folder this script made: private, and marked.
is_ours() {
    is_private "$1" && [ -f "$1/$marker" ] && [ ! -L "$1/$marker" ]
}

# The socket folders made for DIR: named as mktemp names ours, directly
# under /tmp, ours, and marked with DIR's path. So no record that anyone
# may write leads to another folder, not even another DIR's.
sockets_folders() {
    local folder
    for folder in /tmp/sorvik-db-*; do
        if [[ $folder =~ ^/tmp/sorvik-db-[A-Za-z0-9]{8}$ ]] && is_ours "$folder" &&
            [ "$(cat "$folder/$marker")" = "$dir" ]; then
            echo "$folder"
        fi
    done
}

# Removes a folder this script made, its marker last: a removal cut short
# leaves it marked, and the next run takes it up again.
remove_ours() {  # folder
    find "$1" -mindepth 1 -maxdepth 1 ! -name "$marker" -exec rm -rf {} +
    rm -f "$1/$marker"
    rmdir "$1"
}

# True when pid is the server this script starts: that executable, on that
# data folder.
is_our_server() {  # pid, executable, data folder
    local pid=$1 exe=$2 data=$3
    [[ $pid =~ ^[0-9]+$ ]] && [ "$(readlink -f "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$exe")" ] &&
        tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | grep -qxF -e "$data" -e "--datadir=$data"
}

stop_server() {  # name, pid file in the data folder, executable, signal
    local name=$1 pidfile=$2 exe=$3 signal=$4 data pid
    data=$(dirname "$pidfile")
    is_ours "$data" && [ -f "$pidfile" ] || return 0
    pid=$(head -n 1 "$pidfile")
    if is_our_server "$pid" "$exe" "$data"; then
        kill "-$signal" "$pid"
        wait_for "the end of $name (process $pid)" 60 bash -c "! kill -0 $pid"
    else
        echo "db-servers.sh: $pidfile is stale: process $pid is not the $name server started here; left alone" >&2
    fi
    rm -f "$pidfile"
}

# A folder this script made, or none yet; anything else is refused.
check_data_folder() {  # data folder
    [ ! -e "$1" ] || is_ours "$1" ||
        fail "$1 was not made by this script; it is left as it is: move it away, or give another DIR"
}

# True once no process is left of those started to fill STAGE, which carry
# its path in their environment (and the user's); those found are killed.
# No other process is ever signalled.
fillers_gone() {  # stage
    local pids
    pids=$(grep -lzxF "SORVIK_DB_STAGE=$1" /proc/[0-9]*/environ 2>/dev/null | cut -d / -f 3 |
        while read -r pid; do [ "$(stat -c %u "/proc/$pid" 2>/dev/null)" != "$(id -u)" ] || echo "$pid"; done)
    [ -z "$pids" ] || { kill -KILL $pids 2>/dev/null; return 1; }
}

# Removes a stage: what still fills it (a killed start's initdb or
# bootstrap runs on) is ended first, so that nothing writes into it while
# it goes.
remove_stage() {  # stage
    wait_for "the end of what fills $1" 30 fillers_gone "$1"
    remove_ours "$1"
}

# Makes DIR/NAME with FILL, which fills STAGE/data: in a folder beside it,
# marked as ours before anything is put in it, renamed into place only when
# complete. So the data folder is never half made, and what a start killed
# at any step left beside it is provably ours, and removed.
make_data_folder() {  # name, fill
    local name=$1 fill=$2 stage old
    for old in "$dir/.$name.making."*; do
        if is_ours "$old"; then
            remove_stage "$old"
        elif is_private "$old"; then
            rmdir "$old" 2>/dev/null || true  # killed before its marker was made, or after it was removed
        fi
    done
    stage=$(mktemp -d "$dir/.$name.making.XXXXXX")
    touch "$stage/$marker"
    SORVIK_DB_STAGE=$stage "$fill" "$stage" || { remove_stage "$stage"; fail "the $name data folder could not be made"; }
    touch "$stage/data/$marker"
    chmod 700 "$stage/data"
    mv -T "$stage/data" "$dir/$name"
    remove_ours "$stage"
}

# Each fill logs into its stage, fresh; the log is shown if it fails.
fill_postgresql() {  # stage
    make_password "$1/password" && init_postgresql "$1/data" "$1/password" "$1/init.log" || return 1
    mv -T "$1/password" "$dir/postgresql.password"
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
}

stop_postgresql() {
    # SIGINT is the fast shutdown: connected clients are cut off at once.
    stop_server PostgreSQL "$dir/postgresql/postmaster.pid" "$pgbin/postgres" INT
}

fill_mariadb() {  # stage
    # root is the Unix user root, by the socket's peer credentials. With
    # --user it would chown the folder by an unquoted path, and a plugin of
    # the system's too; -u passes to the server as it is.
    mariadb-install-db --no-defaults --datadir="$1/data" -u "$(id -un)" --auth-root-socket-user="$(id -un)" \
        --auth-root-authentication-method=socket --skip-test-db >"$1/init.log" 2>&1 ||
        { tail -n 20 "$1/init.log" >&2; return 1; }
}

start_mariadb() {
    local data="$dir/mariadb"
    stop_mariadb
    [ -e "$data" ] || make_data_folder mariadb fill_mariadb
    # A session of its own: a signal to the caller's process group (a
    # time-out ending a hung run) leaves it be.
    setsid mariadbd --no-defaults --datadir="$data" --user="$(id -un)" --skip-networking \
        --socket="$sockets/mysqld.sock" --pid-file="$data/mariadb.pid" --log-error="$data/server.log" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_bin --innodb-flush-log-at-trx-commit=0 \
        </dev/null >/dev/null 2>&1 &
    wait_for "MariaDB's start" 60 mariadb-admin --no-defaults --socket="$sockets/mysqld.sock" -uroot ping ||
        { tail -n 20 "$data/server.log" >&2; fail "MariaDB did not start"; }
    mariadb --no-defaults --socket="$sockets/mysqld.sock" -uroot -e "CREATE DATABASE IF NOT EXISTS sorvik"
}

stop_mariadb() {
    stop_server MariaDB "$dir/mariadb/mariadb.pid" "$(command -v mariadbd)" TERM
}

# The 64-bit MariaDB driver, unpacked from its package: the tests load it
# as root, so it too lies in a folder made here.
fill_mariadb_odbc64() {  # stage
    "$(dirname "${BASH_SOURCE[0]}")/fetch-mariadb-odbc64.sh" "$1/data/libmaodbc.so"
}

# The password as start makes it; anything else, a link too, is refused,
# never passed on.
postgresql_password() {
    local password
    [ ! -L "$dir/postgresql.password" ] && password=$(cat "$dir/postgresql.password" 2>/dev/null) &&
        [[ $password =~ ^[A-Za-z0-9]+$ ]] && echo "$password"
}

# Shell-quoted: eval of the output gives each value as it is, whatever it holds.
print_variable() {  # name, value
    printf 'export %s=%q\n' "$1" "$2"
}

servers=(postgresql mariadb)
[ -n "$only" ] && servers=("$only")
case "$action" in
    start)
        for s in "${servers[@]}" mariadb-odbc64; do check_data_folder "$dir/$s"; done
        sockets=$(sockets_folders | sed -n 1p)
        if [ -z "$sockets" ]; then
            sockets=$(mktemp -d /tmp/sorvik-db-XXXXXXXX)
            echo "$dir" >"$sockets/$marker"
        fi
        for s in "${servers[@]}"; do "start_$s"; done
        [ -e "$dir/mariadb-odbc64" ] || make_data_folder mariadb-odbc64 fill_mariadb_odbc64
        ;;
    stop)
        for s in "${servers[@]}"; do "stop_$s"; done
        if [ -z "$only" ]; then
            for sockets in $(sockets_folders); do remove_ours "$sockets"; done
        fi
        ;;
    env)
        sockets=$(sockets_folders | sed -n 1p)
        [ -n "$sockets" ] || fail "the servers are not started: run db-servers.sh $1 start"
        password=$(postgresql_password) ||
            fail "no PostgreSQL password as start makes it in $dir: run db-servers.sh $1 start"
        is_ours "$dir/mariadb-odbc64" || fail "no 64-bit MariaDB driver made by start in $dir: run db-servers.sh $1 start"
        # The drivers of the architecture of the Windows program: 32-bit
        # programs take the plain names, 64-bit ones those ending in _64.
        for arch in i386:"" amd64:_64; do
            suffix=${arch#*:}
            postgresql=$(driver "odbc-postgresql:${arch%%:*}" psqlodbcw.so)
            mariadb=$dir/mariadb-odbc64/libmaodbc.so
            [ -n "$suffix" ] || mariadb=$(driver odbc-mariadb:i386 libmaodbc.so)
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
