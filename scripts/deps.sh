#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages Corvix needs to build, test, package and run, skipping what is
# there.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          xvfb xauth fonts-noto-cjk
          # serial servers and the PDF report's checks
          ser2net poppler-utils
          # manual pages, icons, the Debian package (dpkg-shlibdeps) and its checks
          scdoc librsvg2-bin dpkg-dev desktop-file-utils appstream lintian
          shared-mime-info xdg-utils libfile-mimeinfo-perl
          # the text form of a project and spreadsheets, and their independent checks
          nlohmann-json3-dev libxlsxwriter-dev git python3-jsonschema python3-openpyxl xlsx2csv
          # a fast first parse of a project's text (nlohmann parses what it refuses)
          libsimdjson-dev
          # the settings history (a git repository written through libgit2)
          libgit2-dev
          # the capture files' dissector and live capture, checked with the real tshark
          tshark
          # listing a window's accessible tree (scripts/a11y-tree.py)
          python3-pyatspi at-spi2-core)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
