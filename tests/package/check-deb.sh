#!/usr/bin/env bash
# Checks the Debian package in build dir $1 without installing it: its files, its metadata, lintian,
# and the programs in it, run from where they were unpacked.
set -euo pipefail
deb=$(ls "$1"/rivir_*_*.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
fail() { echo "check-deb: $*" >&2; exit 1; }

deps=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6dbus6 libsystemd0; do [[ $deps == *$lib* ]] || fail "dpkg-shlibdeps did not find $lib"; done
for f in bin/rivir bin/toc-cli bin/tocd share/applications/net.dorvi.Rivir.desktop \
    share/metainfo/net.dorvi.Rivir.metainfo.xml lib/systemd/user/toc-cli@.service \
    share/man/man1/{rivir,toc-cli,tocd}.1.gz share/icons/hicolor/{16x16,32x32,48x48,256x256}/apps/rivir.png \
    share/doc/rivir/copyright share/doc/rivir/changelog.gz; do
    [ -s "$work/usr/$f" ] || fail "missing: /usr/$f"
done
lintian --fail-on error "$deb"
desktop-file-validate "$work"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$work"/usr/share/metainfo/*.xml
cp "$work/usr/lib/systemd/user/toc-cli@.service" "$work/toc-cli@check.service"
XDG_RUNTIME_DIR=$work systemd-analyze --user --man=no verify "$work/toc-cli@check.service"

[ "$(env -u DISPLAY "$work/usr/bin/rivir" --version)" = "rivir $(dpkg-deb -f "$deb" Version)" ] || fail "rivir --version"
"$work/usr/bin/toc-cli" --help | grep -- '--attach <PATH>' >/dev/null || fail "toc-cli --help"
grep -qx 'License: Expat' "$work/usr/share/doc/rivir/copyright" || fail "copyright names no licence"
grep -q '<project_license>MIT</project_license>' "$work"/usr/share/metainfo/*.xml || fail "metainfo licence"
grep -q -- '--control "%t/toc-cli/%i.sock" --log-dir "%S/toc-cli/%i"' "$work/toc-cli@check.service" || fail "unit"
"$work/usr/bin/tocd" --help | grep -- '--bot NAME' >/dev/null || fail "tocd --help"
echo "check-deb: $(basename "$deb") is complete"
