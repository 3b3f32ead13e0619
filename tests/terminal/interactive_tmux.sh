#!/usr/bin/env bash
# Drives interactive upgrades in a real terminal (a detached tmux session): the
# two-line question, the typed answer on the question's line, the closing
# message and the exit code; then Ctrl+C pressed during a slow flash (the write
# ends, the run stops before the next adapter), the terminal closed during one
# (the same, told by the log), and Ctrl+C at a question (the run ends at once).
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

# No process view of its own here: the instance check looks at processes only
# when the flash tool's lock file is in the run's own temporary folder, and a
# PID namespace would put a process between the terminal and the utility.
# Types the utility's command line into an interactive shell in the package
# folder, in a new session named kx, as an operator does: the shell runs it as
# a job, in the terminal's foreground process group. Then the exit code.
start() {
  # A session of its own keeps the server up while kx is replaced: a server
  # that exits as its last session goes can refuse the next new-session.
  tmux -L "$socket" has-session -t keep 2>/dev/null ||
    tmux -L "$socket" new-session -d -s keep "sleep 600"
  tmux -L "$socket" kill-session -t kx 2>/dev/null || true
  tmux -L "$socket" new-session -d -s kx -x 150 -y 60 -c "$scratch/package" \
    "env SystemDrive='$scratch/drive' TMPDIR='$scratch/tmp' ZADIROZ_SCENARIO=scenario.xml \
     bash --norc --noprofile -i"
  tmux -L "$socket" send-keys -t kx "'$program'" Enter
}
# Once the utility has said its last: its exit code, typed on a line of its
# own (a shell drops the rest of a line whose job Ctrl+C ended), so it reads
# as "EXIT=<code>" on the screen only when the shell runs it.
ask_exit_code() {
  tmux -L "$socket" send-keys -t kx 'echo "EXIT"="$?"' Enter
}
start

screen() { tmux -L "$socket" capture-pane -p -t kx | sed 's/[[:space:]]*$//'; }
wait_for() {
  for _ in $(seq 1 400); do
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
wait_for "NIC firmware update complete."
ask_exit_code
wait_for "EXIT="
screen | grep -qxF "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):y" || fail "typed answer"
screen | grep -qxF "MAC 02-5E-ED-AA-00-05 upgrade SUCCESS!" || fail "flash message"
screen | grep -qxF "NIC firmware update complete." || fail "closing message"
screen | grep -qxF "EXIT=2" || fail "exit code"
grep -qxF -- "-flashsupport -i 5:0.0 -a p3p_rom.bin" "$scratch/package/zadiroz-calls.txt" ||
  fail "flash call"
echo "interactive run in a terminal: ok"

# Ctrl+C while the first of two adapters is flashed (the tool takes three
# seconds): that write ends and is reported, the second adapter is left.
cat >"$scratch/package/scenario.xml" <<'XML'
<zadiroz_scenario flash_version="4.0.534">
  <adapter device_id="NIC 5" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D"
           macaddress="02-5E-ED-AA-00-05" product_id="P3P Q4T" busnumber="5"
           devicenumber="0" funcnumber="0" firmware_id="4.0.520" version="4.0.520"/>
  <adapter device_id="NIC 6" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D"
           macaddress="02-5E-ED-AA-00-06" product_id="P3P Q4T" busnumber="6"
           devicenumber="0" funcnumber="0" firmware_id="4.0.520" version="4.0.520"/>
  <operation name="flash" location="5:0.0" sleep_ms="3000"/>
</zadiroz_scenario>
XML
rm -f "$scratch/package/zadiroz-calls.txt" "$scratch/package/zadiroz-state.txt"
start
wait_for "y/n/q/c (y):"
tmux -L "$socket" send-keys -t kx "y" Enter
wait_for "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):y"
tmux -L "$socket" send-keys -t kx "y" Enter
wait_for "Selecting P3P Q4T MAC: 02-5E-ED-AA-00-05"
sleep 0.5
tmux -L "$socket" send-keys -t kx C-c
wait_for "Interrupt received: a firmware write is in progress. The run will stop after it."
screen | grep -qF "MAC 02-5E-ED-AA-00-05 upgrade SUCCESS!" && fail "the notice came after the write"
wait_for "NIC firmware update completed with errors."
ask_exit_code
wait_for "EXIT="
screen | grep -qxF "MAC 02-5E-ED-AA-00-05 upgrade SUCCESS!" || fail "first adapter's result"
screen | grep -qxF "Run stopped by the interrupt. Adapters left as they were: 02-5E-ED-AA-00-06 (6:0.0)" ||
  fail "adapters left"
screen | grep -qxF "NIC firmware update completed with errors." || fail "closing message after Ctrl+C"
screen | grep -qxF "EXIT=0" || fail "exit code after Ctrl+C"
grep -qxF "5:0.0=4.0.534" "$scratch/package/zadiroz-state.txt" || fail "the first adapter was not flashed"
grep -qF -- "-i 6:0.0" "$scratch/package/zadiroz-calls.txt" && fail "the second adapter was flashed"

# The terminal closed during that flash (a dropped session): the same, and the
# log tells it.
rm -f "$scratch/package/zadiroz-calls.txt" "$scratch/package/zadiroz-state.txt"
log="$scratch/drive/zpxsystem/log/veskor.log"
log_lines=$(wc -l <"$log")
start
wait_for "y/n/q/c (y):"
tmux -L "$socket" send-keys -t kx "y" Enter
wait_for "From ROM 4.0.520 to 4.0.534?  y/n/q/c (y):y"
tmux -L "$socket" send-keys -t kx "y" Enter
wait_for "Selecting P3P Q4T MAC: 02-5E-ED-AA-00-05"
sleep 0.5
tmux -L "$socket" kill-server
for _ in $(seq 1 200); do
  tail -n +"$((log_lines + 1))" "$log" | grep -q "^Exiting with code" && break
  sleep 0.05
done
closed=$(tail -n +"$((log_lines + 1))" "$log")
grep -qxF "Run stopped by the interrupt. Adapters left as they were: 02-5E-ED-AA-00-06 (6:0.0)" \
  <<<"$closed" || { echo "FAIL: log after the terminal closed"; echo "$closed"; exit 1; }
grep -qxF "Exiting with code 0" <<<"$closed" || { echo "FAIL: exit code after the terminal closed"; exit 1; }
grep -qxF "5:0.0=4.0.534" "$scratch/package/zadiroz-state.txt" || fail "not flashed after the terminal closed"

# Ctrl+C at a question ends the run at once, as it always has.
rm -f "$scratch/package/zadiroz-calls.txt" "$scratch/package/zadiroz-state.txt"
start
wait_for "y/n/q/c (y):"
tmux -L "$socket" send-keys -t kx C-c
sleep 0.5
ask_exit_code
wait_for "EXIT="
screen | grep -qxF "EXIT=130" || fail "exit code of Ctrl+C at a question"
grep -qF -- "-i " "$scratch/package/zadiroz-calls.txt" && fail "flashed after Ctrl+C at a question"
echo "Ctrl+C during a flash, the terminal closed during one, Ctrl+C at a question: ok"
