#!/bin/sh
# Starts the Zorva client in the user's own working directory,
# $XDG_DATA_HOME/zorva (~/.local/share/zorva by default), which holds the
# user's copy of the program beside the user's own files (users file, saved
# passwords, downloads in dl/, the log). The installed package is the source
# of that copy: it is copied in on the first start and whenever the package's
# version is newer than the copy's, so a package upgrade wins over an older
# self-update and a newer self-update survives an older package. The user's
# own files are never touched.
set -eu

here=$(dirname "$(readlink -f "$0")")
package=$(dirname "$here")/lib/zorva

data=${XDG_DATA_HOME:-}
case $data in
  /*) ;;
  *) data=$HOME/.local/share ;;  # unset, empty or relative: the default
esac
work=$data/zorva

case ${1:-} in
  --help | -h | --version)
    cd "$work" 2>/dev/null || true
    exec "$package/zorva" "$@"
    ;;
esac

mkdir -p "$data"
# Saved passwords live here: the folder is the user's alone.
[ -d "$work" ] || mkdir -m 0700 "$work"
mkdir -p "$work/dl"
cd "$work"

# The package's updater rolls back an update that was interrupted, then
# brings the package's program in when it is newer (the client's version
# rule, the version file last, crash-safe as any update).
if ! "$package/zupdate.exe" --install-from "$package"; then
  echo "zorva: the program in $package could not be copied into $work (see $work/zorva.log)" >&2
fi
if [ -x "$work/zorva" ]; then
  exec "$work/zorva" "$@"
fi
exec "$package/zorva" "$@"
