#!/usr/bin/env bash
# Installs the built tree into a DESTDIR staging folder and checks what a desktop
# sees: the self-contained program with its translations, the launcher, the desktop
# entry, the icons and the metainfo (validated with the freedesktop tools), and that
# the installed program starts headless and writes its log.
# Runs under tests/run_test.sh (private HOME/XDG in LUMIVO_TEST_TMP).
set -u
build=${LUMIVO_BUILD_DIR:?}
tmp=${LUMIVO_TEST_TMP:?}
id=${LUMIVO_APP_ID:?}
sys=${LUMIVO_SYSTEM_PREFIX:?}
version=${LUMIVO_VERSION:?}
prefix=/opt/lumivo

passed=0
failed=0
check() { # check <description> <command...>
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}
need() {
    command -v "$1" >/dev/null || { echo "FAIL: $1 is not installed (scripts/test.sh installs it)"; exit 1; }
}
need desktop-file-validate
need appstreamcli
need identify

stage=$tmp/stage
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1; }

# The program and its translations, self-contained under the prefix.
check "program installed" test -x "$stage$prefix/bin/lumivo"
for lang in 2052 1033; do
    check "translation $lang.qm beside the program" test -s "$stage$prefix/bin/lang/$lang.qm"
done
check "no unresolved libraries" bash -c "! ldd '$stage$prefix/bin/lumivo' | grep -q 'not found'"

# The launcher on the PATH: a relative link that resolves inside the staging tree.
launcher=$stage$sys/bin/lumivo
check "launcher is a symlink" test -L "$launcher"
check "launcher resolves to the program" \
    test "$(readlink -f "$launcher")" = "$(readlink -f "$stage$prefix/bin/lumivo")"

# Desktop entry.
desktop=$stage$sys/share/applications/$id.desktop
check "desktop entry installed" test -f "$desktop"
check "desktop-file-validate" desktop-file-validate "$desktop"
key() { sed -n "s/^$1=//p" "$desktop"; }
check "desktop Icon is the app id" test "$(key Icon)" = "$id"
check "desktop Exec runs the launcher" test "$(key Exec | cut -d' ' -f1)" = lumivo
check "Chinese name" test -n "$(key 'Name\[zh_CN\]')"
check "Chinese comment" test -n "$(key 'Comment\[zh_CN\]')"
check "English comment" test -n "$(key Comment)"

# Icons: the SVG, and PNGs of the stated size that actually show something
# (a renderer that failed would leave them fully transparent).
icons=$stage$sys/share/icons/hicolor
check "scalable icon" test -s "$icons/scalable/apps/$id.svg"
for s in 16 22 24 32 48 64 128 256; do
    png=$icons/${s}x${s}/apps/$id.png
    if [ -f "$png" ]; then
        check "icon $s is ${s}x${s}" test "$(identify -format '%wx%h' "$png")" = "${s}x${s}"
        coverage=$(convert "$png" -alpha extract -format '%[fx:mean]' info:)
        check "icon $s is drawn (alpha coverage $coverage)" awk "BEGIN { exit !($coverage > 0.4) }"
    else
        check "icon $s installed" false
    fi
done

# AppStream metainfo.
meta=$stage$sys/share/metainfo/$id.metainfo.xml
check "metainfo installed" test -f "$meta"
check "appstreamcli validate" appstreamcli validate --no-net "$meta"
check "metainfo id" grep -q "<id>$id</id>" "$meta"
check "metainfo launches the desktop entry" \
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$meta"
check "metainfo lists release $version" grep -q "<release version=\"$version\"" "$meta"

# Manual page and package documents.
check "manual page" gzip -t "$stage$sys/share/man/man1/lumivo.1.gz"
check "changelog" gzip -t "$stage$sys/share/doc/lumivo/changelog.gz"
check "copyright" test -s "$stage$sys/share/doc/lumivo/copyright"

# Another prefix: the launcher follows it.
stage2=$tmp/stage2
DESTDIR=$stage2 cmake --install "$build" --prefix /opt/elsewhere >"$tmp/install2.log" 2>&1
check "launcher follows --prefix" \
    test "$(readlink -f "$stage2$sys/bin/lumivo")" = "$(readlink -f "$stage2/opt/elsewhere/bin/lumivo")"
check "program under --prefix" test -x "$stage2/opt/elsewhere/bin/lumivo"

# Start the installed program through the launcher, headless, until it logs its
# start-up; it then runs its event loop until stopped.
export QT_QPA_PLATFORM=offscreen
logdir=${XDG_DATA_HOME:?}/lumivo/log
"$launcher" >"$tmp/run.out" 2>&1 &
pid=$!
started=no
for _ in $(seq 1 300); do
    if grep -qs "auto adjsize: " "$logdir"/log_*.txt; then
        started=yes
        break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
alive=no
kill -0 "$pid" 2>/dev/null && alive=yes
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
check "installed program logs 'auto adjsize: '" test "$started" = yes
check "installed program keeps running after start-up" test "$alive" = yes
# It found its translations through the launcher link, beside the real executable.
check "translation loaded from beside the program" \
    grep -qs "load language: 2052 $stage$prefix/bin/lang/2052.qm true" "$logdir"/log_*.txt
if [ "$started" != yes ] || [ "$failed" -gt 0 ]; then
    echo "--- program output"; cat "$tmp/run.out"
    echo "--- log"; cat "$logdir"/log_*.txt 2>/dev/null
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
