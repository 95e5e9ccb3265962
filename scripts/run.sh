#!/usr/bin/env bash
# Starts the program. The Windows program is not part of the build yet.
echo "The KOV Extractor window needs the Windows program, which is not built yet." >&2
exit 1
