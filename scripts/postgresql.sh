# Sourced by the scripts that run PostgreSQL servers of their own
# (db-servers.sh, fleet-bench.sh): where the server's programs are, how it
# runs under root, how its cluster is made, and where the driver is.
# Messages start with the name of the script that sourced this.
pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
# PostgreSQL refuses to run as root. Under root it runs in a user namespace
# of its own, as nobody there, while its files stay root's here: so it
# reaches the folder it is given wherever that lies, whatever its parents
# allow.
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
    echo "${0##*/}: $what did not happen within $seconds s" >&2
    return 1
}

# A password of letters and digits, into a file only the user may read.
make_password() {  # file
    (umask 077 && head -c 24 /dev/urandom | base64 | tr -d '/+=' >"$1")
}

# A cluster whose only role, sorvik, signs in with the password in the file
# (SCRAM); initdb's output goes to the log, shown if it fails.
init_postgresql() {  # data folder, password file, log
    "${as_postgres[@]}" "$pgbin/initdb" -D "$1" -U sorvik --auth=scram-sha-256 --pwfile="$2" \
        -E UTF8 --locale=C.UTF-8 >"$3" 2>&1 || { tail -n 20 "$3" >&2; return 1; }
}

# The driver of one architecture where its package put it.
driver() {  # package, file
    dpkg -L "$1" 2>/dev/null | grep -m 1 "/$2\$" && return 0
    echo "${0##*/}: no $2 from the package $1: install it (scripts/install-deps.sh)" >&2
    return 1
}
