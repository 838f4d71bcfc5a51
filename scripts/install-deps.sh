#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, when missing.
# Safe to run again; does nothing when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev libffi-dev libcli11-dev
  librsvg2-bin
  python3 python3-pyvisa-py locales
  python3-dev pybind11-dev python3-numpy python3-pytest
  libtirpc-dev rpcsvc-proto
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, so that the tests can show that numbers on the wire and in
# replies do not follow the client process's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 ||
    echo "note: could not generate the de_DE.UTF-8 locale; locale tests will be skipped"
fi
