# shellcheck shell=bash
# Sets shell_files to the shell files of the source tree $1: the scripts,
# the shell tests, the CI entry, the completion and the maintainer script.
shell_files=()
mapfile -t shell_files < <(find "$1/scripts" "$1/tests" -name '*.sh' | sort)
shell_files+=("$1/.ci/run" "$1/packaging/tavox.bash-completion" "$1/packaging/prerm.in")
