# What the scripts that use a Debian 13 (trixie) root share; sourced, not run.

# Makes a minbase Debian 13 root in DIR with debootstrap, from the Debian archive this machine
# uses; its output goes to DIR.log, whose end is shown if it fails.
make_debian13_root() {
  local dir=$1 mirror
  mirror=$(awk '$1 == "URIs:" { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  debootstrap --variant=minbase trixie "$dir" "$mirror" > "$dir.log" 2>&1 \
    || { tail -n 20 "$dir.log" >&2; rm -f "$dir.log"; return 1; }
  rm -f "$dir.log"
  cat > "$dir/etc/apt/sources.list" <<SOURCES
deb $mirror trixie main
deb $mirror trixie-updates main
deb http://deb.debian.org/debian-security trixie-security main
SOURCES
}

# Runs COMMAND in the root DIR from WORKDIR under bubblewrap, which pivots into it with its own
# /dev, /proc and /tmp: user namespaces and QEMU work there, where a plain chroot refuses them.
run_in_root() {
  local dir=$1 workdir=$2
  shift 2
  cp -L /etc/resolv.conf "$dir/etc/resolv.conf" # names resolve inside as they do here
  bwrap --bind "$dir" / --dev /dev --proc /proc --perms 1777 --tmpfs /tmp \
    --unshare-pid --die-with-parent --clearenv \
    --setenv PATH /usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    --setenv HOME /root --setenv LANG C.UTF-8 --setenv DEBIAN_FRONTEND noninteractive \
    --chdir "$workdir" "$@"
}
