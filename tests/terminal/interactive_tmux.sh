#!/usr/bin/env bash
# Drives one interactive upgrade in a real terminal (a detached tmux session):
# the two-line question, the typed answer on the question's line, the closing
# message and the exit code.
#   interactive_tmux.sh <KXVaReviv> <examples dir>
# Exit code 77 (skipped) when tmux is not installed.
set -euo pipefail

program=$1
examples=$2
command -v tmux >/dev/null 2>&1 || { echo "tmux not installed: skipped"; exit 77; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kx-tmux.XXXXXX")
socket="kx-tmux-$$"
cleanup() {
  tmux -L "$socket" kill-server 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$scratch/package" "$scratch/drive" "$scratch/tmp"
cp "$examples/ZOVOREruz.xml" "$examples/p3p_rom.bin" "$scratch/package/"
cat >"$scratch/package/scenario.xml" <<'XML'
<zadiroz_scenario flash_version="4.0.534">
  <adapter device_id="NIC 5" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D"
           macaddress="02-5E-ED-AA-00-05" product_id="P3P Q4T" busnumber="5"
           devicenumber="0" funcnumber="0" firmware_id="4.0.520" version="4.0.520"/>
</zadiroz_scenario>
XML

# The run sees only its own processes (a flash tool that runs elsewhere on the
# machine must not refuse it): a PID namespace with its own /proc, in a user
# namespace when not root, where the system allows either.
view=""
for candidate in "unshare --pid --fork --mount-proc" \
                 "unshare --user --map-current-user --pid --fork --mount-proc"; do
  if $candidate true 2>/dev/null; then view=$candidate; break; fi
done

tmux -L "$socket" new-session -d -s kx -x 150 -y 60 \
  "cd '$scratch/package' && SystemDrive='$scratch/drive' TMPDIR='$scratch/tmp' \
   ZADIROZ_SCENARIO=scenario.xml $view '$program'; echo \"EXIT=\$?\"; sleep 60"

screen() { tmux -L "$socket" capture-pane -p -t kx | sed 's/[[:space:]]*$//'; }
wait_for() {
  for _ in $(seq 1 200); do
    if screen | grep -qF -- "$1"; then return 0; fi
    sleep 0.05
  done
  echo "timed out waiting for: $1"
  screen
  return 1
}
fail() { echo "FAIL: $1"; screen; exit 1; }

wait_for "y/n/q/c (y):"
# The question takes two lines: the adapter, then both versions and the suffix.
screen | grep -qxF "Update firmware on 'NIC 5' (5:0.0) :" || fail "first question line"
screen | grep -qxF "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):" || fail "second question line"

tmux -L "$socket" send-keys -t kx "y" Enter
wait_for "EXIT="
screen | grep -qxF "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):y" || fail "typed answer"
screen | grep -qxF "MAC 02-5E-ED-AA-00-05 upgrade SUCCESS!" || fail "flash message"
screen | grep -qxF "NIC firmware update complete." || fail "closing message"
screen | grep -qxF "EXIT=2" || fail "exit code"
grep -qxF -- "-flashsupport -i 5:0.0 -a p3p_rom.bin" "$scratch/package/zadiroz-calls.txt" ||
  fail "flash call"
echo "interactive run in a terminal: ok"
