#!/usr/bin/env bash
# Writes kovdisc's manual page, kovdisc.1, from the program's own help texts: help2man turns
# "kovdisc --help" into the page, and each command that help lists gets a section of its own,
# made by help2man from "kovdisc COMMAND --help". The page therefore says what the program
# says, and a command added to the program appears in it with no change here.
# Usage: kovdisc_manual.sh KOVDISC OUTPUT (SOURCE_DATE_EPOCH, if set, dates the page; KOV_EMULATOR,
# if set, is the program that runs a cross-built KOVDISC here)
set -euo pipefail

kovdisc=$(realpath "$1")
run=(${KOV_EMULATOR:+"$KOV_EMULATOR"} "$kovdisc")
emulator=${KOV_EMULATOR:+\"$KOV_EMULATOR\" }
output=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# help2man sets paragraphs of lines beginning "$ " apart as examples, one per line; the help
# texts indent their examples without a prompt, which help2man would run together, and a
# command's "Example:" heads its example directly, which help2man would take as a subsection.
cat >"$work/kovdisc" <<WRAPPER
#!/bin/sh
$emulator"$kovdisc" "\$@" | sed -e 's/^  kovdisc /  \$ kovdisc /' -e 's/^Example:\$/&\n/'
WRAPPER
chmod +x "$work/kovdisc"

help=$("${run[@]}" --help)
commands=$(sed -n '/^Subcommands:$/,/^$/s/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$help")
if [ -z "$commands" ]; then
    echo "kovdisc_manual.sh: \"kovdisc --help\" lists no commands" >&2
    exit 1
fi
# The page's one-line name: the program's first sentence, up to its colon.
name=$(head -n 1 <<<"$help" | sed 's/:.*//; s/^./\L&/')

# Each command's page from help2man, without its title and synopsis, under a subsection headed
# by the command's usage; its own sections become bold paragraph headings. Lines are not
# stretched to the margin, which would spread a long example's words apart.
{
    echo '[COMMANDS]'
    echo '.ad l'
    for command in $commands; do
        usage=$("${run[@]}" "$command" --help | sed -n 's/^Usage: //p')
        echo ".SS \"$usage\""
        help2man --no-info --version-string=none --help-option="$command --help" "$work/kovdisc" |
            sed -n '/^\.SH DESCRIPTION$/,$p' |
            sed -e '/^\.SH DESCRIPTION$/d' \
                -e 's/^\.SH \(.*\)$/.PP\n.B \L\u\1:/' \
                -e 's/^\.SS "\(.*\)"$/.PP\n.B \1/' \
                -e 's/^Example:$/.B &/'
    done
    printf '[SEE ALSO]\n.BR kov\\-extractor (1)\n'
} >"$work/include"

help2man --no-info --name="$name" --include="$work/include" --output="$output" "$work/kovdisc"
