#!/usr/bin/env bash
# Builds the Debian package, installs it, checks the installed program and
# removes it again: what a person who installs the package gets.
#   BUILD_DIR  build folder (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

deb=$(bash scripts/package.sh | tail -n 1)
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

echo "== $deb: $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

echo "== install"
if ! "${sudo_cmd[@]}" dpkg -i "$deb"; then
    "${sudo_cmd[@]}" apt-get -f install -y -qq
fi
status=$(dpkg-query -W -f='${Status}' quelmar-drive-updater)
[[ $status == "install ok installed" ]] || { echo "not installed: $status" >&2; exit 1; }
[[ $(command -v quelmar-drive-updater) == /usr/bin/quelmar-drive-updater ]]
quelmar-drive-updater --version
# Its string tables are installed and found: the help in German and Japanese.
LANG=de_DE.UTF-8 quelmar-drive-updater --help | grep -F 'Optionen:'
LANG=ja_JP.UTF-8 quelmar-drive-updater --help | grep -F 'オプション:'
[[ $(dpkg-deb -f "$deb" Recommends) == fonts-noto-cjk ]]

# The installed program on the demonstration drives, without a display, until
# its first listing: it must read both firmware images from its installed
# resources. Its own folders keep it apart from any instance that runs.
echo "== the installed program's first listing"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
strace -f -qq -e trace=openat -o "$scratch/opened" \
    env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch" XDG_CONFIG_HOME="$scratch" \
    QUELMAR_SCENARIO="$PWD/scenarios/demo/demo.json" \
    quelmar-drive-updater >"$scratch/out" 2>"$scratch/err" &
tracer=$!
listed=no
for _ in $(seq 300); do
    if grep -q -- '---- Found Target' "$scratch/err"; then
        listed=yes
        break
    fi
    sleep 0.1
done
updater=$(ps -o pid= --ppid "$tracer" | tr -d ' ' || true)
[[ -n $updater ]] && kill "$updater"
wait "$tracer" || true
if [[ $listed != yes ]]; then
    echo "no first listing; the program said:" >&2
    cat "$scratch/err" >&2
    exit 1
fi
for image in S8721020.102 S8721021.102; do
    if ! grep -E "\"/usr/share/quelmar-drive-updater/$image\".* = [0-9]+$" "$scratch/opened"; then
        echo "the installed program did not open /usr/share/quelmar-drive-updater/$image" >&2
        exit 1
    fi
done

echo "== remove"
"${sudo_cmd[@]}" dpkg --purge quelmar-drive-updater
for path in /usr/bin/quelmar-drive-updater /usr/share/quelmar-drive-updater \
    /usr/share/applications/com.quelmar.QuelmarDriveUpdater.desktop \
    /usr/share/metainfo/com.quelmar.QuelmarDriveUpdater.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/com.quelmar.QuelmarDriveUpdater.svg \
    /usr/share/man/man1/quelmar-drive-updater.1.gz; do
    if [[ -e $path ]]; then
        echo "left behind: $path" >&2
        exit 1
    fi
done
if dpkg-query -W -f='${Status}' quelmar-drive-updater 2>/dev/null | grep -q installed; then
    echo "still registered as installed" >&2
    exit 1
fi
echo "package: installed, ran and removed cleanly"
