#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the desktop entry and the AppStream metainfo given, and that the
# metainfo launches that very entry. Exits 77 (skipped) without the validators.
set -euo pipefail
desktop=$1
metainfo=$2

for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing (desktop-file-utils, appstream): skipped"
        exit 77
    fi
done

desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"

launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
if [ "$launchable" != "$(basename "$desktop")" ]; then
    echo "the metainfo launches '$launchable', the desktop entry is $(basename "$desktop")" >&2
    exit 1
fi
