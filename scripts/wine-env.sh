# Sourced by every script that starts Wine. Wine decodes Linux file names
# with the locale's character set: under a C locale every non-ASCII name
# would arrive garbled, so a UTF-8 locale is set whatever the caller's.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
