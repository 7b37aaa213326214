#!/usr/bin/env bash
# Installs into a staging folder, checks what a desktop sees (validated with the freedesktop
# tools), then starts the installed program on a 1366x768 X server.
set -u
build=${LUMIVO_BUILD_DIR:?} tmp=${LUMIVO_TEST_TMP:?} id=${LUMIVO_APP_ID:?} sys=${LUMIVO_SYSTEM_PREFIX:?}
prefix=/opt/lumivo failed=0
check() { local what=$1; shift; "$@" || { failed=$((failed + 1)); echo "FAIL: $what"; }; }
for tool in desktop-file-validate appstreamcli identify xvfb-run import; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (scripts/test.sh installs it)"; exit 1; }
done
stage=$tmp/stage
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1; }
check "translations beside the program" test -s "$stage$prefix/bin/lang/2052.qm" -a -s "$stage$prefix/bin/lang/1033.qm"
check "no unresolved libraries" bash -c "! ldd '$stage$prefix/bin/lumivo' | grep -q 'not found'"
launcher=$stage$sys/bin/lumivo
check "launcher resolves to the program" test "$(readlink -f "$launcher")" = "$(readlink -f "$stage$prefix/bin/lumivo")"

desktop=$stage$sys/share/applications/$id.desktop
check "desktop-file-validate" desktop-file-validate "$desktop"
check "desktop Icon is the app id" grep -qx "Icon=$id" "$desktop"
check "desktop Exec runs the launcher" grep -q "^Exec=lumivo" "$desktop"
meta=$stage$sys/share/metainfo/$id.metainfo.xml
check "appstreamcli validate" appstreamcli validate --no-net "$meta"
check "metainfo lists release ${LUMIVO_VERSION:?}" grep -q "<release version=\"$LUMIVO_VERSION\"" "$meta"
# PNG icons of the stated size that show something (a failed render is transparent).
icons=$stage$sys/share/icons/hicolor
check "scalable icon" test -s "$icons/scalable/apps/$id.svg"
for s in 16 22 24 32 48 64 128 256; do
    png=$icons/${s}x${s}/apps/$id.png
    check "icon $s is ${s}x${s}" test "$(identify -format '%wx%h' "$png" 2>/dev/null)" = "${s}x${s}"
    coverage=$(convert "$png" -alpha extract -format '%[fx:mean]' info: 2>/dev/null || echo 0)
    check "icon $s is drawn (alpha coverage $coverage)" awk "BEGIN { exit !($coverage > 0.4) }"
done
check "manual page" gzip -t "$stage$sys/share/man/man1/lumivo.1.gz"
# Another prefix: the launcher follows it.
DESTDIR=$tmp/stage2 cmake --install "$build" --prefix /opt/elsewhere >"$tmp/install2.log" 2>&1
check "launcher follows --prefix" \
    test "$(readlink -f "$tmp/stage2$sys/bin/lumivo")" = "$(readlink -f "$tmp/stage2/opt/elsewhere/bin/lumivo")"
# The installed program on a real X server: it logs its start-up, keeps running,
# loads its translation from beside the real executable and draws its window.
logdir=${XDG_DATA_HOME:?}/lumivo/log
shot=$tmp/start-1366x768.png
export -n QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1366x768x24" bash -c '
  "$1" >"$2/run.out" 2>&1 & pid=$!
  for _ in $(seq 1 300); do grep -qs "auto adjsize:" "$3"/log_*.txt && break; sleep 0.1; done
  sleep 1
  import -window root "$4"
  kill -0 $pid && echo alive >"$2/alive"
  kill $pid; wait $pid 2>/dev/null
  true' _ "$launcher" "$tmp" "$logdir" "$shot"
check "installed program logs its start-up" grep -qs "auto adjsize: " "$logdir"/log_*.txt
check "installed program keeps running" test -f "$tmp/alive"
check "translation loaded from beside the program" \
    grep -qs "load language: 2052 $stage$prefix/bin/lang/2052.qm true" "$logdir"/log_*.txt
mean=$(convert "$shot" -format "%[fx:mean]" info: 2>/dev/null || echo 0)
check "window on the screen (mean $mean)" awk "BEGIN { exit !($mean > 0.01) }"
[ "$failed" -eq 0 ] || { echo "--- program output"; cat "$tmp/run.out"; echo "--- log"; cat "$logdir"/log_*.txt; }
echo "$failed failed"
[ "$failed" -eq 0 ]
