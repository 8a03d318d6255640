#!/bin/busybox sh
# The guest's /init: loads the modules, mounts the host's root (read-only,
# over 9p) and starts the host's udevd in it, then runs the sequence named on
# the kernel command line (qguest_script, given qguest_build) in that chroot,
# and tells the host runner its exit status before powering off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
echo 30 >/proc/sys/kernel/hung_task_timeout_secs

for m in $(cat /modules/order); do
    insmod "/modules/$m" || echo "@@INSMOD-FAIL $m"
done
mount -t configfs configfs /sys/kernel/config
# Media polling, as udev's rules set it on an installed system (they act on
# the block module's arrival, which came before udevd here).
echo 2000 >/sys/module/block/parameters/events_dfl_poll_msecs
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /host || {
    echo "@@EXIT 125 (no host root)"
    poweroff -f
}
# The guest's own /tmp covers the host's: a checkout there (a clone made with
# mktemp -d, say) is bound again in its place, so that its build tree and
# scripts stay in reach.
kept=""
for path in "$qguest_build" "$qguest_script"; do
    case "$path" in
    /tmp/?*)
        top=${path#/tmp/}
        top=${top%%/*}
        case " $kept " in *" $top "*) ;; *)
            mkdir -p "/kept/$top"
            mount --bind "/host/tmp/$top" "/kept/$top"
            kept="$kept $top" ;;
        esac ;;
    esac
done
for d in proc sys dev run tmp; do
    mount -o rbind "/$d" "/host/$d"
done
for top in $kept; do
    mkdir -p "/host/tmp/$top"
    mount --bind "/kept/$top" "/host/tmp/$top"
done

# udevadm ignores requests made in a chroot unless told not to.
in_host() {
    chroot /host /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp LANG=C.UTF-8 \
        XDG_RUNTIME_DIR=/run/user/0 SYSTEMD_IGNORE_CHROOT=1 "$@"
}
mkdir -p -m 700 /run/user/0
in_host /lib/systemd/systemd-udevd --daemon 2>/tmp/udevd.log
# No coldplug: the devices the tests use all come after udevd.

echo "@@READY $(cut -d' ' -f1 /proc/uptime)"
in_host /bin/bash "$qguest_script" "$qguest_build"
status=$?
echo "@@EXIT $status"
poweroff -f
