# Sourced by the Windows end-to-end scripts: their work folder and the Linux emulated receiver
# ($sim) in the background.
#
# Sourcing makes the work folder ($work) and removes it at exit with the receiver stopped. A
# script with more to undo sets its own EXIT trap and calls end_sim_run from it.
work=$(mktemp -d)
sim_pid=""
end_sim_run() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap end_sim_run EXIT

# start_sim OUT ARGS...: penwick-sim with ARGS, its output in OUT. Waits (at most 10 s) until its
# first line is whole, since a line read while the receiver still writes it may hold half a port
# number; then sets sim_pid, sim_line and, for a USB/IP receiver, sim_usbip (host:port).
start_sim() {
  local out=$1
  shift
  "$sim" "$@" >"$out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do [ "$(wc -l <"$out")" -ge 1 ] && break; sleep 0.1; done
  sim_line=$(head -n1 "$out")
  sim_usbip=$(sed -n 's/^USBIP \([^ ]*:[0-9]*\) .*/\1/p' <<<"$sim_line")
}
