#!/usr/bin/env bash
# The project's scripts from the Unix side: the test servers as another user
# of the machine meets them, their control script as a careless caller does,
# and every script's options. Needs root and the servers that scripts/test.sh
# starts (SORVIK_TEST_DB_SCRIPT, SORVIK_TEST_DB_DIR).
set -uo pipefail
script=${SORVIK_TEST_DB_SCRIPT:?"the servers are not started: scripts/test.sh starts them"}
dir=${SORVIK_TEST_DB_DIR:?"the servers are not started: scripts/test.sh starts them"}
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
sockets_of() { (eval "$("$script" "$1" env)" && s=${SORVIK_TEST_MARIADB#*;Socket=} && echo "${s%/mysqld.sock;*}"); }
sockets=$(sockets_of "$dir")
made_folder() { mkdir -p -m 700 "$1" && touch "$1/.made-by-sorvik-db-servers"; }

as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
nobody_reaches_postgresql() { as_nobody psql -X -h "$sockets" -U sorvik -c 'SELECT 1' postgres; }
nobody_reaches_mariadb() { as_nobody mariadb --no-defaults --socket="$sockets/mysqld.sock" -uroot -e 'SELECT 1'; }
check "nobody cannot connect to PostgreSQL" eval '! nobody_reaches_postgresql'
check "nobody cannot connect to MariaDB" eval '! nobody_reaches_mariadb'
check "the socket folder is the user's alone" test "$(stat -c %u:%a "$sockets")" = "$(id -u):700"
check "nobody cannot list the socket folder" eval '! as_nobody ls "$sockets"'

# A stale pid file names a process that is not the server: it is left alone.
stale_pid_is_left_alone() {
    local other="$work/stale" pid
    sleep 300 &
    pid=$!
    made_folder "$other/postgresql" && echo "$pid" >"$other/postgresql/postmaster.pid"
    "$script" "$other" stop postgresql 2>"$work/said"
    kill -0 "$pid" && grep -q stale "$work/said"
    local alive=$?
    kill "$pid"
    return $alive
}
# A data folder the script did not make is refused, and kept.
foreign_data_folder_is_kept() {
    local other="$work/foreign"
    mkdir -p "$other/postgresql/15/main" && touch "$other/postgresql/15/main/PG_VERSION"
    ! "$script" "$other" start postgresql && [ -f "$other/postgresql/15/main/PG_VERSION" ]
}
# MariaDB leads a session of its own: nothing sent to the caller's process
# group reaches it.
mariadb_has_its_own_session() {
    local pid
    pid=$(cat "$dir/mariadb/mariadb.pid")
    [ "$(ps -o sid= -p "$pid" | tr -d ' ')" = "$pid" ] && [ "$(ps -o pgid= -p "$pid")" != "$(ps -o pgid= -p $$)" ]
}
# A start over a running server (one that a killed run left) replaces it.
start_takes_over() {
    local before after
    before=$(cat "$dir/mariadb/mariadb.pid")
    "$script" "$dir" start mariadb && after=$(cat "$dir/mariadb/mariadb.pid") && [ "$after" != "$before" ] &&
        ! kill -0 "$before" && mariadb --no-defaults --socket="$sockets/mysqld.sock" -uroot -e 'SELECT 1'
}
check "a stale pid file stops no other process" stale_pid_is_left_alone
check "a data folder not made by the script is refused and kept" foreign_data_folder_is_kept
check "MariaDB runs in a session of its own" mariadb_has_its_own_session
check "a start takes over the servers an earlier run left" start_takes_over

# Another DIR, at a path with a space and a quote, where links are planted
# at the names that the script once wrote through, and a start is killed
# alone while MariaDB's bootstrap fills the data: the next start ends the
# bootstrap, removes what it left, and writes through no link.
other="$work/it's a dir"
made_folder "$other/mariadb-odbc64" && cp "$dir/mariadb-odbc64/libmaodbc.so" "$other/mariadb-odbc64/"
for name in postgresql-init.log mariadb-init.log mariadb.log postgresql.pid mariadb.pid postgresql.password; do
    echo kept >"$work/planted-$name" && ln -s "$work/planted-$name" "$other/$name"
done
bootstrap() { pgrep -f -- "--bootstrap .*--datadir=$other/.mariadb.making"; }
"$script" "$other" start >/dev/null 2>&1 &
for _ in $(seq 300); do bootstrap >/dev/null && break; sleep 0.1; done
{ kill -KILL $! && wait $!; } 2>/dev/null
check "a start after a killed one ends the bootstrap that runs on, and removes what it left" \
    eval 'bootstrap && "$script" "$other" start && ! bootstrap && ! ls -d "$other"/.*.making.*'
check "a start writes through no link" eval '[ "$(cat "$work"/planted-* | sort -u)" = kept ]'
check "env's values survive eval" eval '(eval "$("$script" "$other" env)" && [ "$SORVIK_TEST_DB_DIR" = "$other" ])'
others=$(sockets_of "$other")
printf 'x$(touch %q)\n' "$work/ran" >"$other/postgresql.password"
check "env refuses a password it did not make" eval '! "$script" "$other" env && [ ! -e "$work/ran" ]'
echo "$sockets" >"$other/sockets"  # as a copy of the servers' DIR made by an older start holds
check "stop removes its own socket folder" eval '"$script" "$other" stop && [ ! -e "$others" ]'
check "stop leaves another DIR's socket folder alone" test -S "$sockets/mysqld.sock"
# Named as ours: unmarked, or marked for this DIR but open to others, or another user's.
for planted_as in unmarked open foreign; do
    planted=$(mktemp -d /tmp/sorvik-db-XXXXXXXX)
    [ $planted_as = unmarked ] || echo "$other" >"$planted/.made-by-sorvik-db-servers"
    [ $planted_as != open ] || chmod 755 "$planted"
    [ $planted_as != foreign ] || chown 65534 "$planted"
    check "a start adopts no socket folder it did not make ($planted_as)" eval '"$script" "$other" start && [ "$(sockets_of "$other")" != "$planted" ] && "$script" "$other" stop && [ -d "$planted" ]'
    rm -rf "$planted"
done

# Every script answers --help and refuses an option it does not take.
# (run.sh passes --help to the sample host, whose own test covers it.)
scripts=$(dirname "$script")
exits_2() { "$@"; [ $? -eq 2 ]; }
for s in bench build-sqliteodbc db-servers fetch-mariadb-odbc64 fetch-source fleet-bench install-deps package \
    reproduce run screenshot test wine-prefix wine-run; do
    [ "$s" = run ] || check "$s.sh --help" "$scripts/$s.sh" --help
    check "$s.sh refuses an unknown option" exits_2 "$scripts/$s.sh" --no-such-option
done
for a in --tests-regex -Nx stray; do check "test.sh refuses $a" exits_2 "$scripts/test.sh" $a; done
chmod 711 "$work" && mkdir "$work/copy" && cp -r "$scripts" "$work/copy/"  # for nobody, wherever the checkout lies
check "test.sh says at once that it needs root" \
    eval 'as_nobody "$work/copy/scripts/test.sh" -R engine 2>"$work/said"; [ $? -eq 1 ] && grep -q "needs root" "$work/said"'

# The two commands refuse at once a checkout path that the build cannot pass through, naming the character.
refused() {  # command, name of a link to the checkout, the character named or - for none
    mkdir -p "$(dirname "$work/$2")" && ln -s "$(dirname "$scripts")" "$work/$2" && "$work/$2/scripts/$1" --no-such-option 2>"$work/said"
    case "$?:$3" in 2:-) ;; 6:long) grep -q "characters long" "$work/said" ;; 6:*) grep -qF "holds '$3'" "$work/said" ;; *) false ;; esac
}
while read -r command name character; do check "$command in $name" refused "$command" "$name" "$character"; done <<'EOF'
run.sh a$b`c(d)!+,:=@[]{}~ -
test.sh a;b ;
run.sh a#b #
run.sh a%b %
run.sh a"b "
run.sh a>b >
run.sh a€b €
run.sh ab. .
run.sh dot./inside .
EOF
check "test.sh in a path too long to start its programs" refused test.sh "$(printf 'l%.0s' {1..220})" long

# test.sh hands CTest each form of its options as CTest reads it: a row is the tests left to run, then the arguments.
printf 'add_test(engine_tests true)\nadd_test(scripts true)\n' >"$work/CTestTestfile.cmake"
ctest_runs() {  # tests, arguments...
    [ "$( (. "$scripts/options.sh" && take_ctest_arguments - "${@:2}" && cd "$work" &&
        ctest -N "${ctest_arguments[@]}") | sed -n 's/^ *Test *#[0-9]*: //p' | xargs)" = "${1//,/ }" ]
}
while read -r tests arguments; do check "test.sh hands CTest $arguments" ctest_runs "$tests" $arguments; done <<'EOF'
engine_tests -R engine
engine_tests -Rengine
engine_tests --tests-regex engine
engine_tests --tests-regex=engine
engine_tests --exclude-regex scripts
engine_tests,scripts -j2
engine_tests,scripts -j 2
engine_tests,scripts --parallel 2
scripts -I 2,2
scripts -I2,2
EOF
# ... and drops nothing: a flag, an optional value present or absent.
ctest_keeps() {  # arguments as CTest gets them, arguments given...
    [ "$(. "$scripts/options.sh" && take_ctest_arguments - "${@:2}" && echo "${ctest_arguments[*]}")" = "$1" ]
}
while IFS='|' read -r expected arguments; do check "test.sh keeps $arguments" ctest_keeps "$expected" $arguments; done <<'EOF'
-V -R x|-V -R x
--verbose|--verbose
-I 2,2 -V|-I 2,2 -V
-j -V|-j -V
--output-on-failure -j 2|--output-on-failure -j2
EOF

finish
