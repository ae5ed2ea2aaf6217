#!/usr/bin/env bash
# The manual page and the completion keep step with the program: every option
# that "tavox --help" lists (and --help and --version) has its entry in the
# manual page and in the completion, the two name the same options, and every
# field the help lists has its entry in the manual page.
# Usage: help_in_step_test.sh <tavox> <tavox.1.scd> <completion file>
set -euo pipefail
tavox=$1 manual=$2 completion=$3
# The completion under test is given as an argument; this one is the default.
# shellcheck source=../../packaging/tavox.bash-completion
source "$completion"

help=$("$tavox" --help)
mapfile -t help_options < <(grep -oE -- '(^|[^[:alnum:]-])--[a-z][a-z0-9-]*' <<<"$help" | sed 's/^[^-]*//')
mapfile -t help_fields < <(grep -oE $'^[A-Z]+ *\t' <<<"$help" | tr -d ' \t')
# Option entries of the manual page begin a line with the bold name.
mapfile -t manual_options < <(grep -oE -- '^\*--[a-z][a-z0-9-]*\*' "$manual" | tr -d '*')
declare -A in_manual=()
for option in "${manual_options[@]}"; do in_manual[$option]=1; done

failures=0
fail() {
    echo "FAIL: $*"
    ((++failures))
}

((${#help_fields[@]} >= 5)) || fail "found only ${#help_fields[@]} fields in the help: ${help_fields[*]}"
for option in --help --version "${help_options[@]}"; do
    [[ -v "in_manual[$option]" ]] || fail "$option is listed by --help but has no entry under OPTIONS in $manual"
    [[ -v "_tavox_option_values[$option]" ]] || fail "$option is listed by --help but unknown to the completion"
done
for option in "${manual_options[@]}"; do
    [[ -v "_tavox_option_values[$option]" ]] || fail "$option has a manual entry but is unknown to the completion"
done
for option in "${!_tavox_option_values[@]}"; do
    [[ -v "in_manual[$option]" ]] || fail "$option is completed but has no manual entry"
done
for field in "${help_fields[@]}"; do
    grep -qxF -- "_${field}_" "$manual" || fail "the field $field is listed by --help but has no entry under FIELDS"
done

if ((failures)); then
    echo "$failures mismatches between --help, the manual page and the completion"
    exit 1
fi
echo "${#help_fields[@]} fields and $((${#help_options[@]} + 2)) options in step"
