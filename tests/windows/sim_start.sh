# Sourced by the Windows end-to-end scripts: the Linux emulated receiver ($sim) in the background.
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
