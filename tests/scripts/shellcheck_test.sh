#!/usr/bin/env bash
# ShellCheck over the shell files of the project: no finding of any level,
# style included. A finding that is wrong in its place is disabled there, with
# a comment that says why.
# Usage: shellcheck_test.sh <source folder>
set -euo pipefail
# shellcheck source=shell_files.sh
source "$(dirname "$0")/shell_files.sh" "$1"
if ! command -v shellcheck >/dev/null; then
    echo "FAIL: shellcheck is not installed (scripts/setup.sh installs it)"
    exit 1
fi
shellcheck "${shell_files[@]}"
echo "ShellCheck finds nothing in ${#shell_files[@]} shell files"
