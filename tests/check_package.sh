#!/usr/bin/env bash
# The Debian package holds what a user of the tool expects, where Debian puts
# it, and names the libraries and fonts it needs.
# Usage: check_package.sh PACKAGE.deb
set -euo pipefail
package="$1"
contents="$(dpkg-deb -c "$package" | awk '{print $6}')"
info="$(dpkg-deb -I "$package")"
status=0
for program in ostrel-serial-capture ostrel-capture ostrel-replay ostrel-demo-host ostrel-send; do
    for file in "./usr/bin/$program" "./usr/share/man/man1/$program.1.gz" \
                "./usr/share/bash-completion/completions/$program"; do
        grep -qxF "$file" <<<"$contents" || { echo "missing: $file"; status=1; }
    done
done
for file in ./usr/share/doc/ostrel-serial-capture/copyright ./usr/share/doc/ostrel-serial-capture/changelog.gz \
            ./usr/share/applications/ostrel-serial-capture.desktop \
            ./usr/share/icons/hicolor/scalable/apps/ostrel-serial-capture.svg \
            ./usr/lib/systemd/system/ostrel-capture@.service; do
    grep -qxF "$file" <<<"$contents" || { echo "missing: $file"; status=1; }
done
for needed in libqt6core6 libqt6widgets6 libqt6serialport6 libzint fonts-terminus-otb; do
    grep -q "^ Depends:.*$needed" <<<"$info" || { echo "Depends lacks $needed"; status=1; }
done
grep -q '^ Maintainer: .*<.*@.*>' <<<"$info" && ! grep -q '@localhost' <<<"$info" ||
    { echo "no real maintainer"; status=1; }
# Lintian, where it is installed: no errors.
if command -v lintian >/dev/null; then
    errors="$(lintian "$package" 2>/dev/null | grep '^E:' || true)"
    [ -z "$errors" ] || { echo "lintian: $errors"; status=1; }
fi
unit="$(dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/lib/systemd/system/ostrel-capture@.service)"
grep -q '^ExecStart=/usr/bin/ostrel-capture ' <<<"$unit" || { echo "the unit does not run /usr/bin/ostrel-capture"; status=1; }
[ $status -eq 0 ] && echo "package contents and dependencies as expected: $package"
exit $status
