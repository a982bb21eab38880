#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into the folder given (default build/), with any
# further arguments passed on to CMake. With --programs right after the
# folder it builds only Roradaza and roradaza-check.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
targets=()
if [ "${1:-}" = --programs ]; then
    targets=(--target Roradaza roradaza-check)
    shift
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" --parallel "${targets[@]}"
