#!/bin/bash
# kov-extractor: starts KOV Extractor, the 64-bit Windows program installed beside it, under
# Wine, in a Wine prefix of its own that the first start makes; never in the user's ~/.wine.
set -euo pipefail

fail() {
    echo "kov-extractor: $*" >&2
    exit 1
}

# Found from the launcher's own place, so that the package runs where it is unpacked, too.
program=$(dirname "$(dirname "$(readlink -f "$0")")")/lib/kov-extractor/KOVExtractor.exe

# Debian's "wine" starts the 32-bit loader whenever wine32 is installed, even on a kernel that
# cannot execute 32-bit programs: this 64-bit program goes to the 64-bit loader itself.
if [ -x /usr/lib/wine/wine64 ]; then
    loader=/usr/lib/wine/wine64
    export WINELOADER=$loader
elif ! loader=$(command -v wine64 || command -v wine); then
    fail "Wine is not installed; install the package wine (apt install wine) first."
fi
if [ -z "${DISPLAY:-}" ]; then
    fail "no display to open the window on (DISPLAY is not set); start it in a desktop session."
fi

export WINEPREFIX=${XDG_DATA_HOME:-$HOME/.local/share}/kov-extractor
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, and no menu entries or file types of Wine's own in the
# user's desktop folders.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The first start makes the prefix; a second one started meanwhile waits for it.
ready=$WINEPREFIX/.kov-extractor-ready
if [ ! -f "$ready" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            echo "kov-extractor: first start, making the Wine prefix $WINEPREFIX" >&2
            "$loader" wineboot --init >/dev/null 2>&1 ||
                fail "Wine could not make its prefix $WINEPREFIX."
            # Wine's own fonts (Marlett draws the caption buttons): Debian installs them where
            # this Wine does not look for them.
            fonts=$WINEPREFIX/drive_c/windows/Fonts
            mkdir -p "$fonts"
            cp /usr/share/wine/fonts/* "$fonts/" ||
                fail "Wine's fonts are missing: install the package fonts-wine."
            touch "$ready"
        fi
    ) 9>"$WINEPREFIX/.kov-extractor.lock"
fi
exec "$loader" "$program"
