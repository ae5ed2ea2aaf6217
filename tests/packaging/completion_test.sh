#!/usr/bin/env bash
# Tab completion of tavox: each case types a command line, splits it into
# words as bash does (at blanks outside quotes, and around "=" and ":") and
# compares what the completion offers with the expected words.
# Usage: completion_test.sh <completion file>
set -uo pipefail
# The completion under test is given as an argument; this one is the default.
# shellcheck source=../../packaging/tavox.bash-completion
source "$1" || exit 1

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/my data"
touch "$dir/a.dat" "$dir/ab.dat" "$dir/my data/x.dat" "$dir/k:1.dat"

failures=0

# Sets COMP_WORDS, COMP_CWORD, COMP_LINE and COMP_POINT for the line $1 with
# the cursor at its end, and WORD to the text readline hands over as $2.
split_like_bash() {
    local line=$1 word="" quote="" c i
    COMP_WORDS=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ -n $quote ]]; then
            word+=$c
            [[ $c == "$quote" ]] && quote=""
        elif [[ $c == [\"\'] ]]; then
            word+=$c
            quote=$c
        elif [[ $c == " " ]]; then
            [[ -n $word ]] && COMP_WORDS+=("$word")
            word=""
        elif [[ $c == [=:] ]]; then
            [[ -n $word ]] && COMP_WORDS+=("$word")
            COMP_WORDS+=("$c")
            word=""
        else
            word+=$c
        fi
    done
    # The word at the cursor; after a blank or a break character it is empty.
    if [[ -n $word ]]; then
        COMP_WORDS+=("$word")
    elif [[ ${line: -1} == " " ]]; then
        COMP_WORDS+=("")
    fi
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    WORD=${COMP_WORDS[COMP_CWORD]}
    [[ $WORD == [=:] ]] && WORD=""
    [[ $WORD == [\"\']* ]] && WORD=${WORD:1}
}

# check <line> [expected word...]: the words offered for the line, in any order.
check() {
    local line=$1
    shift
    split_like_bash "$line"
    COMPREPLY=()
    _tavox tavox "$WORD" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got expected
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd'|')
    expected=$(printf '%s\n' "$@" | sort | paste -sd'|')
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$line'"
        echo "  expected: $expected"
        echo "  got:      $got"
        ((failures++))
    fi
}

# The fields in their order.
check "tavox " e ec f fc m mc p pc
check "tavox F" f fc
check "tavox m" m mc
check "tavox fc " f h p
check "tavox fc h " 128 256 512 1024 2048 4096 8192 16384 32768 65536
check "tavox fc h 10" 1024
check "tavox fc h 1024 $dir/a" "$dir/a.dat" "$dir/ab.dat"
check "tavox fc h 1024 $dir/m" "$dir/my data"
check "tavox fc h 1024 \"$dir/my" "$dir/my data"
check "tavox fc h 1024 $dir/k:" "1.dat"
check "tavox fc h 1024 $dir/*.dat" "'$dir/*.dat'"
check "tavox fc h 1024 $dir/a?.dat" "'$dir/a?.dat'"
check "tavox fc h 1024 $dir/it's*.dat" "'$dir/it'\\''s*.dat'"
check "tavox fc h 1024 '$dir/*.dat' *out.*" "'*out.*'"
check "tavox fc h 1024 '$dir/*.dat' out"
check "tavox p h 1024 '$dir/*.dat' '*.avg' "
check "tavox p h 1024 '$dir/*.dat' '*.avg' 8 0 "
check "tavox \"fc h 1024 x.dat\" "

# The options before the fields: every option of the table, with "=" after
# those that take a value.
all_options=()
for name in "${!_tavox_option_values[@]}"; do
    if [[ -n ${_tavox_option_values[$name]} ]]; then all_options+=("$name="); else all_options+=("$name"); fi
done
check "tavox --" "${all_options[@]}"
check "tavox --q" --quiet
check "tavox --v" --version --view=
check "tavox --pl" --plot= --plot-size=
check "tavox --plot=" db linear
check "tavox --plot " e ec f fc m mc p pc
check "tavox --view=$dir/a" "$dir/a.dat" "$dir/ab.dat"
check "tavox --view $dir/a" "$dir/a.dat" "$dir/ab.dat"
check "tavox -- " e ec f fc m mc p pc
check "tavox -- --" 
check "tavox fc --"

# Options with values, as they are declared: words, file names, free text.
_tavox_option_values[--format]="raw csv f32 npy"
_tavox_option_values[--report]="@file"
_tavox_option_values[--rate]="@text"
_tavox_option_values[--quiet]=""
check "tavox --f" --fft= --format= --full-scale=
check "tavox --fo" --format=
check "tavox --r" --rate= --report=
check "tavox --format=" csv f32 npy raw
check "tavox --fft=" exact fast
check "tavox --format=C" 
check "tavox --format=c" csv
check "tavox --format c" csv
check "tavox --format csv " e ec f fc m mc p pc
check "tavox --format=csv --quiet p" p pc
check "tavox --rate 100 fc " f h p
check "tavox --rate="
check "tavox --report=$dir/a" "$dir/a.dat" "$dir/ab.dat"
check "tavox --report $dir/a" "$dir/a.dat" "$dir/ab.dat"
check "tavox --quiet --format=npy e h 256 $dir/a" "$dir/a.dat" "$dir/ab.dat"

if ((failures)); then
    echo "$failures completion cases failed"
    exit 1
fi
echo "all completion cases passed"
