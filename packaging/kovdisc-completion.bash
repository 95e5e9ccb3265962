# bash completion for kovdisc: its commands, each command's options, index files (*.TXT in any
# letter case) where a command takes an index, and folders where it takes a folder. Trailer
# names (PICK) are left to the user.

_kovdisc() {
    local cur prev words cword
    _init_completion || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'list check new add copy verify recover --help --version' \
            -- "$cur"))
        return
    fi
    local command=${words[1]} options
    case $command in
    list | verify) options='--json --help' ;;
    check) options='--repair --help' ;;
    new) options='--force --help' ;;
    add) options='--help' ;;
    copy) options='--except --force --help' ;;
    recover) options='--write --force --json --help' ;;
    *) return ;;
    esac
    if [[ $prev == --except ]]; then
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # Which of the command's arguments this is, options and the PICK after --except left out.
    local i argument=0
    for ((i = 2; i < cword; i++)); do
        if [[ ${words[i]} == --except ]]; then
            ((i++))
        elif [[ ${words[i]} != -* ]]; then
            ((argument++))
        fi
    done
    case $command:$argument in
    new:0 | copy:1)
        _filedir -d
        ;;
    list:0 | check:0 | add:[01] | copy:0 | verify:* | recover:*)
        _filedir '@([Tt][Xx][Tt])'
        ;;
    esac
} &&
    complete -F _kovdisc kovdisc
