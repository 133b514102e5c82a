#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs (run as root).
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev qt6-translations-l10n fonts-liberation fonts-dejavu-core
    libssl-dev openssl libengine-gost-openssl libp11-kit-dev softhsm2 opensc
    libcurl4-openssl-dev curl zlib1g-dev nlohmann-json3-dev libsystemd-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    libcpp-httplib-dev tinyproxy
    libx11-dev x11-xkb-utils
    xvfb xauth xdg-utils weston qt6-wayland
    dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
    libnss3-tools dbus python3-dbus
    gettext locales
    dpkg-dev file lintian desktop-file-utils appstream debootstrap
)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The tests run the tool and the window under English and Russian locales.
for locale in en_US.UTF-8 ru_RU.UTF-8; do
    if ! locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf8}"; then
        sed -i "s/^# *${locale} UTF-8/${locale} UTF-8/" /etc/locale.gen
        grep -q "^${locale} UTF-8" /etc/locale.gen || echo "${locale} UTF-8" >>/etc/locale.gen
        need_locale_gen=1
    fi
done
if [ -n "${need_locale_gen:-}" ]; then
    locale-gen
fi
