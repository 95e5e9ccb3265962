#!/usr/bin/env bash
# scripts/mutate.sh [--check] [NUMBER...]
# Judges the native test suites by the faults they catch. Each mutant of tests/mutants.txt (a
# line of cli/ or core/ changed into a plausible fault) is applied alone to a scratch copy of
# the tree, the native preset is rebuilt there and the native suites run with a time limit:
# a mutant is killed when a suite fails. Prints "killed by SUITE" (the first suite that failed)
# or "survived" for each, and last "mutants killed=K of N". A mutant the list marks equivalent
# is expected to survive.
#
# NUMBER... runs only those mutants, counted from 1 in the list. --check only checks that each
# mutant's line occurs once in its file. The worktree is never changed; the scratch copy goes
# to a temporary folder and is removed at the end. Run by hand, not by CI: its last line says how
# long the run took.
set -euo pipefail
cd "$(dirname "$0")/.."
list=tests/mutants.txt
check_only=0
if [ "${1:-}" = --check ]; then
    check_only=1
    shift
fi
wanted=" $* "

# The list, one entry per mutant; fields apart by the unit separator 0x1F.
sep=$'\x1f'
files=()
lines=()
mutants=()
breaks=()
equivalents=()
add_mutant() {
    if [ -n "$file" ]; then
        files+=("$file")
        lines+=("$line")
        mutants+=("$mutant")
        breaks+=("$broken")
        equivalents+=("$equivalent")
    fi
    file='' line='' mutant='' broken='' equivalent=''
}
file='' line='' mutant='' broken='' equivalent=''
while IFS= read -r text || [ -n "$text" ]; do
    case $text in
    '#'*) ;;
    '') add_mutant ;;
    'file: '*) file=${text#file: } ;;
    'line: '*) line=${text#line: } ;;
    'mutant: '*) mutant=${text#mutant: } ;;
    'breaks: '*) broken=${text#breaks: } ;;
    'equivalent: '*) equivalent=${text#equivalent: } ;;
    *)
        echo "mutate.sh: $list: cannot read: $text" >&2
        exit 2
        ;;
    esac
done <"$list"
add_mutant
count=${#files[@]}

trim() {
    local text=$1
    text=${text#"${text%%[![:space:]]*}"}
    printf '%s' "${text%"${text##*[![:space:]]}"}"
}

# apply FOLDER NUMBER [write]: finds the line of mutant NUMBER in its file below FOLDER, and
# with "write" puts the mutant in its place; fails unless the line occurs once.
apply() {
    local folder=$1 number=$2 write=${3:-}
    local path=${files[number - 1]} line=${lines[number - 1]} mutant=${mutants[number - 1]}
    local source=$folder/$path
    if [ ! -f "$source" ]; then
        echo "mutate.sh: mutant $number: no file $path" >&2
        return 1
    fi
    local -a text
    mapfile -t text <"$source"
    local found=0 at=0 i
    for i in "${!text[@]}"; do
        if [ "$(trim "${text[i]}")" = "$line" ]; then
            found=$((found + 1))
            at=$i
        fi
    done
    if [ $found -ne 1 ]; then
        echo "mutate.sh: mutant $number: the line occurs $found times in $path: $line" >&2
        return 1
    fi
    if [ "$write" = write ]; then
        local indent=${text[at]%%[![:space:]]*}
        text[at]=$indent$mutant
        printf '%s\n' "${text[@]}" >"$source"
    fi
}

for number in $(seq "$count"); do
    apply . "$number" || exit 2
done
if [ $check_only = 1 ]; then
    echo "mutate.sh: $count mutants, each line found once"
    exit 0
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kov-mutate.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# The tree as it stands, without its builds: files git tracks or would track.
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' path; do
        [ -f "$path" ] && printf '%s\0' "$path"
    done | xargs -0 cp --parents -t "$scratch"
cd "$scratch"
log=$scratch/log.txt

build() {
    timeout 900 cmake --build --preset native -j2 >"$log" 2>&1
}
# The quick suites first and the slow reliability suite last, each test with a time limit.
run_suites() {
    timeout 300 ctest --preset native --timeout 120 --stop-on-failure -E reliability_tests \
        >"$log" 2>&1 &&
        timeout 300 ctest --preset native --timeout 240 -R reliability_tests >"$log" 2>&1
}

echo "mutate.sh: building the native preset in $scratch"
cmake --preset native >"$log" 2>&1 && build || {
    cat "$log"
    echo "mutate.sh: the tree as it stands does not build"
    exit 2
}
run_suites || {
    cat "$log"
    echo "mutate.sh: the native suites fail without any mutant"
    exit 2
}

killed=0
ran=0
unkilled=0
for number in $(seq "$count"); do
    if [ "$wanted" != "  " ] && [[ $wanted != *" $number "* ]]; then
        continue
    fi
    ran=$((ran + 1))
    path=${files[number - 1]}
    cp "$path" "$scratch/original"
    apply "$scratch" "$number" write
    if ! build; then
        verdict="does not build"
    elif run_suites; then
        verdict=survived
    else
        # The suite that failed first, for tests/README.md's map.
        failed='s/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([a-z_]+) .*\*\*\*.*/\1/p'
        verdict="killed by $(sed -nE "$failed" "$log" | head -n 1)"
    fi
    cp "$scratch/original" "$path"
    note=${breaks[number - 1]}
    if [ "$verdict" = survived ]; then
        if [ -n "${equivalents[number - 1]}" ]; then
            verdict="survived (equivalent)"
        else
            unkilled=$((unkilled + 1))
        fi
    elif [ "$verdict" = "does not build" ]; then
        unkilled=$((unkilled + 1)) # a mutant that measures nothing: mend the list
    else
        killed=$((killed + 1))
        [ -n "${equivalents[number - 1]}" ] && note="$note (marked equivalent, but killed)"
    fi
    printf '%-34s %3d %s: %s\n' "$verdict" "$number" "$path" "$note"
done
echo "mutants killed=$killed of $ran in $((SECONDS / 60)) min"
[ $unkilled -eq 0 ]
