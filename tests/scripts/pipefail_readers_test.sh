#!/usr/bin/env bash
# Under pipefail a pipeline fails when a writer dies of SIGPIPE, and a writer
# does when its reader exits before the end of its input (grep -q, grep -m,
# head, sed q, awk exit, read): whether the pipeline fails then depends on
# timing. Lists every such pipeline in the shell files that turn pipefail on,
# after checking itself on lines that must and must not be listed.
# Usage: pipefail_readers_test.sh <source folder>
set -euo pipefail
# shellcheck source=shell_files.sh
source "$(dirname "$0")/shell_files.sh" "$1"

# Prints "file:line: text" for each pipeline into an early-exit reader that
# runs under pipefail (from a "set -o pipefail" on) in the given files. Lines
# ending in | or \ are joined with the next; comments are dropped.
early_readers() {
    awk '
        # True when the pipeline stage `stage` may exit before reading all.
        function reader(stage,    n, words, first, i) {
            n = split(stage, words, /[ \t]+/)
            for (first = 1; first <= n && (words[first] == "" || words[first] ~ /^[[:alpha:]_][[:alnum:]_]*=/); first++) {
            }
            if (words[first] == "head" || words[first] == "read") return 1
            if (words[first] == "sed") return stage ~ /[ ;{'\''"0-9\/$]q([ ;}'\''"]|$)/
            if (words[first] ~ /^[gm]?awk$/) return stage ~ /(^|[^[:alnum:]_])exit([^[:alnum:]_]|$)/
            if (words[first] !~ /^[ef]?grep$/) return 0
            for (i = first + 1; i <= n && words[i] != "--"; i++) {
                if (words[i] ~ /^-[[:alpha:]]*[qmlL]/ || words[i] ~ /^--(quiet|silent|max-count|files-with)/) return 1
            }
            return 0
        }
        # True when a stage after an unquoted | is a reader.
        function pipes_into_reader(text,    i, c, next_c, quote, stage, piped) {
            quote = ""; stage = ""; piped = 0
            for (i = 1; i <= length(text); i++) {
                c = substr(text, i, 1)
                if (c == "\\") { stage = stage substr(text, i, 2); i++; continue }
                if (quote != "") { if (c == quote) quote = ""; stage = stage c; continue }
                if (c == "\"" || c == "'\''") { quote = c; stage = stage c; continue }
                if (c !~ /[|;&)]/) { stage = stage c; continue }
                if (piped && reader(stage)) return 1
                next_c = substr(text, i + 1, 1)
                piped = c == "|" && next_c != "|"
                if ((c == "|" && next_c ~ /[|&]/) || (c == "&" && next_c == "&")) i++
                stage = ""
            }
            return piped && reader(stage)
        }
        FNR == 1 { joined = ""; pipefail = 0 }
        {
            line = $0
            sub(/(^|[ \t])#.*/, "", line)
            if (line ~ /^[ \t]*set[ \t]+-[[:alpha:]]*o[ \t]+pipefail/) pipefail = 1
            if (line ~ /^[ \t]*set[ \t]+\+o[ \t]+pipefail/) pipefail = 0
            if (joined == "") first = FNR
            joined = joined " " line
            if (line ~ /(\||\\)[ \t]*$/ && line !~ /\|\|[ \t]*$/) next
            if (pipefail && pipes_into_reader(joined)) print FILENAME ":" first ":" joined
            joined = ""
        }
    ' "$@"
}

# The check itself: each case is a line (or two) and whether it must be listed.
pipes=$(mktemp -d)
trap 'rm -rf "$pipes"' EXIT
cases=(
    "yes printf '%s\n' \"\$@\" | grep -qxF -- \"\$option\""
    "yes find . ! -name usr | grep -q ."
    "yes tool --help | head -n 1"
    $'yes tool |\n    grep --quiet x'
    "yes tool | sed 1q"
    "yes tool | awk '{ print; exit }'"
    "yes tool | grep -m1 x"
    "yes tool |& grep -l x"
    "yes tool | read -r first"
    "yes tool | sort | IFS= read -r first"
    "yes [[ \$(tool | head -1) == x ]]"
    "no grep -q x <<<\"\$text\""
    "no grep -qF x file"
    "no false || grep -q x file"
    "no tool | grep -c x"
    "no head -c 8 file | od -An"
    "no tool | sort | awk 'NR <= 3'"
    "no # tool | grep -q x"
    "no tool | while read -r line; do :; done"
    "no tool | sed -n 1p"
    "no tool | grep -E -- -q"
    "no grep -E 'x|head' file"
    "no tool 2>&1 | sort -u"
)
printf 'set -euo pipefail\n' >"$pipes/on.sh"
printf 'set -eu\n' >"$pipes/off.sh"
expected=()
line=2
for case in "${cases[@]}"; do
    text=${case#* }
    [[ $case == yes* ]] && expected+=("$pipes/on.sh:$line")
    printf '%s\n' "$text" >>"$pipes/on.sh"
    printf '%s\n' "$text" >>"$pipes/off.sh"
    line=$((line + $(grep -c '' <<<"$text")))
done
mapfile -t found < <(early_readers "$pipes/on.sh" "$pipes/off.sh" | cut -d: -f1-2)
if [[ ${found[*]} != "${expected[*]}" ]]; then
    echo "FAIL: the check listed"
    printf '  %s\n' "${found[@]}"
    echo "instead of"
    printf '  %s\n' "${expected[@]}"
    exit 1
fi

listed=$(early_readers "${shell_files[@]}")
if [[ -n $listed ]]; then
    echo "FAIL: pipelines whose reader may exit before its writer, under pipefail:"
    echo "$listed"
    echo "Read the whole input instead: grep -c, [[ ]] on captured text, grep -q on a here-string or a file."
    exit 1
fi
echo "no early-exit reader in the pipelines under pipefail of ${#shell_files[@]} shell files"
