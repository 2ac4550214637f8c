#!/usr/bin/env bash
# The Debian package as a system gets it: lintian's verdict, and its files unpacked into a
# temporary root (dpkg-deb -x), run and validated from there. Usage: check_deb.sh DIST_DIR
kind=deb
source "$(dirname "$0")/common.sh"
deb=$1/tesqua_${version}_amd64.deb
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# Errors and warnings fail; tags left on purpose are overridden in packaging/lintian-overrides.
check "lintian" lintian --fail-on error,warning "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies from the binaries: $depends" \
  grep -q 'libc6 (>= [0-9.]*).*libqt6widgets6 (>= [0-9.]*)' <<<"$depends"
check "recommends a Chinese font" same "$(dpkg-deb -f "$deb" Recommends)" \
  "fonts-noto-cjk | fonts-wqy-microhei | fonts-arphic-uming"

dpkg-deb -x "$deb" "$root"
cd "$root" || exit 1
metainfo=usr/share/metainfo/example.xuvo.tesqua.metainfo.xml
for file in usr/bin/tesqua usr/bin/tesqua-scan usr/share/applications/tesqua.desktop \
  "$metainfo" usr/share/man/man1/tesqua.1.gz usr/share/man/man1/tesqua-scan.1.gz \
  usr/share/doc/tesqua/copyright usr/share/doc/tesqua/changelog.gz; do
  check "$file" test -s "$file"
done
check "the icons" same "$(identify -format '%wx%h ' usr/share/icons/hicolor/*/apps/tesqua.png)" \
  "128x128 256x256 32x32 48x48 64x64 "
check "--version" same "$(usr/bin/tesqua --version; usr/bin/tesqua-scan --version)" \
  "tesqua $version"$'\n'"tesqua-scan $version"
check "tesqua-scan scans" same "$(usr/bin/tesqua-scan "$top/examples/zig_peak.txt"; echo "$?")" \
  $'\r\n注意：发现未来函数ZIG！\r\n注意：发现未来函数PEAK！\r\n注意：发现未来函数DVOL！\n1'
# The manual page is tesqua-scan's own --help, with the sections that --help has no room for,
# and nothing that groff warns about.
man_page=usr/share/man/man1/tesqua-scan.1.gz
check "the manual page of tesqua-scan" same "$(zgrep -cxE \
  '\.SH "?(OPTIONS|EXIT STATUS|FILES|EXAMPLES|SEE ALSO)"?|\\fB\\-r\\fR, \\fB\\-\\-recursive\\fR' "$man_page")" 6
check "the manual page, as man shows it" same "$(MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null)" ""
check "desktop-file-validate" desktop-file-validate usr/share/applications/tesqua.desktop
check "the menu entry starts tesqua, with its icon, without a terminal" same "$(grep -cxE \
  'Type=Application|Exec=tesqua --config-folder|Icon=tesqua|Terminal=false' \
  usr/share/applications/tesqua.desktop)" 4
mkdir "$root/home" && printf 'MA\r\n' >"$root/home/code.ini"
menu_command=$(sed -n 's/^Exec=//p' usr/share/applications/tesqua.desktop)
check "the menu entry's folder, ~/.config/tesqua/, where the home folder's code.ini moves" same \
  "$(cd "$root/home" && env -u DISPLAY HOME="$root/home" XDG_CONFIG_HOME="$root/config" \
    PATH="$root/usr/bin:$PATH" sh -c "exec $menu_command" 2>/dev/null
    echo "$?" && cat "$root/config/tesqua/code.ini" && ls -A "$root/home")" $'1\nMA\r'
check "appstreamcli validate" appstreamcli validate --no-net --pedantic "$metainfo"
[ "$failures" -eq 0 ]
