#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent; run as root.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format
  clang libclang-rt-14-dev  # the tree builds with clang too; libFuzzer for the fuzz targets
  libgtest-dev libgmock-dev libbenchmark-dev
  # libraries
  zlib1g-dev libdeflate-dev libarchive-dev libcurl4-openssl-dev libsqlite3-dev libpam0g-dev
  libjpeg62-turbo-dev libvorbis-dev libogg-dev libiscsi-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # test tools
  zip unzip p7zip-full libarchive-tools desktop-file-utils shared-mime-info
  python3 python3-pyftpdlib python3-aiosmtpd python3-gi  # GLib reads autostart entries in tests
  tgt libiscsi-bin xorriso genisoimage libcdio-utils bchunk
  sox vorbis-tools ffmpeg xvfb libpam-wrapper
  iat mdf2iso  # raw images with subchannel (the grabbed CD images)
  vcdimager  # vcd-info: VideoCD and Super VideoCD discs
  udftools python3-pycdlib dvdauthor lsdvd
  # sector coding references
  libfec-dev python3-crcmod
  findutils coreutils time bc sqlite3  # the registry tests look into the database
  xdg-user-dirs  # xdg-user-dir answers where the special folders lie
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (run as root): ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"
