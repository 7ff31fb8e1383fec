#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# make vm-test: the suite's package on a booted Debian 12 machine under QEMU.
#   scripts/vm-test.sh BUILD [SCENARIO...]
#   scenarios: plain fstab unopenable console wayland x11 (default: all)
# A small Debian image (cached under $VANTREL_VM_CACHE, default /var/cache/vantrel-vm, keyed
# by its package list, which holds what the package depends on) gets the suite's package
# of `make deb` installed with dpkg -i, as an administrator would. For the boot-time clone
# (plain, fstab, unopenable) the machine boots with two extra disks holding NTFS
# partitions and a disk for its results, schedules the clone through the real dialog
# under Xvfb with keyboard input, restarts, and the host answers Enter on tty1 and checks
# the disks. For a start from the menu (wayland, x11) an ordinary user's graphical
# session runs the desktop entry's Exec line, and the host checks that the dialog's window
# appeared and that the display's access list is as before once Vantrel has ended. The
# machine's own parts (driver, units, session, polkit rule) are the files in
# scripts/vm-test. Everything happens on image files in BUILD/vm-test; no disk of this
# machine is touched. Without QEMU it skips.
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
parts=$src/scripts/vm-test
build=$(mkdir -p "${1:?usage: vm-test.sh BUILD [SCENARIO...]}" && cd "$1" && pwd)
shift
scenarios=("${@:-plain}")
[ $# -eq 0 ] && scenarios=(plain fstab unopenable console wayland x11)
work=$build/vm-test
cache=${VANTREL_VM_CACHE:-/var/cache/vantrel-vm}
started=$SECONDS

say() { printf '[vm-test %4ds] %s\n' $((SECONDS - started)) "$*"; }
fail() { say "FAILED: $*"; exit 1; }
skip() { say "SKIPPED: $*"; exit 0; }

# --- the host's tools --------------------------------------------------------------------

# The emulator and the image tools, from Debian; `make test` needs none of them.
host_tools() {
  local wanted=(qemu-system-x86 mmdebstrap ntfs-3g fdisk e2fsprogs python3)
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"; } >"$work/apt.log" 2>&1 || true
  fi
  command -v qemu-system-x86_64 >/dev/null || skip "no QEMU (qemu-system-x86 cannot be installed here)"
  command -v mmdebstrap >/dev/null || skip "no mmdebstrap to build the machine's image"
  [ "$(id -u)" -eq 0 ] || skip "building the machine's root tree needs root"
}

# --- the machine's image -----------------------------------------------------------------

# What the package needs on the machine: its Depends, the first of each set of
# alternatives, as apt would install them with it.
package_depends() {
  dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' | grep -v '^$'
}

# Beside the boot and the clone's tools: the X server of the scheduling driver, and the
# graphical sessions of an ordinary user (logind sessions through PAM, polkit, Weston with
# XWayland, the X tools that look at the display).
image_packages() {
  { printf '%s\n' systemd systemd-sysv udev kmod linux-image-amd64 initramfs-tools e2fsprogs procps \
      ntfs-3g xvfb xauth xdotool qt6-qpa-plugins fonts-dejavu-core fonts-dejavu-extra \
      libpam-systemd dbus polkitd weston xwayland x11-utils
    package_depends; } | sort -u
}

# The root tree, made once per package list. The initramfs holds only what a virtio disk
# with ext4 needs, so that it loads quickly.
build_image() {
  local packages key
  packages=$(image_packages)
  key=$(printf '%s\n' "$packages" | sha256sum | cut -c1-16)
  image_tree=$cache/debian12-$key
  if [ -d "$image_tree/boot" ]; then
    say "image $image_tree (cached)"
    return
  fi
  mkdir -p "$cache"
  rm -rf "$image_tree.part"
  say "building the Debian 12 image ($(printf '%s\n' "$packages" | wc -l) packages): $image_tree"
  # The hooks are shell text that mmdebstrap runs with the tree as $1.
  # shellcheck disable=SC2016
  mmdebstrap --variant=minbase --format=directory --include="$(printf '%s\n' "$packages" | paste -sd,)" \
    --essential-hook='mkdir -p "$1/etc/initramfs-tools/conf.d"
      echo MODULES=list > "$1/etc/initramfs-tools/conf.d/vm.conf"
      printf "%s\n" virtio_pci virtio_blk ext4 > "$1/etc/initramfs-tools/modules"' \
    --customize-hook='rm -f "$1"/etc/machine-id "$1"/var/lib/dbus/machine-id; : > "$1/etc/machine-id"' \
    bookworm "$image_tree.part" >"$work/mmdebstrap.log" 2>&1 || fail "mmdebstrap: see $work/mmdebstrap.log"
  mv "$image_tree.part" "$image_tree"
}

# --- the suite on the machine ------------------------------------------------------------

# Installs the suite into the machine's tree ROOT from the package of `make deb`, as an
# administrator does with dpkg -i: its maintainer scripts register the install folder in
# the machine's registry and enable the unit with deb-systemd-helper. The image already
# holds what the package depends on.
install_suite() {
  local root=$1
  cp "$deb" "$root/tmp/vantrel.deb"
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 HOME=/root \
    dpkg -i /tmp/vantrel.deb >"$work/install.log" 2>&1 || fail "dpkg -i: see $work/install.log"
  rm -f "$root/tmp/vantrel.deb"
}

# The package enables the unit through a link under /etc and ships none under /lib or
# /usr/lib, so that `systemctl disable` turns it off: tried on a copy of the tree's unit
# folders, which is all systemctl --root reads.
check_unit_enabled_through_etc() { # ROOT
  local root=$1 units=$work/units
  check "the unit is enabled by a link under /etc/systemd/system/*.wants" \
    test -L "$(compgen -G "$root/etc/systemd/system/*.wants/vantrel-runonce.service" | head -1)"
  check "the package ships no link that enables the unit (none under /lib or /usr/lib)" \
    bash -c "! dpkg-deb -c '$deb' | grep -q '\.wants/'"
  rm -rf "$units"
  mkdir -p "$units/usr/lib"
  ln -s usr/lib "$units/lib"
  cp -a "$root/etc" "$units/etc"
  cp -a "$root/usr/lib/systemd" "$units/usr/lib/systemd"
  systemctl --root="$units" disable vantrel-runonce.service >"$work/disable.log" 2>&1
  check "systemctl disable leaves nothing that starts the unit" \
    bash -c "! find '$units' -path '*.wants/vantrel-runonce.service' | grep -q . &&
             [ \"\$(systemctl --root='$units' is-enabled vantrel-runonce.service)\" = disabled ]"
  rm -rf "$units"
}

# The test's own parts of the machine (scripts/vm-test): the driver that schedules the
# clone through the dialog, runs a user's session or collects what became of the clone,
# the units of the fstab and unopenable scenarios, the user tester with their session and
# the polkit rule that lets them start Vantrel without a password; the journal also on the
# serial console, and no password for root. systemd-analyze checks the units in the tree.
prepare_root() {
  local root=$1
  echo vantrel-vm > "$root/etc/hostname"
  echo '/dev/vda / ext4 errors=remount-ro 0 0' > "$root/etc/fstab"
  mkdir -p "$root/etc/systemd/journald.conf.d" "$root/mnt/source" "$root/mnt/dest" "$root/usr/local/lib/vm-test"
  printf '[Journal]\nForwardToConsole=yes\nMaxLevelConsole=info\nStorage=volatile\n' \
    > "$root/etc/systemd/journald.conf.d/vm-test.conf"
  install -m 0755 "$parts/driver.sh" "$root/usr/local/sbin/vm-test-driver"
  install -m 0755 "$parts/session.sh" "$root/usr/local/lib/vm-test/session"
  install -m 0644 "$parts"/vm-test-*.service "$root/etc/systemd/system/"
  install -m 0644 "$parts/vm-test.rules" "$root/etc/polkit-1/rules.d/50-vm-test.rules"
  chroot "$root" useradd --create-home --shell /bin/bash tester
  systemctl --root="$root" enable vm-test-driver.service >/dev/null 2>&1
  sed -i 's/^root:[^:]*:/root::/' "$root/etc/shadow"
  (cd "$root/etc/systemd/system" &&
     systemd-analyze verify --root="$root" --man=no vm-test-driver.service vm-test-writer.service \
       vm-test-holder.service vm-test-session@wayland.service vantrel-runonce.service) \
    >"$work/verify.log" 2>&1 || fail "systemd-analyze verify: see $work/verify.log"
}

# The root file system as an ext4 image, made from the tree without mounting anything.
make_root_image() {
  rm -rf "$work/root"
  cp -a "$image_tree" "$work/root"
  install_suite "$work/root"
  check_unit_enabled_through_etc "$work/root"
  prepare_root "$work/root"
  local kernels initrds
  kernels=("$work/root"/boot/vmlinuz-*)
  initrds=("$work/root"/boot/initrd.img-*)
  cp "${kernels[0]}" "$work/vmlinuz"
  cp "${initrds[0]}" "$work/initrd.img"
  rm -f "$work/root.img"
  mke2fs -q -t ext4 -L root -d "$work/root" "$work/root.img" 3G >/dev/null || fail "mke2fs"
  rm -rf "$work/root"
}

# --- disks --------------------------------------------------------------------------------

# ntfs_disk FILE DISKSIZE PARTSIZE LABEL [CONTENT]: a disk image with one NTFS partition
# at 1 MiB, holding the file CONTENT in its root folder when given.
ntfs_disk() {
  local file=$1 part=$1.part
  rm -f "$file" "$part"
  truncate -s "$2" "$file"
  printf 'label: dos\nstart=2048, size=%s, type=7\n' "$(( $(numfmt --from=iec "$3") / 512 ))" \
    | sfdisk -q "$file" || fail "sfdisk $file"
  truncate -s "$3" "$part"
  mkntfs --force --quick --quiet --sector-size 512 --partition-start 2048 --heads 255 --sectors-per-track 63 \
    --label "$4" "$part" >/dev/null 2>&1 || fail "mkntfs $file"
  [ -z "${5:-}" ] || ntfscp "$part" "$5" "$(basename "$5")" >/dev/null || fail "ntfscp $5 onto $file"
  dd if="$part" of="$file" bs=1M seek=1 conv=notrunc status=none
  rm -f "$part"
}

# partition FILE: the first partition's bytes of a disk image made by ntfs_disk.
partition_bytes() { # FILE OUT SIZE
  dd if="$1" of="$2" bs=1M skip=1 count=$(( $(numfmt --from=iec "$3") / 1048576 )) status=none
}

# --- QEMU ---------------------------------------------------------------------------------

# KVM when it boots this kernel; the paravirtual KVM of some hosts stops in the kernel's
# set-up code, before the kernel prints its version.
choose_accel() {
  accel=(-accel "tcg,thread=multi" -cpu max)
  accel_name=TCG
  if [ -w /dev/kvm ]; then
    local log=$work/kvm-probe.log
    rm -f "$log"
    # Without a root file system the kernel panics and, with -no-reboot, QEMU ends; a KVM
    # that cannot run it aborts or hangs. In a subshell, which reports that, not this one.
    (
      qemu-system-x86_64 -accel kvm -cpu host -nodefaults -m 256 -display none -no-reboot \
        -kernel "$work/vmlinuz" -append "console=ttyS0 panic=-1" -serial "file:$log" &
      pid=$!
      for _ in $(seq 1 60); do
        grep -q "Linux version" "$log" 2>/dev/null && break
        kill -0 $pid 2>/dev/null || break
        sleep 0.5
      done
      kill $pid
      wait $pid
    ) >/dev/null 2>&1 || true
    if grep -q "Linux version" "$log" 2>/dev/null; then
      accel=(-accel kvm -cpu host)
      accel_name=KVM
    fi
  fi
  say "accelerator: $accel_name"
}

monitor() { # COMMAND: one command to the running machine's monitor
  python3 "$parts/monitor.py" "$work/monitor.sock" "$1"
}

# start_machine NAME KERNEL-ARGS: boots the machine in the background;
# a restart of the machine ends QEMU (-no-reboot), so each boot is one run.
start_machine() {
  local name=$1 args=$2
  serial=$work/$name.serial.log
  rm -f "$serial" "$work/monitor.sock"
  qemu-system-x86_64 "${accel[@]}" -nodefaults -smp 2 -m 1536 -no-reboot -display none -vga std \
    -kernel "$work/vmlinuz" -initrd "$work/initrd.img" \
    -append "root=/dev/vda ro console=ttyS0 quiet systemd.show_status=1 $args" \
    -drive "file=$scenario_dir/root.img,format=raw,if=virtio" \
    -drive "file=$scenario_dir/source.img,format=raw,if=virtio" \
    -drive "file=$scenario_dir/dest.img,format=raw,if=virtio" \
    -drive "file=$scenario_dir/results.img,format=raw,if=virtio" \
    -serial "file:$serial" -monitor "unix:$work/monitor.sock,server,nowait" \
    >"$work/$name.qemu.log" 2>&1 &
  qemu_pid=$!
  boot_started=$SECONDS
}

# wait_serial TEXT SECONDS: true once the serial log holds TEXT; false when QEMU ended or
# the time is up.
wait_serial() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    grep -qF -- "$1" "$serial" 2>/dev/null && return 0
    kill -0 "$qemu_pid" 2>/dev/null || { grep -qF -- "$1" "$serial" 2>/dev/null; return; }
    sleep 1
  done
  return 1
}

# wait_exit SECONDS: true when QEMU ended (the machine restarted or powered off) in time.
wait_exit() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$qemu_pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { kill "$qemu_pid"; wait "$qemu_pid" 2>/dev/null; return 1; }
    sleep 1
  done
  wait "$qemu_pid" 2>/dev/null || true
  return 0
}

# --- checks from the host ----------------------------------------------------------------

# A file of the machine's root image, read without mounting it.
root_file() { debugfs -R "cat $1" "$scenario_dir/root.img" 2>/dev/null; }

# The machine's registry, copied out, queried with the suite's own tool.
machine_reg() {
  local store=$scenario_dir/store
  mkdir -p "$store"; chmod 0700 "$store"
  debugfs -R "dump /var/lib/vantrel/hklm.db $store/hklm.db" "$scenario_dir/root.img" >/dev/null 2>&1
  VANTREL_SYSTEM_ROOT=$store "$build/bin/vantrel-reg" "$@"
}

install_folder() {
  machine_reg query 'HKLM\Software\Tembric\Vantrel' /v Path | awk '/Path/ {print $3}'
}

# The copy on the larger destination is the source as the restart left it, grown to the
# destination: its boot sector announces the destination's size (the size field the
# dialog read, bytes 40 to 47) and is repeated in the sector after the last one it counts,
# ntfsfix and ntfsresize find a sound volume of that size, and every file of the source
# reads back unchanged.
check_grown_copy() { # SOURCE-PARTITION-FILE
  local copy=$scenario_dir/copy.bin field sectors volume names name
  partition_bytes "$scenario_dir/dest.img" "$copy" 80M
  field=$(od -An -tu8 -j40 -N8 "$copy" | xargs)
  sectors=$(od -An -tu8 -j40 -N8 "$scenario_dir/dest-boot-sector.bin" | xargs)
  [ "$field" = "$sectors" ] || { echo "    the copy announces $field sectors, the destination had $sectors"; return 1; }
  cmp -s -n 512 "$copy" <(dd if="$copy" bs=512 skip="$sectors" count=1 status=none) ||
    { echo "    no backup boot sector after sector $sectors"; return 1; }
  ntfsfix --no-action "$copy" >"$scenario_dir/ntfsfix.txt" 2>&1 || { echo "    ntfsfix: see $scenario_dir/ntfsfix.txt"; return 1; }
  # --force: the grown copy is marked for a check at Windows' next start. ntfsresize counts
  # the whole clusters and the backup boot sector after them.
  volume=$(( sectors / 8 * 8 * 512 + 512 ))
  if ! { ntfsresize --info --force --no-progress-bar "$copy" >"$scenario_dir/ntfsresize.txt" 2>&1 &&
         grep -q "Current volume size: $volume bytes" "$scenario_dir/ntfsresize.txt"; }; then
    echo "    ntfsresize does not find a volume of $volume bytes: see $scenario_dir/ntfsresize.txt"
    return 1
  fi
  names=$(ntfsls --force "$1" 2>/dev/null)
  [ "$names" = "$(ntfsls --force "$copy" 2>/dev/null)" ] || { echo "    the copy's files are not the source's"; return 1; }
  for name in $names; do
    cmp -s <(ntfscat --force "$1" "$name" 2>/dev/null) <(ntfscat --force "$copy" "$name" 2>/dev/null) ||
      { echo "    $name differs between the source and the copy"; return 1; }
  done
  echo "    the copy announces $field sectors and holds the source's files unchanged: $(xargs <<<"$names")"
}

check() { # TEXT COMMAND...: runs the check, tells its result, counts failures
  if "${@:2}"; then say "  ok: $1"; else say "  NOT OK: $1"; failures=$((failures + 1)); fi
}

# --- scenarios ----------------------------------------------------------------------------

new_scenario() {
  scenario_dir=$work/$1
  rm -rf "$scenario_dir"
  mkdir -p "$scenario_dir"
  cp --sparse=always "$work/root.img" "$scenario_dir/root.img"
  head -c 3000000 /dev/urandom > "$scenario_dir/file.bin"
  ntfs_disk "$scenario_dir/source.img" 72M 64M SOURCE "$scenario_dir/file.bin"
  ntfs_disk "$scenario_dir/dest.img" 96M 80M COPY
  dd if="$scenario_dir/dest.img" of="$scenario_dir/dest-boot-sector.bin" bs=512 skip=2048 count=1 status=none
  truncate -s 16M "$scenario_dir/results.img"
}

# Boot 1: the driver schedules the clone through the dialog and answers Yes to the
# restart; QEMU ends with the restart.
schedule_boot() { # SCENARIO
  start_machine "$1-schedule" "vmtest=schedule vmtest.scenario=$1"
  if ! wait_exit 900; then
    fail "$1: the machine did not restart after scheduling (see $serial)"
  fi
  grep -q "reboot: Restarting system" "$serial" || fail "$1: boot 1 ended without a restart (see $serial)"
  say "$1: scheduled through the dialog and restarted after $((SECONDS - boot_started)) s"
}

# The results disk of a collect boot: a tar archive the driver wrote.
unpack_results() {
  mkdir -p "$scenario_dir/results"
  tar -xf "$scenario_dir/results.img" -C "$scenario_dir/results" 2>/dev/null
}

# The VGA console (tty1) as a PNG. The graphics driver may be taking over the console
# from the text mode just then, which leaves the screen black for a moment: it is taken
# again until something shows.
screendump() { # NAME
  for _ in 1 2 3 4 5 6; do
    monitor "screendump $work/$1.ppm"
    python3 "$parts/ppm-to-png.py" "$work/$1.ppm" "$work/$1.png" 2>/dev/null && return
    sleep 2
  done
}

# Boot 2 of a clone that completes: the host waits for the summary, looks at tty1,
# presses Enter, and the machine restarts.
clone_boot() { # SCENARIO
  start_machine "$1-clone" "vmtest=collect vmtest.scenario=$1"
  wait_serial "Succesfully created the" 900 || fail "$1: Keldrun did not complete the clone (see $serial)"
  sleep 2
  screendump "$1-tty1"
  monitor "sendkey ret"
  wait_exit 300 || fail "$1: the machine did not restart after Enter (see $serial)"
  say "$1: cloned and restarted after $((SECONDS - boot_started)) s; tty1: $work/$1-tty1.png"
}

check_completed() { # SCENARIO SOURCE-AT-RESTART
  local folder status
  folder=$(install_folder)
  status=$(root_file "${folder}status.txt")
  # A verified copy's last line tells the verification, after "Done => ".
  check "status.txt ends with \"Done => \"" grep -q "^Done => [0-9]*$" <<<"$(grep -v '^Verified => ' <<<"$status" | tail -1)"
  check "the install folder is in the machine's registry" test -n "$folder"
  check "the RunOnce entry is gone" entry_gone
  check "the copy is the source at the restart, grown to the destination" check_grown_copy "$2"
  check "the machine restarted after Enter" grep -q "reboot: Restarting system" "$serial"
  check "the restart is not taken for a failure of the unit" \
    bash -c "! grep -q 'vantrel-runonce.service: Failed' '$serial'"
  check "vantrel-runonce recorded what it ran" grep -q "vantrel-runonce\[[0-9]*\]: running \"Vantrel Clone Partition\"" "$serial"
  check "Keldrun ran before the local file systems" check_order_before_local_fs
}

check_order_before_local_fs() {
  ! grep -q "Reached target.*Local File Systems" <(sed -n '1,/Succesfully created the/p' "$serial")
}

scenario_plain() {
  new_scenario plain
  schedule_boot plain
  partition_bytes "$scenario_dir/source.img" "$scenario_dir/source-at-restart.bin" 64M
  clone_boot plain
  check_completed plain "$scenario_dir/source-at-restart.bin"
  check "the copy was verified at boot, over the source's 64 MiB" \
    grep -q "^Verified => $((64 << 20))\$" <<<"$(root_file "$(install_folder)status.txt" | tail -1)"
}

# Both partitions in /etc/fstab and a service writing to the source: the clone runs
# before they are mounted, so the copy is the source as the restart left it.
scenario_fstab() {
  new_scenario fstab
  schedule_boot fstab
  partition_bytes "$scenario_dir/source.img" "$scenario_dir/source-at-restart.bin" 64M
  clone_boot fstab
  check_completed fstab "$scenario_dir/source-at-restart.bin"
  check "the writer had written to the source before the restart" grep -q "vm-test: source written" "$work/fstab-schedule.serial.log"
  partition_bytes "$scenario_dir/source.img" "$scenario_dir/source-after.bin" 64M
  check "nothing wrote to the source during the clone's boot" cmp -s "$scenario_dir/source-at-restart.bin" "$scenario_dir/source-after.bin"
}

# A destination that cannot be opened (another program holds it from early in the boot):
# the boot goes on by itself and the journal says why.
scenario_unopenable() {
  new_scenario unopenable
  schedule_boot unopenable
  cp --sparse=always "$scenario_dir/dest.img" "$scenario_dir/dest-before.img"
  start_machine unopenable-boot "vmtest=collect vmtest.scenario=unopenable"
  wait_serial "Cannot open drive partition to clone to!" 900 || fail "unopenable: no message (see $serial)"
  grep -q "vm-test-holder" "$serial" || fail "unopenable: the holder did not run (see $serial)"
  sleep 3
  screendump unopenable-tty1
  wait_exit 1500 || fail "unopenable: the boot did not go on to the end (see $serial)"
  say "unopenable: the boot went on by itself after $((SECONDS - boot_started)) s; tty1: $work/unopenable-tty1.png"
  unpack_results
  local r=$scenario_dir/results
  check "the driver ran after the boot went on" test -s "$r/journal.txt"
  check "the journal says why" grep -q "Cannot open drive partition to clone to!  [A-Z]: (.*) cannot be opened: " "$r/journal.txt"
  check "status.txt says why" grep -q "Cannot open drive partition to clone to!  [A-Z]: (.*) cannot be opened: " "$r/status.txt"
  check "the RunOnce entry is gone" bash -c "! grep -q 'Vantrel Clone Partition' '$r/runonce.txt'"
  check "the boot went on after Keldrun's message" \
    grep -q 'vantrel-runonce\[[0-9]*\]: "Vantrel Clone Partition" ended with exit code 0' "$r/journal.txt"
  check "the unit did not fail" bash -c "! grep -q 'vantrel-runonce.service: Failed' '$r/journal.txt'"
  check "the destination is untouched" cmp -s "$scenario_dir/dest.img" "$scenario_dir/dest-before.img"
  grep -h "Keldrun\|vantrel-runonce" "$r/journal.txt" | sed 's/^/    journal: /' | head -12
}

# --- a start from the menu ------------------------------------------------------------------

# The ordinary user tester logs into a graphical session (KIND: wayland or x11) and starts
# the desktop entry's Exec line there (scripts/vm-test/session.sh): the dialog's window
# appears on the session's display, and the display's access list is as before once
# Vantrel has ended; in the Wayland session root was on XWayland's list only meanwhile.
session_scenario() { # KIND
  local kind=$1 r closed status
  scenario_dir=$work/$kind
  rm -rf "$scenario_dir"
  mkdir -p "$scenario_dir"
  cp --sparse=always "$work/root.img" "$scenario_dir/root.img"
  # Nothing to clone: blank disks keep the results disk at /dev/vdd.
  truncate -s 1M "$scenario_dir/source.img" "$scenario_dir/dest.img"
  truncate -s 16M "$scenario_dir/results.img"
  start_machine "$kind-session" "vmtest=session vmtest.scenario=$kind"
  wait_exit 1500 || fail "$kind: the machine did not power off after the session (see $serial)"
  say "$kind: the session ran and the machine powered off after $((SECONDS - boot_started)) s"
  unpack_results || true
  r=$scenario_dir/results
  check "the session ran and wrote its results" test -s "$r/xhost-before.txt"
  check "the desktop entry starts the launcher" grep -qx "/usr/bin/vantrel-launch" "$r/exec.txt"
  check "the dialog's window appeared on the session's display" grep -q '"Vantrel": ("Vantrel" ' "$r/windows.txt"
  check "Vantrel found a display it may use" bash -c "! grep -q 'cannot show a window' '$r/launcher.err'"
  check "the window is gone once Vantrel has ended" bash -c "! grep -q '\"Vantrel\"' '$r/windows-after.txt'"
  check "root was not on the access list before" bash -c "! grep -qx 'SI:localuser:root' '$r/xhost-before.txt'"
  if [ "$kind" = wayland ]; then
    check "root was on XWayland's access list while Vantrel ran" grep -qx 'SI:localuser:root' "$r/xhost-during.txt"
  else
    check "the X11 session's access list stayed as it was while Vantrel ran" \
      cmp -s "$r/xhost-before.txt" "$r/xhost-during.txt"
  fi
  check "the access list is as before once Vantrel has ended" cmp -s "$r/xhost-before.txt" "$r/xhost-after.txt"
  closed=$(cat "$r/closed-by.txt" 2>/dev/null || true)
  status=$(cat "$r/launcher.status" 2>/dev/null || true)
  # Escape closes the dialog (status 0); when the session's key does not reach it, root
  # ends Vantrel with SIGTERM, which the launcher tells as such (143).
  check "the launcher ended with Vantrel's ending (closed by ${closed:-nobody}, status ${status:-none})" \
    bash -c "[ '$closed:$status' = session:0 ] || [ '$closed:$status' = root:143 ]"
  sed 's/^/    access list before: /' "$r/xhost-before.txt" 2>/dev/null || true
  sed 's/^/    access list while Vantrel ran: /' "$r/xhost-during.txt" 2>/dev/null || true
  sed 's/^/    launcher: /' "$r/launcher.err" 2>/dev/null | head -n 8 || true
}

console_median() { # WAY TIMES: the median of the times of WAY
  awk -v w="$1" '$2 == w {print $3}' "$2" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}

# Keldrun's console in slow mode, a line per sector where its output is a file: on tty1 it
# shows a total at most ten times a second, so that the console does not hold the copy up.
# tty1 and the file are timed five times, interleaved, and their medians compared. Once,
# through a pipe to tty1, every line is drawn, as without that limit.
scenario_console() {
  new_scenario console
  start_machine console "vmtest=console vmtest.scenario=console"
  # tty1 as Keldrun left it after the second round's run there: its summary.
  wait_serial "]: 2 tty1 " 900 && screendump console-tty1
  wait_exit 1500 || fail "console: the machine did not power off after the runs (see $serial)"
  say "console: timed after $((SECONDS - boot_started)) s; tty1: $work/console-tty1.png"
  unpack_results || true
  local r=$scenario_dir/results way median file
  check "Keldrun timed every run" bash -c "[ \$(awk 'NF == 3 && \$3 > 0' '$r/console-times.txt' | wc -l) -eq 11 ]"
  check "with its output in a file, slow mode writes a line per sector" \
    bash -c "[ \$(grep -c 'total accumulated bytes written to the partition' '$r/console-file-output.txt') -eq $((64 << 11)) ]"
  file=$(console_median file "$r/console-times.txt")
  for way in tty1 file pipe; do
    median=$(console_median "$way" "$r/console-times.txt")
    say "  slow-mode copy of 64 MiB, output $way: $(awk -v w="$way" '$2 == w {printf "%s ", $3}' \
      "$r/console-times.txt")ms, median $median ms ($(awk -v m="$median" -v f="$file" \
      'BEGIN {if (f > 0) printf "%+.1f %%", (m - f) * 100 / f}') against the file)"
  done
}

scenario_wayland() { session_scenario wayland; }
scenario_x11() { session_scenario x11; }

# The RunOnce list of the machine exists (vantrel-runonce deletes entries, not the list)
# and holds no clone.
entry_gone() {
  local list
  list=$(machine_reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce') || return 1
  ! grep -q 'Vantrel Clone Partition' <<<"$list"
}

# --- the run ------------------------------------------------------------------------------

# The programs of the build read the machine's registry from the host; the package is
# what the machine gets.
make_package() {
  make -C "$src" build BUILD_DIR="$build" >"$work/build.log" 2>&1 || fail "build: see $work/build.log"
  make -C "$src" deb BUILD_DIR="$build" >"$work/deb.log" 2>&1 || fail "make deb: see $work/deb.log"
  local packages
  packages=("$build"/deb/vantrel_*.deb)
  deb=${packages[0]}
  say "package $deb"
}

mkdir -p "$work"
host_tools
make_package
build_image
[ "${VM_TEST_ONLY_IMAGE:-}" = 1 ] && exit 0
failures=0
make_root_image
say "root image made"
choose_accel
for scenario in "${scenarios[@]}"; do
  say "scenario $scenario"
  before=$failures
  scenario_started=$SECONDS
  "scenario_$scenario"
  say "scenario $scenario: $((SECONDS - scenario_started)) s, $((failures - before)) failed checks"
  # A passed scenario's disks are not needed any more; a failed one's stay for a look.
  [ "$failures" -eq "$before" ] && rm -f "$scenario_dir"/*.img "$scenario_dir"/*.bin
done
say "$failures failed checks; run time $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
