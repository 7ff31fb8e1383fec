#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Inside the virtual machine of scripts/vm-test.sh, once the boot has reached its end
# (vm-test-driver.service, after multi-user.target). The kernel command line says what to
# do:
#   vmtest=schedule  schedules the clone of /dev/vdb1 onto /dev/vdc1 through Vantrel's
#                    dialog under Xvfb with keyboard input, answering Yes to Safe Mode and to
#                    the restart (vmtest.scenario=plain first turns "Verify the copy" on;
#                    vmtest.scenario=fstab first mounts both partitions through
#                    /etc/fstab and starts a service writing to the source;
#                    vmtest.scenario=unopenable has another program hold the destination
#                    from the next boot on);
#   vmtest=collect   writes what became of the clone onto /dev/vdd as a tar archive and
#                    powers the machine off;
#   vmtest=session   logs the user tester into a graphical session (vmtest.scenario=wayland
#                    or x11) that starts the desktop entry's Exec line (session.sh), ends
#                    Vantrel as root if the session asks, writes what it saw onto /dev/vdd
#                    and powers the machine off;
#   vmtest=console   times Keldrun's slow-mode clone of /dev/vdb1 onto /dev/vdc1 with its
#                    output on tty1 and in a file, in five interleaved rounds, and once on
#                    tty1 through a pipe (every line drawn), on a simulated machine of its
#                    own (so that its restart is only a line in a file), writes the times
#                    onto /dev/vdd and powers the machine off.
set -u
mode=$(sed -n 's/.*vmtest=\([a-z]*\).*/\1/p' /proc/cmdline)
scenario=$(sed -n 's/.*vmtest\.scenario=\([a-z0-9]*\).*/\1/p' /proc/cmdline)
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
    if ! { mount /mnt/source && mount /mnt/dest; }; then say "cannot mount the partitions"; fi
    systemctl enable --now vm-test-writer.service
    for _ in $(seq 1 100); do [ -s /mnt/source/count ] && break; sleep 0.2; done
    [ -s /mnt/source/count ] && say "source written ($(cat /mnt/source/count) blocks)"
  fi
  # From the next boot on, another program holds the destination.
  [ "$scenario" = unopenable ] && systemctl enable vm-test-holder.service
  # The boot-time clone reads both partitions back before it is done.
  [ "$scenario" = plain ] && vantrel-reg add 'HKLM\Software\Tembric\Vantrel' /v VerifyCopy /t REG_DWORD /d 1 /f >/dev/null
  vantrel-mountvol | sed 's/^/vm-test: drive /'
  local source dest
  source=$(letter_of /dev/vdb1)
  dest=$(letter_of /dev/vdc1)
  say "source $source: (/dev/vdb1), destination $dest: (/dev/vdc1)"
  if [ -z "$source" ] || [ -z "$dest" ]; then say "the partitions have no letters"; return 1; fi

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

# The user's session runs as a unit of its own, logged in through PAM; its results folder
# is the user's.
session() {
  local out=/run/vm-test-results unit=vm-test-session@$scenario.service state pid
  install -d -o tester -m 0755 "$out"
  systemctl start --no-block "$unit"
  for _ in $(seq 1 1000); do
    state=$(systemctl show -P ActiveState "$unit")
    case $state in activating|active) ;; *) break ;; esac
    if [ -e "$out/close-request" ] && [ ! -e "$out/closed-by.txt" ]; then
      pid=$(pgrep -u root -x Vantrel | head -n 1)
      [ -n "$pid" ] && kill "$pid" && echo root > "$out/closed-by.txt"
    fi
    sleep 1
  done
  say "the session ended ($state)"
  journalctl -b --no-pager -o short-monotonic > "$out/journal.txt" 2>&1
  systemctl status "$unit" --no-pager > "$out/unit.txt" 2>&1
  tar -cf /dev/vdd -C "$out" . && sync
  say "results written"
}

# One slow-mode clone by Keldrun with its output sent as WAY says; prints the time its
# copy took in milliseconds, from its journal record. A raw copy (FAT32 as the file
# system): no NTFS completion after it, the copy alone is timed.
console_run() { # KELDRUN WAY ROUND
  local root=$VANTREL_SYSTEM_ROOT
  case $2 in
    tty1) printf '\n' | "$1" S: T: FAT32 1,2,3,4, 0 "$root/" >/dev/tty1 2>&1 ;;
    file) printf '\n' | "$1" S: T: FAT32 1,2,3,4, 0 "$root/" >"$root/out-$3.txt" 2>&1 ;;
    pipe) printf '\n' | "$1" S: T: FAT32 1,2,3,4, 0 "$root/" 2>&1 | cat >/dev/tty1 ;;
  esac
  grep -o 'The copy took [0-9]* ms' "$root/journal.log" | tail -n 1 | tr -dc 0-9
}

console() {
  local out=/run/vm-test-results keldrun round way
  mkdir -p "$out"
  keldrun=$(vantrel-reg query 'HKLM\Software\Tembric\Vantrel' /v Path | awk '/Path/ {print $3}')Keldrun.exe
  export VANTREL_SYSTEM_ROOT=/run/vm-console
  mkdir -p "$VANTREL_SYSTEM_ROOT"
  if ! { vantrel-mountvol S: /dev/vdb1 && vantrel-mountvol T: /dev/vdc1; }; then
    say "cannot give the partitions letters"
  fi
  # A first run untimed, so that every timed one reads the source from the page cache
  # alike; every line drawn takes minutes under emulation: through the pipe once only.
  console_run "$keldrun" file 0 >/dev/null
  for round in 1 2 3 4 5; do
    for way in tty1 file $([ "$round" = 5 ] && echo pipe); do
      echo "$round $way $(console_run "$keldrun" "$way" "$round")" | tee -a "$out/console-times.txt"
    done
  done
  cp "$VANTREL_SYSTEM_ROOT/out-1.txt" "$out/console-file-output.txt"
  unset VANTREL_SYSTEM_ROOT
  tar -cf /dev/vdd -C "$out" . && sync
  say "results written"
}

case $mode in
  schedule) schedule; systemctl poweroff ;;
  collect) collect; systemctl poweroff ;;
  session) session; systemctl poweroff ;;
  console) console; systemctl poweroff ;;
esac
