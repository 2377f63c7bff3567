#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, if
# any are missing. Sourced by the run and test scripts.
halvo_packages=(
  g++ cmake ninja-build pkg-config
  qtbase5-dev libqwt-qt5-dev qt5-style-plugin-plastique
  nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  libsensors-dev libpci-dev pci.ids libgpiod-dev libi2c-dev libsystemd-dev
  umockdev libumockdev-dev python3-dbusmock dbus
  libcpp-httplib-dev libboost-dev zlib1g-dev libssl-dev openssl libcurl4-openssl-dev libxml2-dev
  xvfb xauth
)

# What scripts/vm-test needs besides: QEMU, busybox for the VM's userland,
# iasl for its ACPI table and cpio for its initramfs.
halvo_vm_packages=(qemu-system-x86 busybox-static acpica-tools cpio)

# What scripts/package needs besides.
halvo_package_tools=(debhelper dpkg-dev fakeroot lintian desktop-file-utils)

# Installs the named packages, or halvo_packages without arguments.
halvo_install_deps() {
  local missing=() p wanted=("$@")
  ((${#wanted[@]} > 0)) || wanted=("${halvo_packages[@]}")
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# promtool (the metrics lint) ships in the prometheus package, whose
# installation would also enable and start a Prometheus server on this
# machine. Only the tool is needed, so it is unpacked from the package into
# .cache/deps, where the build looks for it.
halvo_fetch_promtool() {
  command -v promtool >/dev/null && return 0
  local dir=$PWD/.cache/deps
  [ -x "$dir/usr/bin/promtool" ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  rm -rf "$dir/download" && mkdir -p "$dir/download"
  echo "Fetching promtool from the prometheus package"
  if ! (cd "$dir/download" && apt-get download -qq prometheus 2>/dev/null); then
    "${sudo[@]}" apt-get update -qq
    (cd "$dir/download" && apt-get download -qq prometheus)
  fi
  dpkg-deb -x "$dir"/download/prometheus_*.deb "$dir/download/root"
  mkdir -p "$dir/usr/bin"
  cp "$dir/download/root/usr/bin/promtool" "$dir/usr/bin/promtool"
  rm -rf "$dir/download"
}
