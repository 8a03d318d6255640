#!/usr/bin/env bash
# Prepares the tests on a real kernel:  bash tests/kernel/setup-guest.sh [BUILD_DIR]
# Installs what they need from Debian (as root, or with sudo), unpacks
# Debian's kernel package and builds the guest's initramfs and the labelled
# ISO into BUILD_DIR/kernel-guest. Safe to run again: the kernel is fetched
# once, the rest is rebuilt.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
guest=$build/kernel-guest
mkdir -p "$guest"

packages=(qemu-system-x86 busybox-static udev kmod cpio xorriso python3 xz-utils zstd)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# Debian's own kernel, the one linux-image-amd64 points at, unpacked, never installed.
kernel_package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
if [[ -z $kernel_package ]]; then
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
    kernel_package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
fi
kroot=$guest/kroot
if [[ $(cat "$guest/kernel-package" 2>/dev/null) != "$kernel_package" ]]; then
    rm -rf "$kroot" "$guest"/*.deb
    (cd "$guest" && apt-get download -qq "$kernel_package" 2>/dev/null)
    dpkg -x "$guest"/"$kernel_package"_*.deb "$kroot"
    depmod -b "$kroot" "$(ls "$kroot/lib/modules")"
    rm -f "$guest"/*.deb
    echo "$kernel_package" >"$guest/kernel-package"
fi
version=$(ls "$kroot/lib/modules")
cp "$kroot/boot/vmlinuz-$version" "$guest/vmlinuz"

# The modules the guest loads, with everything they depend on, in load order;
# scsi_debug adds a disk, a SCSI device that is no drive.
wanted=(configfs sg sr_mod isofs scsi_debug crct10dif_generic target_core_user tcm_loop
    virtio_pci 9pnet_virtio 9p xhci_pci usb_storage)
moddir=$kroot/lib/modules/$version
order=()
declare -A seen=()
resolve() {
    local path=$1 dep
    [[ -n ${seen[$path]:-} ]] && return
    seen[$path]=1
    for dep in $(awk -F': *' -v m="$path" '$1 == m {print $2}' "$moddir/modules.dep"); do
        resolve "$dep"
    done
    order+=("$path")
}
for name in "${wanted[@]}"; do
    path=$(awk -F: -v n="$name" '{f = $1; sub(/.*\//, "", f); sub(/\.ko.*/, "", f); gsub(/-/, "_", f)}
        f == n {print $1; exit}' "$moddir/modules.dep")
    if [[ -n $path ]]; then
        resolve "$path"
    elif ! grep -q "/$name.ko" "$moddir/modules.builtin"; then
        echo "setup-guest: kernel module $name not found in $kernel_package" >&2
        exit 1
    fi
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,run,tmp,host,modules}
cp /bin/busybox "$root/bin/busybox"
cp tests/kernel/guest-init.sh "$root/init"
chmod 755 "$root/init"
for path in "${order[@]}"; do
    file=$root/modules/$(basename "${path%%.ko*}").ko
    case $path in
    *.ko.xz) xz -dc "$moddir/$path" >"$file" ;;
    *.ko.zst) zstd -qdc "$moddir/$path" >"$file" ;;
    *) cp "$moddir/$path" "$file" ;;
    esac
    basename "$file" >>"$root/modules/order"
done
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$guest/initramfs.gz"

# A disc with a volume name, for the USB drive.
mkdir -p "$root/disc"
echo "A disc for the tests on a real kernel." >"$root/disc/README.TXT"
xorriso -as mkisofs -quiet -V BACKUP_2011 -o "$guest/labelled.iso" "$root/disc" 2>/dev/null

echo "setup-guest: $kernel_package, ${#order[@]} modules, in $guest"
