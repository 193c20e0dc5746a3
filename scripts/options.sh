# Sourced by the scripts to check their arguments. take_arguments, for those
# that take no options: --help prints the usage and exits 0; any other
# option, or too few or too many arguments, prints it and exits 2.
# Usage: take_arguments "USAGE" MIN MAX "$@"
take_arguments() {
    local usage=$1 min=$2 max=$3 arg
    shift 3
    for arg in "$@"; do
        case "$arg" in
            -h | --help) echo "$usage"; exit 0 ;;
            -*) echo "$usage" >&2; exit 2 ;;
        esac
    done
    if [ $# -lt "$min" ] || [ $# -gt "$max" ]; then
        echo "$usage" >&2
        exit 2
    fi
}

# Sourced by scripts/test.sh, whose arguments go to CTest. CTest ignores what
# it does not know; this refuses it. take_ctest_arguments "USAGE" "$@" checks
# every argument against the options CTest's help lists, and leaves them in
# ctest_arguments as CTest reads them: -Rx, --tests-regex=x and -j2 become
# "-R x", "--tests-regex x" and "-j 2"; a value may start with a dash.
take_ctest_arguments() {
    local usage=$1 arg name value kind length
    shift
    # Per name: what follows it as the next argument (none, value or
    # optional), and whether it takes NAME=VALUE as one argument.
    local -A separate=() attached=()
    while read -r name kind; do
        if [ "$kind" = attached ]; then attached[$name]=1; else separate[$name]=$kind; fi
    done < <(ctest_options)
    ctest_arguments=()
    while [ $# -gt 0 ]; do
        arg=$1
        shift
        kind=${separate[$arg]:-}
        if [ -z "$kind" ] && [[ $arg == -* ]]; then
            # NAME=VALUE, or a short NAME with its value joined: the longest that fits.
            name=$arg
            if [[ $arg == --*=* ]]; then
                name=${arg%%=*}
                [ -z "${attached[$name]:-}" ] || { ctest_arguments+=("$arg"); continue; }
                value=${arg#*=}
            else
                for ((length = ${#arg} - 1; length > 1; length--)); do
                    name=${arg:0:length}
                    [[ ${separate[$name]:-} =~ ^(value|optional)$ ]] && break
                done
                value=${arg:${#name}}
            fi
            if [[ ${separate[$name]:-} =~ ^(value|optional)$ ]]; then
                set -- "$value" "$@"
                arg=$name
                kind=value
            fi
        fi
        case "$kind" in
            none) ctest_arguments+=("$arg") ;;
            value)
                [ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }
                ctest_arguments+=("$arg" "$1")
                shift ;;
            optional)
                ctest_arguments+=("$arg")
                if [ $# -gt 0 ] && [[ $1 != -* ]]; then ctest_arguments+=("$1"); shift; fi ;;
            *) echo "$usage" >&2; exit 2 ;;
        esac
    done
}

# The options in CTest's help, one per line: NAME, then "none", "value" or
# "optional" for what may follow as the next argument, or "attached" for a
# form NAME=VALUE. Each help line names its forms before its description,
# which starts at column 32 with "= ". The help shows no value for a few
# options that take one.
ctest_options() {
    ctest --help | awk 'BEGIN {
        n = split("--test-load --tests-information --test-timeout --build-target --build-run-dir " \
            "--build-exe-dir --build-generator --build-generator-platform --build-generator-toolset " \
            "--build-project --build-makeprogram --build-config-sample", names, " ")
        for (i = 1; i <= n; i++) valued[names[i]] = 1
    }
    /^  [-\/]/ {
        spec = substr($0, 32, 2) == "= " ? substr($0, 3, 29) : substr($0, 3)
        sub(/ +$/, "", spec)
        gsub(/, ?-/, "\n-", spec)
        gsub(/, ?\//, "\n/", spec)
        n = split(spec, forms, "\n")
        for (i = 1; i <= n; i++) {
            match(forms[i], /^[^ <=[]+/)
            name = substr(forms[i], 1, RLENGTH)
            rest = substr(forms[i], RLENGTH + 1)
            if (rest == "") print name, valued[name] ? "value" : "none"
            else if (rest ~ /^=/) print name, "attached"
            else if (rest ~ /^\[=/) { print name, "none"; print name, "attached" }
            else if (rest ~ /^ \[/) print name, "optional"
            else print name, "value"
        }
    }'
}
