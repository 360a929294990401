#!/usr/bin/env bash
# Installs the Debian packages of the lists given (files of one package a line, e.g.
# scripts/packages-run.txt scripts/packages.txt); with none, what building and running need
# (scripts/packages-run.txt). Only the packages missing are asked of apt.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
(($#)) || set -- "$here/packages-run.txt"
mapfile -t packages < <(cat "$@" | grep -v '^\s*#' | sed '/^\s*$/d' | sort -u)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
else
  echo "all ${#packages[@]} packages already installed"
fi
