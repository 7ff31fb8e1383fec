#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Inside the virtual machine of scripts/vm-test.sh, once the boot has reached its end
# (multi-user.target). The kernel command line says what to do:
#   vmtest=schedule  schedules the clone of /dev/vdb1 onto /dev/vdc1 through Vantrel's
#                    dialog under Xvfb with keyboard input, answering Yes to Safe Mode and to
#                    the restart (vmtest.scenario=fstab first mounts both partitions through
#                    /etc/fstab and starts a service writing to the source;
#                    vmtest.scenario=unopenable has another program hold the destination
#                    from the next boot on);
#   vmtest=collect   writes what became of the clone onto /dev/vdd as a tar archive and
#                    powers the machine off.
set -u
mode=$(sed -n 's/.*vmtest=\([a-z]*\).*/\1/p' /proc/cmdline)
scenario=$(sed -n 's/.*vmtest\.scenario=\([a-z]*\).*/\1/p' /proc/cmdline)
say() { echo "vm-test: $*"; }

# The letter that Vantrel gives a device, from vantrel-mountvol's list.
letter_of() {
  local want
  want=$(readlink -f "$1")
  vantrel-mountvol | while read -r letter _ _ device; do
    [ "$(readlink -f "$device")" = "$want" ] && echo "${letter%:}" && break
  done
}

schedule() {
  if [ "$scenario" = fstab ]; then
    printf '%s\n' '/dev/vdb1 /mnt/source ntfs-3g rw,nofail 0 0' '/dev/vdc1 /mnt/dest ntfs-3g rw,nofail 0 0' >> /etc/fstab
    systemctl daemon-reload
    mount /mnt/source && mount /mnt/dest || say "cannot mount the partitions"
    systemctl enable --now vm-test-writer.service
    for _ in $(seq 1 100); do [ -s /mnt/source/count ] && break; sleep 0.2; done
    [ -s /mnt/source/count ] && say "source written ($(cat /mnt/source/count) blocks)"
  fi
  # From the next boot on, another program holds the destination.
  [ "$scenario" = unopenable ] && systemctl enable vm-test-holder.service
  vantrel-mountvol | sed 's/^/vm-test: drive /'
  local source dest
  source=$(letter_of /dev/vdb1)
  dest=$(letter_of /dev/vdc1)
  say "source $source: (/dev/vdb1), destination $dest: (/dev/vdc1)"
  [ -n "$source" ] && [ -n "$dest" ] || { say "the partitions have no letters"; return 1; }

  export DISPLAY=:1
  Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  for _ in $(seq 1 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.2; done
  QT_QPA_PLATFORM=xcb Vantrel &
  local window
  window=$(timeout 120 xdotool search --sync --name '^Vantrel$' | head -1)
  [ -n "$window" ] || { say "the dialog did not open"; return 1; }
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  sleep 1
  # From the Exit button, where the focus starts: the source list, its letter, the
  # destination list, its letter, Create, Yes to Safe Mode, Yes to the restart.
  xdotool key Tab; sleep 0.5
  xdotool type "${source,,}"; sleep 1
  xdotool key Tab; sleep 0.5
  xdotool type "${dest,,}"; sleep 1
  say "Create"
  xdotool key alt+c; sleep 2
  say "Yes to Safe Mode"
  xdotool key alt+y; sleep 2
  say "Yes to the restart"
  xdotool key alt+y
  sleep 120
  say "the machine did not restart"
}

collect() {
  local out=/run/vm-test-results folder
  mkdir -p "$out"
  journalctl -b --no-pager -o short-monotonic > "$out/journal.txt" 2>&1
  systemctl status vantrel-runonce.service --no-pager > "$out/unit.txt" 2>&1
  vantrel-reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' > "$out/runonce.txt" 2>&1
  folder=$(vantrel-reg query 'HKLM\Software\Tembric\Vantrel' /v Path | awk '/Path/ {print $3}')
  cp "${folder}status.txt" "$out/status.txt" 2>/dev/null
  tar -cf /dev/vdd -C "$out" . && sync
  say "results written"
}

case $mode in
  schedule) schedule; systemctl poweroff ;;
  collect) collect; systemctl poweroff ;;
esac
