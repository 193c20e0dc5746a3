# Sourced by the scripts that take no options: --help prints the usage and
# exits 0; any other option, or too few or too many arguments, prints it and
# exits 2. Usage: take_arguments "USAGE" MIN MAX "$@"
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
