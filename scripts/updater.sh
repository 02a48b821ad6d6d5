#!/usr/bin/env bash
# Updater driver: build | test | demo
set -euo pipefail
echo "updater: ${1:-} not yet available"
