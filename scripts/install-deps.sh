#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (or the packages named as
# arguments), and only those that are missing, so that it is quick when everything is there.
# Not root: prints the command to run and fails.
set -euo pipefail

packages=("$@")
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
  parallel
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Some packages are missing. Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
