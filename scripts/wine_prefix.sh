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
    local header machine
    if [ -f "$1" ]; then
        header=$(od -An -tu4 -j60 -N4 "$1")
        machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1")
        if [ "${machine// /}" = 014c ]; then
            echo /usr/lib/wine/wine
            return
        fi
    fi
    echo /usr/lib/wine/wine64
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

# Some kernels cannot execute 32-bit programs at all (built without IA-32 emulation): Wine's
# 32-bit loader fails there with "Exec format error". Such a machine runs the 64-bit programs
# alone, through Wine's 64-bit loader.
wine_runs_32bit() {
    [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
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
