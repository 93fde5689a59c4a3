#!/usr/bin/env bash
# Starts a local tocd on 127.0.0.1:5190 (unless something already listens there) and Rivir on it.
set -euo pipefail
echo "Rivir's windows are not built yet; nothing to open." >&2
exit 1
