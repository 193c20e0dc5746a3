# Sourced by the scripts that take no options: --help prints the usage and
# exits 0, any other option is refused with exit 2. Usage: take_no_options "USAGE" "$@"
take_no_options() {
    local usage=$1 arg
    shift
    for arg in "$@"; do
        case "$arg" in
            -h | --help) echo "$usage"; exit 0 ;;
            -*) echo "$usage" >&2; exit 2 ;;
        esac
    done
}
