#!/usr/bin/env bash
# Boots Debian's stock kernel under qemu (TCG) with the vivid test driver loaded and
# runs the given test programs inside, as root, one after the other. Each program is
# copied into an initramfs together with every shared library it needs (ldd) and the
# dynamic loader, so the host's own build runs unchanged in the VM.
#
#   scripts/vm/run-vm-tests.sh [options] PROGRAM [PROGRAM ...]
#     --vivid "OPTIONS"   module options for vivid
#                         (default: one webcam node plus a metadata capture node)
#     --timeout SECONDS   wall-clock limit for the whole VM run (default 300)
#     --keep DIR          build the image in DIR and keep it (default: a temp dir)
#     --args "ARGS"       arguments passed to every program (e.g. "-v2")
#     --env NAME=VALUE    set in the programs' environment (repeatable), e.g. TSAN_OPTIONS
#     --copy FILE         copy a host file (and the shared libraries it needs) to the
#                         same path in the VM (repeatable)
#     --modules "NAMES"   more kernel modules to put in the image and load after vivid
#                         (with their dependencies), e.g. "vhci-hcd uvcvideo"; "vimc", which
#                         Debian's kernel lacks, is built by scripts/vm/build-vimc.sh (kept
#                         in \$LUMIVO_BUILD_DIR/vm-modules) or left out when it cannot be
#     --module-file FILE  a module built outside the kernel package (scripts/vm/build-vimc.sh)
#                         to put in the image and load the same way (repeatable)
#     --out DIR           programs may leave files in \$LUMIVO_VM_OUT; after the last
#                         pass they are copied out to DIR (through a scratch virtio disk);
#                         default: \$LUMIVO_VM_OUT on the host, if set
#     --udev-pass         after the first pass, start a udev daemon (systemd-udevd)
#                         and run every program again with LUMIVO_VM_UDEV=1, so the
#                         udev monitor path is exercised as well as raw uevents
#     --results DIR       leave each program's output and exit status per pass in DIR
#                         and exit 0 once the VM has run (the verdicts are read with:)
#   scripts/vm/run-vm-tests.sh --result DIR PROGRAM
#                         prints PROGRAM's output from the last run with --results DIR;
#                         exit 0 when it passed in every pass, 77 when the VM was skipped
#
# Exit status: 0 when every program exited 0 in the VM, 1 when one failed, crashed,
# hung or never ran, 77 when qemu or the kernel cannot be had on this machine.
# Inside the VM each program sees LUMIVO_VM=1, QT_QPA_PLATFORM=offscreen and a
# writable HOME (its own) and TMPDIR under /tmp; /sys/bus/platform/drivers/vivid/{unbind,bind}
# unplug and replug the camera.
set -uo pipefail

if [ "${1:-}" = --result ]; then
  [ -e "$2/skipped" ] && { cat "$2/skipped"; exit 77; }
  [ -e "$2/$3.rc" ] || { echo "run-vm-tests: no result for $3 in $2"; exit 1; }
  status=0 why=""
  for rc in "$2/$3".rc "$2/$3"@*.rc; do
    [ -e "$rc" ] || continue
    n=$(basename "$rc" .rc)
    cat "$2/$n.log"
    if [ "$(cat "$rc")" = 0 ]; then echo "PASS: $n"; else echo "FAIL: $n ($(cat "$rc"))"; status=1; why+=" $n"; fi
  done
  # The logs are long and CI may show only their ends: the failures again, last.
  for n in $why; do
    echo "---- why $n failed ----"
    grep -a -B8 -A2 -E '^(FAIL!|QFATAL)|Received signal|Received a fatal error' "$2/$n.log" || tail -n 40 "$2/$n.log"
  done
  exit $status
fi

vivid_opts="n_devs=1 node_types=0x20001 num_inputs=1 input_types=0"
timeout_s=300
keep=""
prog_args=""
programs=()
envs=()
copies=()
modules=()
module_files=()
out_dir="${LUMIVO_VM_OUT:-}"
udev_pass=0
results=""
while [ $# -gt 0 ]; do
  case "$1" in
    --vivid) vivid_opts="$2"; shift 2 ;;
    --timeout) timeout_s="$2"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    --args) prog_args="$2"; shift 2 ;;
    --env) envs+=("$2"); shift 2 ;;
    --copy) copies+=("$2"); shift 2 ;;
    --udev-pass) udev_pass=1; shift ;;
    --modules) read -ra more <<< "$2"; modules+=("${more[@]}"); shift 2 ;;
    --module-file) module_files+=("$2"); shift 2 ;;
    --out) out_dir="$2"; shift 2 ;;
    --results) results="$2"; rm -rf "$results"; mkdir -p "$results"; shift 2 ;;
    -h|--help) sed -n '2,30p' "$0"; exit 0 ;;
    *) programs+=("$1"); shift ;;
  esac
done
if [ ${#programs[@]} -eq 0 ]; then
  echo "run-vm-tests: no test program given" >&2
  exit 2
fi
for p in "${programs[@]}"; do
  if [ ! -x "$p" ]; then
    echo "run-vm-tests: not an executable: $p" >&2
    exit 2
  fi
done

skip() {
  echo "run-vm-tests: SKIP: $*"
  [ -z "$results" ] || echo "run-vm-tests: SKIP: $*" > "$results/skipped"
  exit 77
}

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed"
busybox=""
for b in /bin/busybox /usr/bin/busybox; do
  if [ -x "$b" ] && ! ldd "$b" >/dev/null 2>&1; then busybox=$b; break; fi
done
[ -n "$busybox" ] || skip "no static busybox (busybox-static)"
kver=""
for k in $(ls /boot/vmlinuz-6.1.0-*-amd64 2>/dev/null | sort -V -r); do
  v=${k#/boot/vmlinuz-}
  if [ -f "/lib/modules/$v/modules.dep" ] && [ -n "$(find "/lib/modules/$v/kernel/drivers/media/test-drivers/vivid" -name 'vivid.ko*' 2>/dev/null)" ]; then
    kver=$v; break
  fi
done
[ -n "$kver" ] || skip "no stock 6.1 amd64 kernel with vivid (install the package scripts/vm/kernel-package.sh names)"
[ -r "/boot/vmlinuz-$kver" ] || skip "/boot/vmlinuz-$kver is not readable"
moddir=/lib/modules/$kver

if [ -n "$keep" ]; then
  work=$keep; rm -rf "$work"; mkdir -p "$work"
else
  work=$(mktemp -d "${LUMIVO_TEST_TMP:-${TMPDIR:-/tmp}}/lumivo-vm.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
root=$work/root
mkdir -p "$root"/{bin,sbin,dev,proc,sys,tmp,tests,etc} "$root/lib/modules/$kver"
cp "$busybox" "$root/bin/busybox"

# --- kernel modules: vivid and what it depends on, per modules.dep --------------
declare -A want=()
resolve() {
  local rel=$1 dep
  [ -n "${want[$rel]:-}" ] && return
  want[$rel]=1
  for dep in $(awk -v m="$rel:" '$1 == m {for (i = 2; i <= NF; i++) print $i}' "$moddir/modules.dep"); do
    resolve "$dep"
  done
}
vivid_rel=$(awk -F: '$1 ~ /\/vivid\.ko(\.[a-z]+)?$/ {print $1}' "$moddir/modules.dep")
[ -n "$vivid_rel" ] || skip "vivid is not in $moddir/modules.dep"
resolve "$vivid_rel"
[ -n "$out_dir" ] && modules+=(virtio_pci virtio_blk)
packaged=()
for m in "${modules[@]}"; do
  pat=$(echo "$m" | sed 's/[-_]/[-_]/g')
  rel=$(awk -F: -v p="/${pat}[.]ko([.][a-z]+)?\$" '$1 ~ p {print $1}' "$moddir/modules.dep")
  if [ -z "$rel" ] && [ -f "$(dirname "$0")/build-$m.sh" ]; then
    # One the package lacks is built here; without what it is built from, it is left
    # out and only the tests that need it skip.
    ko=$(bash "$(dirname "$0")/build-$m.sh" "${LUMIVO_BUILD_DIR:-build}/vm-modules")
    case $? in
      0) module_files+=("$ko") ;;
      77) echo "run-vm-tests: $m left out" ;;
      *) echo "run-vm-tests: FAIL: $m cannot be built" >&2; exit 1 ;;
    esac
    continue
  fi
  [ -n "$rel" ] || skip "module $m is not in $moddir/modules.dep"
  resolve "$rel"
  packaged+=("$m")
done
modules=("${packaged[@]}")
# Modules of our own build: their dependencies (by name) come from the package's.
extra_lines=()
for f in "${module_files[@]}"; do
  [ -f "$f" ] || skip "no module file $f"
  name=$(basename "$f" .ko)
  [ "$(modinfo -F vermagic "$f" 2>/dev/null | cut -d' ' -f1)" = "$kver" ] || skip "$f is not built for $kver"
  line="extra/$name.ko:"
  for dep in $(modinfo -F depends "$f" | tr ',' ' '); do
    pat=$(echo "$dep" | sed 's/[-_]/[-_]/g')
    rel=$(awk -F: -v p="/${pat}[.]ko([.][a-z]+)?\$" '$1 ~ p {print $1}' "$moddir/modules.dep")
    [ -n "$rel" ] || skip "$name needs $dep, which is not in $moddir/modules.dep"
    resolve "$rel"
    line="$line $(echo "${rel%.xz}" | sed -e 's/\.zst$//' -e 's/\.gz$//')"
  done
  mkdir -p "$root/lib/modules/$kver/extra"
  cp "$f" "$root/lib/modules/$kver/extra/$name.ko"
  extra_lines+=("$line")
  modules+=("$name")
done
plain() { echo "${1%.xz}" | sed -e 's/\.zst$//' -e 's/\.gz$//'; }
: > "$root/lib/modules/$kver/modules.dep"
for rel in "${!want[@]}"; do
  out=$root/lib/modules/$kver/$(plain "$rel")
  mkdir -p "$(dirname "$out")"
  case "$rel" in
    *.xz) xz -dc "$moddir/$rel" > "$out" ;;
    *.zst) zstd -qdc "$moddir/$rel" > "$out" ;;
    *.gz) gzip -dc "$moddir/$rel" > "$out" ;;
    *) cp "$moddir/$rel" "$out" ;;
  esac || { echo "run-vm-tests: cannot unpack $rel" >&2; exit 1; }
  deps=$(awk -v m="$rel:" '$1 == m {for (i = 2; i <= NF; i++) print $i}' "$moddir/modules.dep")
  line="$(plain "$rel"):"
  for d in $deps; do line="$line $(plain "$d")"; done
  echo "$line" >> "$root/lib/modules/$kver/modules.dep"
done
[ ${#extra_lines[@]} -eq 0 ] || printf '%s\n' "${extra_lines[@]}" >> "$root/lib/modules/$kver/modules.dep"

# --- programs and their shared libraries ----------------------------------------
copy_with_libs() {
  local file=$1 lib
  for lib in $(ldd "$file" 2>/dev/null | awk '/=> \// {print $3} /^\s*\/[^ ]+ \(/ {print $1}'); do
    if [ ! -e "$root$lib" ]; then
      mkdir -p "$root$(dirname "$lib")"
      cp -L "$lib" "$root$lib"
    fi
  done
}
names=()
for p in "${programs[@]}"; do
  name=$(basename "$p")
  cp -L "$p" "$root/tests/$name"
  copy_with_libs "$p"
  names+=("$name")
done
# The offscreen platform plugin, for programs that make a QGuiApplication.
plugin=$(ls /usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqoffscreen.so 2>/dev/null || true)
if [ -n "$plugin" ]; then
  mkdir -p "$root$(dirname "$plugin")"
  cp -L "$plugin" "$root$plugin"
  copy_with_libs "$plugin"
fi
# Fontconfig's setup and a sans font, with one for Chinese (a language the program offers),
# so that widget programs have text to lay out and screenshots show no empty boxes.
if [ -d /etc/fonts ]; then
  cp -a /etc/fonts "$root/etc/"
  for pattern in sans sans:lang=zh-cn; do
    font=$(fc-match -f '%{file}' "$pattern" 2>/dev/null || true)
    if [ -f "$font" ]; then
      mkdir -p "$root$(dirname "$font")"
      cp -L "$font" "$root$font"
    fi
  done
fi
for f in "${copies[@]}"; do
  [ -f "$f" ] || { echo "run-vm-tests: no such file: $f" >&2; exit 2; }
  abs=$(readlink -f "$f")
  mkdir -p "$root$(dirname "$abs")"
  cp -L "$abs" "$root$abs"
  copy_with_libs "$abs"
done
if [ "$udev_pass" = 1 ]; then
  udevd=$(readlink -f /lib/systemd/systemd-udevd 2>/dev/null || true)
  if [ ! -x "$udevd" ]; then
    echo "run-vm-tests: no systemd-udevd (package udev): the udev pass is left out"
    udev_pass=0
  fi
fi
if [ "$udev_pass" = 1 ]; then
  mkdir -p "$root/lib/systemd" "$root/etc/udev/rules.d"
  cp -L "$udevd" "$root/bin/udevadm"
  copy_with_libs "$udevd"
  ln -sf /bin/udevadm "$root/lib/systemd/systemd-udevd"
fi
[ -e "$root/lib64/ld-linux-x86-64.so.2" ] || { mkdir -p "$root/lib64"; cp -L /lib64/ld-linux-x86-64.so.2 "$root/lib64/"; }

# --- init -------------------------------------------------------------------------
{
  cat <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# /tmp stays on the (writable) initramfs: a tmpfs there would hide files copied under /tmp.
chmod 1777 /tmp
mkdir -p /tmp/home /tmp/run
chmod 700 /tmp/run
echo "@@LUMIVO-VM kernel \$(uname -r)"
if ! modprobe vivid $vivid_opts; then
  echo "@@LUMIVO-VM modprobe vivid failed"
fi
for m in ${modules[*]}; do
  modprobe \$m || echo "@@LUMIVO-VM modprobe \$m failed"
done
ls /sys/class/video4linux | sed 's/^/@@LUMIVO-VM node /'
export HOME=/tmp/home TMPDIR=/tmp XDG_RUNTIME_DIR=/tmp/run QT_QPA_PLATFORM=offscreen LUMIVO_VM=1
export LUMIVO_TEST_TMP=/tmp LUMIVO_VM_OUT=/tmp/out
mkdir -p /tmp/out
# A hung test function fails on its own well before the VM's overall limit.
export QTEST_FUNCTION_TIMEOUT=60000
INIT
  for e in "${envs[@]}"; do
    printf 'export %q\n' "$e"
  done
  run_all() {  # $1: marker suffix
    for n in "${names[@]}"; do
      cat <<INIT
echo "@@LUMIVO-VM begin $n$1"
HOME=/tmp/home/$n$1 && mkdir -p \$HOME  # nothing a program stores reaches the next one
/tests/$n $prog_args
echo "@@LUMIVO-VM end $n$1 rc=\$?"
echo vivid.0 > /sys/bus/platform/drivers/vivid/bind 2>/dev/null  # in case a test left it unbound
INIT
    done
  }
  run_all ""
  if [ "$udev_pass" = 1 ]; then
    cat <<'INIT'
mkdir -p /run && mount -t tmpfs tmpfs /run
/lib/systemd/systemd-udevd --daemon --resolve-names=never 2>/dev/null
udevadm trigger --action=add 2>/dev/null
udevadm settle --timeout=30 2>/dev/null
[ -e /run/udev/control ] && echo "@@LUMIVO-VM udev daemon running" || echo "@@LUMIVO-VM udev daemon did not start"
export LUMIVO_VM_UDEV=1
INIT
    run_all "@udev"
  fi
  [ -n "$out_dir" ] && cat <<'INIT'
tar cf /dev/vda -C /tmp/out . && echo "@@LUMIVO-VM out $(find /tmp/out -type f | wc -l) files"
INIT
  cat <<'INIT'
echo "@@LUMIVO-VM done"
sync
poweroff -f
INIT
} > "$root/init"
chmod 755 "$root/init"

initrd=$work/initrd.cpio
if command -v cpio >/dev/null; then
  (cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) > "$initrd"
else
  (cd "$root" && find . | "$busybox" cpio -o -H newc) > "$initrd" 2>/dev/null
fi
echo "run-vm-tests: kernel $kver, initramfs $(du -h "$initrd" | cut -f1), programs: ${names[*]}"

# --- boot ---------------------------------------------------------------------------
log=$work/console.log
disk=()
if [ -n "$out_dir" ]; then
  truncate -s 256M "$work/out.img"
  disk=(-drive "file=$work/out.img,format=raw,if=virtio")
fi
start=$(date +%s)
timeout --kill-after=10 "$timeout_s" "$qemu" -M pc -accel tcg -cpu max -smp 2 -m 1536 \
  -kernel "/boot/vmlinuz-$kver" -initrd "$initrd" \
  -append "console=ttyS0 panic=-1 rdinit=/init loglevel=4" \
  "${disk[@]}" -display none -monitor none -serial stdio -no-reboot -nodefaults < /dev/null | tee "$log"
qrc=${PIPESTATUS[0]}
if [ -n "$out_dir" ]; then
  mkdir -p "$out_dir" && tar xf "$work/out.img" -C "$out_dir" 2>/dev/null \
    && echo "run-vm-tests: copied out to $out_dir: $(find "$out_dir" -type f | wc -l) files"
fi
echo "run-vm-tests: VM ran $(( $(date +%s) - start )) s, qemu exit $qrc"

# --- verdict ------------------------------------------------------------------------
status=0
if [ "$qrc" -eq 124 ] || [ "$qrc" -eq 137 ]; then
  echo "run-vm-tests: FAIL: the VM did not finish within ${timeout_s} s"
  status=1
fi
checks=("${names[@]}")
if [ "$udev_pass" = 1 ]; then
  for n in "${names[@]}"; do checks+=("$n@udev"); done
fi
for n in "${checks[@]}"; do
  rc=$(tr -d '\r' < "$log" | sed -n "s/^@@LUMIVO-VM end $n rc=\([0-9]*\).*/\1/p" | tail -1)
  if [ -n "$results" ]; then
    tr -d '\r' < "$log" | sed -n "/^@@LUMIVO-VM begin $n\$/,/^@@LUMIVO-VM end $n rc=/p" > "$results/$n.log"
    echo "${rc:-did not finish}" > "$results/$n.rc"
  fi
  if [ -z "$rc" ]; then
    echo "run-vm-tests: FAIL: $n did not finish in the VM"
    status=1
  elif [ "$rc" != 0 ]; then
    echo "run-vm-tests: FAIL: $n exited $rc in the VM"
    status=1
  else
    echo "run-vm-tests: PASS: $n"
  fi
done
[ -n "$results" ] && exit 0
exit $status
