# Sourced by the two commands, in the checkout's top folder. A few
# characters in the checkout's path cannot pass through the build and the
# tests. Measured: Wine runs no program from a folder whose name holds one
# of "*<>?\| or a control character, or ends in a dot, as Windows allows
# none of them in a name; ";" splits CMake's lists and the ODBC connection
# strings; CMake takes no "#" in a target's output; Windows' cmd takes "%",
# "&" and "^" for its own (the tests run the README's nightly recipe, paths
# and all, through it); and unixODBC's driver manager mangles any non-ASCII
# character in a driver's path. Such a path is refused before anything is
# done, rather than failing deep in a build or a test, with the character
# named, and with 6, an exit code that the sample host does not use. So is
# a path too long for Windows to start the programs built in it.
# Usage: refuse_bad_checkout_path SCRIPT
refuse_bad_checkout_path() {
    local script=$1 LC_ALL=C path character shown reason
    # The path as the shell gives it, and as the compiler does: links resolved.
    for path in "$PWD" "$(pwd -P)"; do
        if [[ $path =~ [^]A-Za-z0-9\ !$\'()+,./:=@[_\`{}~-] ]]; then
            character=${BASH_REMATCH[0]}
            case "$character" in
                \;) reason="which CMake takes for a list separator, and ODBC for the end of a value" ;;
                \#) reason="which CMake allows in no target's output" ;;
                [%\&^]) reason="which Windows' cmd takes for its own, and the tests run a cmd script with the path" ;;
                [[:ascii:]]) reason="which Windows allows in no file name, so Wine could run nothing built there" ;;
                *)
                    reason="which unixODBC's driver manager mangles in the drivers' paths"
                    # The whole character where it is one, not its first byte.
                    LC_ALL=C.UTF-8
                    [[ $path =~ [^\ -~] ]] && character=${BASH_REMATCH[0]} ;;
            esac
        elif [[ $path =~ \.(/|$) ]]; then
            character=.
            reason="at the end of a folder's name, which Windows drops, so Wine could run nothing built there"
        else
            continue
        fi
        shown="'$character'"
        [[ $character == [[:print:]] ]] || shown=$(printf %q "$character")
        echo "$script: the checkout path $path holds $shown, $reason; move the checkout to a path without it" >&2
        exit 6
    done
    # Windows starts no program, and loads no module as data, from a path
    # longer than 259 characters; the longest that the tests start is this,
    # seen from Wine as Z: and the path.
    local longest="Z:$PWD/build/mingw-x86_64/bin/ScreenshotDriver.exe"
    if [ "${#longest}" -gt 259 ]; then
        echo "$script: the checkout path $PWD is ${#PWD} characters long; the programs built in it would be \
${#longest}, and Windows starts none longer than 259: move the checkout to a path of at most \
$((${#PWD} - ${#longest} + 259)) characters" >&2
        exit 6
    fi
}
