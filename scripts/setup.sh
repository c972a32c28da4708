#!/usr/bin/env bash
# Makes a Debian 12 machine ready to build and test: installs the packages of
# scripts/packages.txt that are missing (a name ending in ":i386" first adds
# that architecture to dpkg, for 32-bit Wine) and, for the Windows tests, the
# ko_KR.UTF-8 and en_US.UTF-8 locales Wine takes its code page and language from.
#
#   bash scripts/setup.sh [main|all]   (default: all; main: only what scripts/main-job.sh needs)
#
# Installing needs root; anyone else is told what is missing and the script fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
profile=${1:-all}
case "$profile" in main | all) ;; *) echo "setup: unknown profile '$profile' (main or all)" >&2; exit 2 ;; esac

# The package names of the chosen profile: [main] always, the rest for "all".
packages=()
section=""
while read -r line; do
  line=${line%%#*}
  read -r word _ <<<"$line" || true
  [[ -z ${word:-} ]] && continue
  if [[ $word =~ ^\[(.*)\]$ ]]; then
    section=${BASH_REMATCH[1]}
  elif [[ $section == main || $profile == all ]]; then
    packages+=("$word")
  fi
done <"$root/scripts/packages.txt"

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

# Wine takes its code page and user-interface language from the locale: the
# tests run in Korean (code page 949) and in English.
missing_locales=()
if [[ $profile == all ]]; then
  for locale in ko_KR en_US; do
    locale -a 2>/dev/null | grep -qix "${locale}.utf8" || missing_locales+=("$locale")
  done
fi
need_locale=false
((${#missing_locales[@]} > 0)) && need_locale=true

# The foreign architectures that missing packages name ("wine32:i386") and
# dpkg does not know yet.
missing_arches=()
for package in "${missing[@]}"; do
  [[ $package == *:* ]] || continue
  arch=${package##*:}
  [[ " $(dpkg --print-foreign-architectures | tr '\n' ' ') ${missing_arches[*]} " == *" $arch "* ]] ||
    missing_arches+=("$arch")
done

if ((${#missing[@]} == 0)) && ! $need_locale; then
  exit 0
fi
if [[ $(id -u) != 0 ]]; then
  ((${#missing[@]} > 0)) && echo "setup: missing packages: ${missing[*]}" >&2
  ((${#missing_arches[@]} > 0)) && echo "setup: dpkg architectures to add: ${missing_arches[*]}" >&2
  $need_locale && echo "setup: missing locales: ${missing_locales[*]/%/.UTF-8}" >&2
  echo "setup: run 'bash scripts/setup.sh $profile' as root" >&2
  exit 2
fi

export DEBIAN_FRONTEND=noninteractive
for arch in "${missing_arches[@]}"; do
  echo "setup: adding the dpkg architecture $arch"
  dpkg --add-architecture "$arch"
done
if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq -o DPkg::Lock::Timeout=900 "${missing[@]}" >/dev/null
fi
if $need_locale; then
  echo "setup: generating the locales ${missing_locales[*]/%/.UTF-8}"
  # Enabled in locale.gen as well, so a later locale-gen keeps them.
  for locale in "${missing_locales[@]}"; do
    grep -q "^$locale.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null || echo "$locale.UTF-8 UTF-8" >>/etc/locale.gen
  done
  locale-gen >/dev/null
fi
