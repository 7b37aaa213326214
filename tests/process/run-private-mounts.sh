#!/usr/bin/env bash
# Runs a test in a mount namespace of its own when it may mount (root, and unshare is
# allowed): it can then mount small or read-only file systems that vanish with it.
# LUMIVO_PRIVATE_MOUNTS=1 tells the test it may; otherwise it falls back to file modes
# and file size limits.
if [ "$(id -u)" -eq 0 ] && unshare -m --propagation private true 2>/dev/null; then
  exec unshare -m --propagation private env LUMIVO_PRIVATE_MOUNTS=1 "$@"
fi
exec "$@"
