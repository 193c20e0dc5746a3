# Sourced by the benchmark scripts: the trees they walk, and their paths as
# the Windows programs under Wine name them.
make_tree() {  # folder, sub-folders, files in each
    local names
    names=$(printf 'file%d.dat ' $(seq 0 $(($3 - 1))))
    mkdir -p "$1"
    for ((d = 0; d < $2; d++)); do
        mkdir "$1/d$d"
        (cd "$1/d$d" && touch $names)
    done
}

windows() { echo "Z:${1//\//\\}"; }
