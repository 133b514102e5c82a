#!/bin/sh
# Runs a command on a session bus of its own, where the accessibility bus of at-spi2-core starts
# when a client asks for it, with Qt's accessibility bridge on whether or not a screen reader
# asked for it. Exits 77 (skipped) when dbus-run-session or the bus launcher is not installed.
command -v dbus-run-session >/dev/null 2>&1 || exit 77
[ -x /usr/libexec/at-spi-bus-launcher ] || exit 77
exec dbus-run-session -- env QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@"
