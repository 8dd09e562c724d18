#!/usr/bin/env bash
# A copy of the program installed under any prefix (a writable one included,
# as `cmake --install build --prefix ~/.local` makes) keeps its files in the
# user's data folder, never beside itself; the program where the build put it
# keeps them beside itself.
# usage: installed-data-folder.sh PROGRAM DATABASE.bdt
set -euo pipefail
program=$1 database=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/prefix/bin" "$scratch/home"
cp "$program" "$scratch/prefix/bin/kalent-service"
unset XDG_DATA_HOME
list=SpisokTSinFile.txt # the list every db-list writes into the data folder

HOME="$scratch/home" "$scratch/prefix/bin/kalent-service" db-list "$database" >/dev/null
if [ -e "$scratch/prefix/bin/$list" ]; then
    echo "FAIL: the installed program wrote $list beside itself" >&2
    exit 1
fi
if [ ! -f "$scratch/home/.local/share/kalent-service/$list" ]; then
    echo "FAIL: $list is not in the user's data folder:" >&2
    find "$scratch" >&2
    exit 1
fi
echo "installed copy: $list in ~/.local/share/kalent-service"

build_dir=$(dirname "$program")
rm -f "$build_dir/$list"
HOME="$scratch/home2" "$program" db-list "$database" >/dev/null
if [ ! -f "$build_dir/$list" ] || [ -e "$scratch/home2/.local/share/kalent-service/$list" ]; then
    echo "FAIL: the program in its build tree did not keep $list beside itself" >&2
    exit 1
fi
echo "build tree: $list beside the executable"
