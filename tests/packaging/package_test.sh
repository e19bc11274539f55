#!/usr/bin/env bash
# The Debian package, built, checked by lintian and unpacked into a scratch root.
#   package_test.sh build   CPACK_CONFIG OUT_DIR VERSION
#   package_test.sh lintian DEB
#   package_test.sh install DEB VERSION VERSION_STRING BUILT_KORVANI SAMPLES WITH_GUI
# Exit 77 (skipped) when a tool the check needs is not installed.
set -euo pipefail
need() {
  command -v "$1" >/dev/null && return
  echo "SKIP: $1 is not installed ($2)"
  exit 77
}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

case $1 in
build)
  config=$2 out=$3 version=$4
  need dpkg-shlibdeps dpkg-dev
  rm -rf "$out"
  cpack --config "$config" -B "$out" >"$out.log" 2>&1 || { cat "$out.log"; exit 1; }
  deb="$out/korvani_${version}_$(dpkg --print-architecture).deb"
  [ -f "$deb" ] || { cat "$out.log"; echo "FAIL: no $deb"; exit 1; }
  ;;

lintian)
  need lintian lintian
  # Warnings fail the check as errors do: each one is either mended or explained in an override.
  lintian --fail-on error,warning --info "$2"
  ;;

install)
  deb=$2 version=$3 version_string=$4 built=$5 samples=$6 with_gui=$7
  need dpkg-deb dpkg
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root"

  files=(
    usr/bin/korvani
    usr/share/man/man1/korvani.1.gz
    usr/share/bash-completion/completions/korvani
    usr/share/zsh/vendor-completions/_korvani
    usr/share/doc/korvani/copyright
    usr/share/doc/korvani/changelog.gz
  )
  if [ "$with_gui" = ON ]; then
    files+=(
      usr/bin/korvani-gui
      usr/share/man/man1/korvani-gui.1.gz
      usr/share/applications/korvani.desktop
      usr/share/applications/korvani-mail.desktop
      usr/share/icons/hicolor/scalable/apps/korvani.svg
      usr/share/icons/hicolor/16x16/apps/korvani.png
      usr/share/icons/hicolor/32x32/apps/korvani.png
      usr/share/icons/hicolor/scalable/apps/korvani-mail.svg
      usr/share/icons/hicolor/16x16/apps/korvani-mail.png
      usr/share/icons/hicolor/32x32/apps/korvani-mail.png
      usr/share/bash-completion/completions/korvani-gui
      usr/share/zsh/vendor-completions/_korvani-gui
      usr/share/metainfo/org.example.korvani.metainfo.xml
      usr/share/metainfo/org.example.korvani.mail.metainfo.xml
      usr/share/korvani/screenshots/korvani-gui.png
      usr/share/korvani/screenshots/korvani-mail.png
    )
  fi
  for file in "${files[@]}"; do
    [ -s "$root/$file" ] || fail "the package lacks /$file"
  done

  # One version everywhere: the package's, the programs', the man pages' and the metadata's.
  # The version string is the built program's own: making the package may have rebuilt it with a
  # newer commit than the one this test was configured with.
  version_string=$("$built" --version)
  version_string=${version_string#korvani }
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
  got=$("$root/usr/bin/korvani" --version)
  [ "$got" = "korvani $version_string" ] || fail "korvani --version said '$got'"
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    zcat "$page" | grep -q "^\.TH .*\"Korvani $version_string\"" ||
      fail "$(basename "$page") does not carry $version_string"
  done
  zcat "$root/usr/share/doc/korvani/changelog.gz" | head -1 | grep -qF "korvani ($version)" ||
    fail "the changelog does not start with $version"
  if [ "$with_gui" = ON ]; then
    got=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/korvani-gui" --version 2>/dev/null)
    [ "$got" = "korvani-gui $version_string" ] || fail "korvani-gui --version said '$got'"
    for metainfo in "$root"/usr/share/metainfo/*.metainfo.xml; do
      grep -qF "<release version=\"$version\"" "$metainfo" ||
        fail "$(basename "$metainfo"): release is not $version"
    done
    # The dialog's screenshot as a Japanese user sees it: in IPAPGothic, at its designed size.
    file "$root/usr/share/korvani/screenshots/korvani-gui.png" | grep -q ', 464 x 332,' ||
      fail "the dialog's screenshot is not 464x332"
    # What the programs need is named; what they run without is recommended.
    depends=$(dpkg-deb -f "$deb" Depends) recommends=$(dpkg-deb -f "$deb" Recommends)
    for package in qt6-qpa-plugins xdg-utils; do
      [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
    done
    for package in fonts-ipafont-gothic qt6-translations-l10n; do
      [[ ", $recommends," == *", $package"[\ ,]* ]] || fail "Recommends lacks $package"
      [[ ", $depends," != *", $package"[\ ,]* ]] || fail "Depends names $package"
    done
    dpkg-deb -f "$deb" Description | grep -q 'mail window' ||
      fail "the package description does not name the mail window"
  fi
  ! dpkg-deb -f "$deb" Homepage | grep -q example || fail "the package names a placeholder homepage"

  # One conversion by the installed program gives what the build's program gives.
  for run in installed:"$root/usr/bin/korvani" built:"$built"; do
    "${run#*:}" text-decode "$samples/memo-utf8.b64" --encoding base64 --charset utf-8 \
      -o "$root/${run%%:*}.txt" || fail "${run#*:} text-decode failed"
  done
  [ -s "$root/installed.txt" ] && cmp -s "$root/installed.txt" "$root/built.txt" ||
    fail "the installed korvani converted differently"
  ;;
esac

[ "$failures" -eq 0 ]
