#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (or the packages named as
# arguments), and only those that are missing, so that it is quick when everything is there;
# then, without arguments, generates the ja_JP.UTF-8 locale the desktop tests and screenshots run
# under, unless it is there. Not root: prints the commands to run and fails.
set -euo pipefail

# The locale as `locale -a` lists it, and its line in /etc/locale.gen.
japanese_locale=ja_JP.utf8
japanese_locale_line="ja_JP.UTF-8 UTF-8"
have_japanese_locale() { locale -a 2>/dev/null | grep -qx "$japanese_locale"; }
generate_japanese_locale() {
  have_japanese_locale && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "The ja_JP.UTF-8 locale is missing. Generate it with:" >&2
    echo "  sudo sed -i 's/^# *$japanese_locale_line/$japanese_locale_line/' /etc/locale.gen && sudo locale-gen" >&2
    return 1
  fi
  echo "Generating the ja_JP.UTF-8 locale"
  grep -qx "$japanese_locale_line" /etc/locale.gen 2>/dev/null ||
    { sed -i "s/^# *$japanese_locale_line\$/$japanese_locale_line/" /etc/locale.gen 2>/dev/null || true; }
  grep -qx "$japanese_locale_line" /etc/locale.gen 2>/dev/null ||
    echo "$japanese_locale_line" >>/etc/locale.gen
  locale-gen >/dev/null
}

packages=("$@")
with_locale=$([ $# -eq 0 ] && echo yes || echo no)
[ ${#packages[@]} -gt 0 ] || packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  qt6-base-dev fonts-ipafont-gothic
  fonts-noto-cjk qt6-translations-l10n
  clang libclang-rt-14-dev clang-format clang-tidy
  dpkg-dev file lintian scdoc man-db bash-completion zsh appstream desktop-file-utils
  libgmime-3.0-dev libxml2-dev libuchardet-dev libytnef0-dev nlohmann-json3-dev
  gettext locales
  libarchive-dev zip libarchive-tools
  poppler-utils parallel
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Some packages are missing. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ "$with_locale" = no ] || generate_japanese_locale
