#!/usr/bin/env bash
# Chat view library driver: build | test | demo
set -euo pipefail
echo "zalcontrol: ${1:-} not yet available"
