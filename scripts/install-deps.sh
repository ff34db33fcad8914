#!/usr/bin/env bash
# Installs the Debian packages the build, the program and its tests need, when missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-qpa-plugins
    libmagick++-dev imagemagick liblcms2-dev
    libcurl4-openssl-dev libssh2-1-dev libssl-dev
    python3 python3-pyftpdlib python3-openssl python3-paramiko openssl openssh-client
    proftpd-core proftpd-mod-crypto
    # What the vsftpd unpacked below needs: its libraries and PAM's pam_unix.
    libwrap0 libpam0g libpam-modules libcap2 libssl3
    clang-format
    clang libclang-rt-14-dev
    desktop-file-utils appstream dpkg-dev util-linux
    xvfb xauth dbus-x11 at-spi2-core python3-pyatspi xdotool x11-utils
    # Web copies are checked with real tools: exiftool reads the metadata back, colord's
    # profiles (Adobe RGB, sRGB) make wide-gamut photos, littleCMS's transicc converts colours.
    libimage-exiftool-perl colord-data liblcms2-utils
    # Gallery pages: zlib for the compressed text of PNG photos; html5lib checks the pages, and
    # headless Chromium, driven through chromedriver by Selenium, opens them as a visitor does.
    zlib1g-dev python3-html5lib chromium chromium-driver python3-selenium
)
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(lftp)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    apt-get update
    # The tests start proftpd themselves, on 127.0.0.1 with a configuration of their own. The
    # package would start a system daemon on port 21 and enable it at boot: a policy-rc.d that
    # refuses keeps it from starting while it installs, and the unit is disabled afterwards.
    guard=""
    if [[ " ${missing[*]} " == *" proftpd-core "* && ! -e /usr/sbin/policy-rc.d ]]; then
        guard=/usr/sbin/policy-rc.d
        trap 'rm -f "$guard"' EXIT
        printf '#!/bin/sh\nexit 101\n' >"$guard"
        chmod 755 "$guard"
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    if [[ -n "$guard" ]]; then
        rm -f "$guard"
        trap - EXIT
    fi
    # deb-systemd-helper does nothing outside a package's scripts; systemctl works without a
    # running systemd too.
    if [[ " ${missing[*]} " == *" proftpd-core "* ]] && command -v systemctl >/dev/null; then
        systemctl disable proftpd.service || echo "Could not disable proftpd.service; disable it by hand." >&2
    fi
fi

# The tests also start vsftpd, with a configuration of their own. Its package conflicts with
# proftpd-core (both provide ftp-server; installing one removes the other), so the program alone
# is unpacked from it into /usr/local/sbin: no system daemon is set up or started.
if [[ ! -x /usr/sbin/vsftpd && ! -x /usr/local/sbin/vsftpd ]]; then
    echo "Unpacking vsftpd into /usr/local/sbin"
    unpacked=$(mktemp -d)
    (
        cd "$unpacked"
        apt-get download vsftpd || { apt-get update && apt-get download vsftpd; }
        dpkg-deb -x vsftpd_*.deb root
    )
    install -m 755 "$unpacked/root/usr/sbin/vsftpd" /usr/local/sbin/vsftpd
    rm -rf "$unpacked"
fi
