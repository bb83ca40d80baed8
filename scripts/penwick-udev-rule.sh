#!/usr/bin/env bash
# Writes the udev rule that lets the logged-in user open the receivers listed in
# PENWICK_USB_IDS (vvvv:pppp[,vvvv:pppp...], hexadecimal) without root, then reloads udev.
# Run as root:  sudo PENWICK_USB_IDS=1234:5678 scripts/penwick-udev-rule.sh (installed as
# penwick-udev-rule; the build also copies it to build/bin/penwick-udev-rule).
# With --print the rule is written to standard output instead (nothing is installed).
set -euo pipefail
rules=/etc/udev/rules.d/70-penwick.rules
version=unreleased # an installed copy carries the project's version here
case "${1:-}" in
--help)
  cat <<EOF
Usage: PENWICK_USB_IDS=vvvv:pppp[,vvvv:pppp...] penwick-udev-rule [--print]

Writes the udev rule that lets the logged-in user open the receivers whose USB ids
PENWICK_USB_IDS lists (hexadecimal) without root, and reloads udev. Run it as root.
"PenwickUpload --list" shows the ids of a receiver that is plugged in.

Options:
  --print      write the rule to standard output instead (nothing is installed)
  --help       show this text and exit
  --version    show the version and exit

Environment:
  PENWICK_USB_IDS  the receivers' ids, vvvv:pppp, comma separated

Exit status:
  0  the rule was written (or printed)
  1  not run as root
  2  PENWICK_USB_IDS is empty or names no valid id

Example:
  sudo PENWICK_USB_IDS=1234:5678 penwick-udev-rule
EOF
  exit 0
  ;;
--version)
  echo "penwick-udev-rule $version"
  exit 0
  ;;
esac
ids=${PENWICK_USB_IDS:-}
if [[ -z "$ids" ]]; then
  echo "PENWICK_USB_IDS is empty: name the receiver ids, e.g. PENWICK_USB_IDS=1234:5678" >&2
  exit 2
fi
rule=$(
  echo "# Receivers for the Penwick tools (written by penwick-udev-rule.sh)."
  IFS=','
  for item in $ids; do
    item=${item//[[:space:]]/}
    [[ -z "$item" ]] && continue
    if [[ ! "$item" =~ ^(0[xX])?([0-9a-fA-F]{1,4}):(0[xX])?([0-9a-fA-F]{1,4})$ ]]; then
      echo "ignoring \"$item\" (not vvvv:pppp)" >&2
      continue
    fi
    vendor=$(printf '%04x' "0x${BASH_REMATCH[2]}")
    product=$(printf '%04x' "0x${BASH_REMATCH[4]}")
    echo "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"$vendor\", ATTR{idProduct}==\"$product\", MODE=\"0660\", TAG+=\"uaccess\""
  done
)
if [[ "$(grep -c '^SUBSYSTEM' <<<"$rule")" -eq 0 ]]; then
  echo "no valid id in PENWICK_USB_IDS" >&2
  exit 2
fi
if [[ "${1:-}" == "--print" ]]; then
  echo "$rule"
  exit 0
fi
if [[ "$(id -u)" -ne 0 ]]; then
  echo "run as root (sudo) to write $rules, or use --print" >&2
  exit 1
fi
echo "$rule" >"$rules"
udevadm control --reload-rules
udevadm trigger --subsystem-match=usb
echo "wrote $rules; unplug and plug the receiver in again"
