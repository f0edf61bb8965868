#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings; CTest's emulator.
set -euo pipefail
# shellcheck source=wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
vorpel_wine_prepare
exec "$(vorpel_wine_loader)" "$@"
