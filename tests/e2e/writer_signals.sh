# Sourced by the Wine tests that stop or kill a writer in the middle of its copy. Each function
# checks that the signal reached the process that writes the disc, and otherwise calls the
# `fail` of tests/lib.sh, which the sourcing script sources, with one line that says so: a test that signalled some other process
# (a loader waiting for the program, say) must not go on to fail for a reason that hides it.

# process_state PID: the one-letter state the kernel gives the process (T stopped, Z dead).
process_state() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1; }

# holders AUDIO: the processes that have AUDIO open, but for the Wine server, which keeps the
# files of its programs open until it has seen them die.
holders() {
    local fd pid
    { find /proc/[0-9]*/fd -maxdepth 1 -lname "$1" 2>/dev/null || true; } | while read -r fd; do
        pid=${fd#/proc/}
        pid=${pid%%/*}
        case $(cat "/proc/$pid/comm" 2>/dev/null) in wineserver*) ;; *) echo "$pid" ;; esac
    done | sort -u
}

# named PID...: each process as "ID (name)", on one line.
named() {
    local pid list=""
    for pid in "$@"; do list+="${list:+, }$pid ($(cat "/proc/$pid/comm" 2>/dev/null))"; done
    echo "${list:-none}"
}

# writing PID AUDIO: fails unless PID is one of the processes that have AUDIO open.
writing() {
    local left
    left=$(holders "$(realpath "$2")")
    grep -qx "$1" <<<"$left" || fail "process $(named "$1") is not the writer: the processes" \
        "that have $2 open are $(named $left)"
}

# halt PID: stops PID with SIGSTOP and waits until the kernel shows it stopped. The writer is
# halted before anything is checked of it, so that a busy machine's slow checks never let a copy
# run on past the point the test chose.
halt() {
    kill -STOP "$1" || fail "the writer $1 was gone before it could be stopped"
    for _ in $(seq 500); do
        [ "$(process_state "$1")" != T ] || break
        sleep 0.01
    done
    [ "$(process_state "$1")" = T ] || fail "the writer $1 did not stop within 5 s"
}

# stop_writer PID AUDIO: stops PID, checks that it is the writer of AUDIO, and that AUDIO then
# stays the same size for 0.2 s.
stop_writer() {
    local before after
    halt "$1"
    writing "$1" "$2"
    before=$(file_size "$2")
    sleep 0.2
    after=$(file_size "$2")
    ((before == after)) || fail "the writer was not stopped: $2 grew from $before to $after" \
        "bytes in the 0.2 s after process $1 stopped"
}

# kill_writer PID AUDIO: stops PID, checks that it is the writer of AUDIO, kills it with SIGKILL,
# the time in killed_at, and waits until no process has AUDIO open, 5 s at most. The caller reaps
# PID when it likes: the Wine server may let go of the killed program's hold on the disc before
# the process is reaped.
kill_writer() {
    local left audio
    audio=$(realpath "$2")
    halt "$1"
    writing "$1" "$2"
    kill -KILL "$1" || fail "the writer $1 was gone before it could be killed"
    killed_at=$(date +%s%N)
    for _ in $(seq 500); do
        left=$(holders "$audio")
        [ -n "$left" ] || return 0
        sleep 0.01
    done
    fail "the writer was not killed: $(named $left) still had $2 open 5 s after process $1" \
        "was killed"
}
