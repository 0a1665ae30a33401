#!/usr/bin/env bash
# Installs the Debian packages Orvanta builds and tests with. Idempotent: when every package is
# installed it does nothing and needs no root; otherwise it refreshes the package lists and
# installs only what is missing. Names are real package names, never virtual ones (dpkg-query
# knows only real packages, so a virtual name would look missing on every run).
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins qt6-svg-dev
  libdcmtk-dev dcmtk libopenjp2-7-dev libopenjp2-tools
  libsqlite3-dev sqlite3 libtinyxml-dev libstb-dev libqrencode-dev
  libcurl4-openssl-dev libssl-dev nlohmann-json3-dev libcpp-httplib-dev
  gettext fonts-noto-cjk fonts-liberation fonts-dejavu-core xvfb xauth
  python3-pydicom libgdcm-tools orthanc dicom3tools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Installing needs root: run as root  apt-get install ${missing[*]}" >&2
    exit 1
  fi
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
# Orthanc's package starts a system service; our tests start their own instances.
if command -v systemctl >/dev/null 2>&1; then $sudo systemctl disable --now orthanc >/dev/null 2>&1 || true; fi
$sudo service orthanc stop >/dev/null 2>&1 || true
