# Sourced by every script that runs Windows programs under Wine: the Windows test runner, the
# run command and the end-to-end tests. All of them get their Wine prefix and the loader that
# runs each program from here.
#
# use_wine_prefix PREFIX MODE points Wine at PREFIX, creating it on first use, and holds it for
# the calling script alone until that script exits (runs in one prefix take turns). Every prefix
# is a 64-bit one that runs 32-bit programs too (with Debian's wine32:i386), where the machine
# can run them at all. MODE is
#   null          windows are created without any display (Wine's null graphics driver);
#   desktop=WxH   every program opens in one Wine desktop "KOV" of that size on $DISPLAY.
# Wine's own fonts (Marlett draws the caption buttons, among others) are copied into every
# prefix: Debian installs them where this Wine does not look for them.

wine_fonts=/usr/share/wine/fonts

# A Linux path as Wine's drive Z: shows it.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The Wine loader that runs the Windows program PROGRAM in the very process it starts: the 32-bit
# loader for a 32-bit program, the 64-bit one for anything else (a 64-bit program, or one of
# Wine's own, such as cmd). Debian's "wine" starts the 32-bit loader wherever it is installed,
# and that loader, given a 64-bit program, starts it in another process and waits: a test that
# stopped or killed the process it started would miss the program.
wine_loader() {
    if wine_is_32bit "$1"; then
        echo /usr/lib/wine/wine
    else
        echo /usr/lib/wine/wine64
    fi
}

# wine_is_32bit PROGRAM: whether PROGRAM is a 32-bit x86 Windows program (its PE header's machine).
wine_is_32bit() {
    local header machine
    [ -f "$1" ] || return 1
    header=$(od -An -tu4 -j60 -N4 "$1")
    machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1")
    [ "${machine// /}" = 014c ]
}

# wine_command PROGRAM: the command that runs PROGRAM under its loader, in the array
# wine_command; its process becomes the program's own.
wine_command() {
    local loader
    loader=$(wine_loader "$1")
    wine_command=(env WINELOADER="$loader" "$loader" "$1")
}

# wine_run PROGRAM ARGUMENTS...: runs PROGRAM under Wine and returns its exit status.
wine_run() {
    wine_command "$1"
    "${wine_command[@]}" "${@:2}"
}

# wine_start PROGRAM ARGUMENTS...: starts PROGRAM under Wine in the background. wine_pid is the
# process that runs the program itself: the one to stop, continue, kill and wait for.
wine_start() {
    wine_command "$1"
    "${wine_command[@]}" "${@:2}" &
    wine_pid=$!
}

# wine_32bit_missing: prints why this machine cannot run 32-bit Windows programs, and succeeds;
# fails, printing nothing, where it can. Two reasons are told apart: a 32-bit Wine that is not
# installed, and a kernel that cannot execute 32-bit programs at all (built without IA-32
# emulation), where Wine's 32-bit loader fails with "Exec format error". Either way Debian's
# "wine" may exit 0 having run nothing: a suite must ask here first. Such a machine runs the
# 64-bit programs alone, through Wine's 64-bit loader.
wine_32bit_missing() {
    local loader=/usr/lib/wine/wine message
    if [ ! -e "$loader" ]; then
        echo "the 32-bit Wine (wine32:i386) is not installed; run scripts/install_packages.sh" \
            "again later to add it"
        return 0
    fi
    message=$("$loader" --version 2>&1) && return 1
    case $message in
    *"Exec format error"*) echo "this machine's kernel cannot execute 32-bit programs" ;;
    *) echo "Wine's 32-bit loader does not run: ${message##*$'\n'}" ;;
    esac
}

wine_runs_32bit() {
    ! wine_32bit_missing >/dev/null
}

# wine_skip_unless_runs PROGRAM...: ends the calling suite as skipped, exit 77 with the line
# "SUITE skipped: REASON", if any PROGRAM is a 32-bit program that this machine cannot run.
wine_skip_unless_runs() {
    local program reason
    for program in "$@"; do
        if wine_is_32bit "$program" && reason=$(wine_32bit_missing); then
            echo "${KOV_SUITE:-$(basename "$0")} skipped: $reason"
            exit 77
        fi
    done
}

use_wine_prefix() {
    local prefix=$1 mode=$2
    export WINEPREFIX=$prefix
    export WINEDEBUG=-all
    export WINEARCH=win64
    export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9

    # A prefix made before 32-bit Wine was installed has no 32-bit system folder, and 32-bit
    # programs fail to start in it: it is made anew.
    if wine_runs_32bit && [ -d "$prefix/drive_c/windows" ] &&
        [ ! -d "$prefix/drive_c/windows/syswow64" ]; then
        rm -rf "$prefix"
    fi
    if [ ! -f "$prefix/.kov-$mode" ]; then
        wine_run wineboot --init >/dev/null 2>&1
        case $mode in
        null)
            wine_run reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
            ;;
        desktop=*)
            wine_run reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d KOV /f >/dev/null 2>&1
            wine_run reg add 'HKCU\Software\Wine\Explorer\Desktops' /v KOV \
                /d "${mode#desktop=}" /f >/dev/null 2>&1
            ;;
        *)
            echo "use_wine_prefix: unknown mode $mode" >&2
            return 1
            ;;
        esac
        timeout 60 wineserver --wait || wineserver --kill
        touch "$prefix/.kov-$mode"
    fi
    local fonts=$prefix/drive_c/windows/Fonts
    if [ ! -f "$fonts/marlett.ttf" ]; then
        if [ ! -f "$wine_fonts/marlett.ttf" ]; then
            echo "use_wine_prefix: Wine's fonts are missing; install the package fonts-wine" >&2
            return 1
        fi
        mkdir -p "$fonts"
        cp "$wine_fonts"/* "$fonts"/
    fi
}

# Ends the prefix's Wine server once its programs have ended; it would linger a few seconds.
end_wine_server() {
    timeout 30 wineserver --wait || wineserver --kill
}
