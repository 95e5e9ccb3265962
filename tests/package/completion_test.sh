#!/usr/bin/env bash
# The package's bash completion for kovdisc, sourced as bash-completion sources it into a
# non-interactive bash: what it offers on a fixed folder of files equals completion.txt, and it
# offers every command and every option that the package's own kovdisc lists in its help.
# Usage: completion_test.sh DEB TESTS_FOLDER
set -euo pipefail
deb=$1
here=$2
test_name=completion
source "$here/../lib.sh"
source "$here/unpack_package.sh"

make_scratch
unpack_package "$deb" "$scratch/tree"
# The package's kovdisc; a cross-built one runs here through KOV_EMULATOR.
kovdisc=(${KOV_EMULATOR:+"$KOV_EMULATOR"} "$scratch/tree/usr/bin/kovdisc")
mkdir -p "$scratch/work/disc/sub" "$scratch/work/disc/Reel 2"
touch "$scratch/work/disc/"{R14TRLR.TXT,old.txt,Other.Txt,R14T5.AUD,notes.md}

# Prints "[WORDS...] -> OFFERS..." for each line of words on standard input (the last word is the
# one completed), offers sorted.
completions() {
    (cd "$scratch/work" && bash --norc --noprofile -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        while IFS= read -r line; do
            read -r -a COMP_WORDS <<<"$line"
            if [[ $line == *" " ]]; then
                COMP_WORDS+=("")
            fi
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            COMP_LINE=$line
            COMP_POINT=${#COMP_LINE}
            COMPREPLY=()
            _kovdisc kovdisc "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            offers=$(printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd " ")
            echo "[$line] -> $offers"
        done' completion "$scratch/tree/usr/share/bash-completion/completions/kovdisc")
}

completions <"$here/completion_lines.txt" >"$scratch/completion.txt"
diff -u "$here/completion.txt" "$scratch/completion.txt" || fail "the offers differ from completion.txt"

# Whatever kovdisc's help lists must be offered: a command by its first two letters, an option
# after "--".
help=$("${kovdisc[@]}" --help)
for command in $(sed -n '/^Subcommands:$/,/^$/s/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$help"); do
    offers=$(completions <<<"kovdisc ${command:0:2}")
    [[ " ${offers#*] -> } " == *" $command "* ]] ||
        fail "kovdisc ${command:0:2} does not offer the command $command: $offers"
    offers=$(completions <<<"kovdisc $command --")
    for option in $("${kovdisc[@]}" "$command" --help | grep -o -- '--[a-z-]*' | sort -u); do
        [[ " ${offers#*] -> } " == *" $option "* ]] ||
            fail "kovdisc $command -- does not offer $option: $offers"
    done
done
echo "The completion offers what completion.txt says, and every command and option of kovdisc."
