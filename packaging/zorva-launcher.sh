#!/bin/sh
# Starts the Zorva client in the user's own working directory,
# $XDG_DATA_HOME/zorva (~/.local/share/zorva by default). The client keeps
# its users file, saved passwords, downloads (dl/) and updates there, never
# in the installation. On the first start, and whenever one of them has gone
# missing, the folder gets the installed version file, help page and updater.
set -eu

here=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$here")
program=$prefix/lib/zorva/zorva
template=$prefix/share/zorva/user

data=${XDG_DATA_HOME:-}
case $data in
  /*) ;;
  *) data=$HOME/.local/share ;;  # unset, empty or relative: the default
esac
work=$data/zorva

case ${1:-} in
  --help | -h | --version)
    cd "$work" 2>/dev/null || true
    exec "$program" "$@"
    ;;
esac

mkdir -p "$data"
# Saved passwords live here: the folder is the user's alone.
[ -d "$work" ] || mkdir -m 0700 "$work"

copy_missing() {  # copy_missing SOURCE RELATIVE_TARGET
  [ -e "$work/$2" ] && return 0
  mkdir -p "$(dirname "$work/$2")"
  cp -p "$1" "$work/$2.tmp.$$"
  mv "$work/$2.tmp.$$" "$work/$2"
}
copy_missing "$template/zorva.xml" zorva.xml
copy_missing "$template/help/help.htm" help/help.htm
copy_missing "$prefix/lib/zorva/zupdate.exe" zupdate.exe
mkdir -p "$work/dl"

cd "$work"
exec "$program" "$@"
