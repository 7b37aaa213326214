#!/usr/bin/env bash
# A move made while a PipeWire camera starts: a private daemon without a session manager,
# so that nothing links the stream and its start waits its full time.
#   bench/controldrag/pipewire-start.sh BUILD_DIR
set -u
build=${1:-build}
src=$(cd "$(dirname "$0")/../.." && pwd)
rt=$(mktemp -d /tmp/lumivo-pw.XXXXXX)
trap 'kill $daemon 2>/dev/null; wait $daemon 2>/dev/null; rm -rf "$rt"' EXIT
export XDG_RUNTIME_DIR=$rt HOME=$rt QT_QPA_PLATFORM=offscreen
pipewire -c "$src/tests/pipewire/pipewire-test.conf" >/dev/null 2>&1 &
daemon=$!
sleep 1
pw-cli create-node spa-node-factory '{ factory.name=videotestsrc node.name=lumivo-bench node.description="Bench Camera" media.class=Video/Source media.role=Camera object.linger=true }' >/dev/null
sleep 0.5
"$build/bench/lumivo_controldrag" --path pipewire:lumivo-bench --during-open 2>/dev/null
