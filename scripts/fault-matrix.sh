#!/usr/bin/env bash
# The fault matrix: every fault of the simulated phone against every job over both
# links, the NAND compared byte for byte after each run. Not part of CI.
#
#   bash scripts/fault-matrix.sh [--links serial,usb] [--jobs LIST] [--faults REGEX]
#                                [--jobs-parallel N] [--time-limit S] [--cell-limit S]
#                                [--out DIR] [--build DIR] [--gap-check-only]
#
# Needs velmora-cli and velmora-phone-sim built in build/ (or --build DIR).
# Exit status 0 when no cell ended with exit 0 and wrong content and none hung,
# crashed, failed without a text or touched blocks it must leave alone.
set -euo pipefail
exec python3 "$(dirname "${BASH_SOURCE[0]}")/fault_matrix.py" "$@"
