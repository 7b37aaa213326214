#!/usr/bin/env bash
# Runs one test program with a private, temporary HOME and XDG tree, so that no test
# reads or leaves files anywhere else; the tree is removed afterwards.
set -u
tmp=$(mktemp -d "${TMPDIR:-/tmp}/lumivo-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/data" "$tmp/config" "$tmp/cache" "$tmp/runtime"
chmod 700 "$tmp/runtime"
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" \
       XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime" LUMIVO_TEST_TMP="$tmp"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
"$@"
