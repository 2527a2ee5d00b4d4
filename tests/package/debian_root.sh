# Fresh minimal Debian systems for the package runs: an image of each release made once with
# debootstrap and kept in a cache, and a throw-away root over it for each run. Sourced; the
# caller runs as root inside a mount namespace of its own (see enter_mount_namespace), so every
# mount ends with the run whatever happens to it. debootstrap takes its own default mirror, and
# apt in the roots the sources debootstrap wrote: the project names none.

# Re-runs the calling script in a private mount namespace, once.
enter_mount_namespace() {
  [ -n "${DEBIAN_ROOT_NAMESPACE:-}" ] && return 0
  exec env DEBIAN_ROOT_NAMESPACE=1 unshare --mount --propagation private -- "$BASH" "$0" "$@"
}

# Mounts go only into the private namespace, where they end with the run: a bind mount of /dev or
# of a build folder left in the machine's own namespace would let a later rm -rf delete through it.
debian_root_in_namespace() {
  [ -n "${DEBIAN_ROOT_NAMESPACE:-}" ] && return 0
  echo "debian_root.sh: $1 mounts, so its caller must run enter_mount_namespace first" >&2
  return 1
}

# Removes each PATH, after unmounting whatever is mounted at or under it; refuses, saying what is
# still mounted, rather than delete through a mount (rm -rf would empty /dev through a bind).
debian_root_rm() {
  local path left
  for path in "$@"; do
    [ -e "$path" ] || continue
    path=$(realpath "$path")
    debian_root_remove_mounts "$path"
    left=$(awk -v r="$path" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts)
    if [ -n "$left" ]; then
      echo "not removing $path: still mounted there: $left" >&2
      return 1
    fi
    rm -rf --one-file-system "$path"
  done
}

# Prints why this machine cannot make a root, or nothing when it can.
debian_root_lacks() {
  [ "$(id -u)" -eq 0 ] || { echo "making a Debian root needs root (chroot, mount)"; return; }
  command -v debootstrap >/dev/null || { echo "debootstrap is missing (Debian package debootstrap)"; return; }
  command -v unshare >/dev/null || { echo "unshare is missing (Debian package util-linux)"; return; }
  grep -qw overlay /proc/filesystems || echo "the kernel has no overlay file system"
}

# Makes CACHE/RELEASE, a minimal RELEASE with apt's package lists, unless it is there already.
# Built beside it under a temporary name and renamed when whole, so an interrupted run leaves
# nothing that a later one would take for an image.
debian_image() {
  local release=$1 cache=$2 image=$2/$1 building
  [ -f "$image/etc/debian_version" ] && return 0
  debian_root_in_namespace debian_image || return 1
  mkdir -p "$cache"
  building=$(mktemp -d "$cache/.$release.XXXXXX")
  echo "making the $release image with debootstrap (once; kept in $cache)"
  if ! debootstrap --variant=minbase "$release" "$building" >"$cache/$release.log" 2>&1; then
    debian_root_rm "$building"
    echo "debootstrap of $release failed: $(tail -n 3 "$cache/$release.log" | tr '\n' ' ')" >&2
    return 1
  fi
  # debootstrap leaves the index it used in the cache, but apt wants its own lists.
  if ! chroot "$building" apt-get update -q >>"$cache/$release.log" 2>&1; then
    debian_root_rm "$building"
    echo "apt-get update in the new $release image failed: $(tail -n 3 "$cache/$release.log" | tr '\n' ' ')" >&2
    return 1
  fi
  chroot "$building" apt-get clean
  mv -T "$building" "$image"
}

# Makes CACHE/NAME, the RELEASE image with PACKAGES installed (an ":i386" one adds that
# architecture first), unless it is there already. Like the image, built under a temporary name
# and renamed when whole, so a half-made one is never used and the next run makes it again.
debian_image_with() {
  local name=$1 release=$2 cache=$3 image=$3/$1 building status=0
  shift 3
  [ -f "$image/etc/debian_version" ] && return 0
  debian_root_in_namespace debian_image_with || return 1
  debian_image "$release" "$cache" || return 1
  building=$(mktemp -d "$cache/.$name.XXXXXX")
  echo "making the $name image: $release with $* (once; kept in $cache)"
  cp -a "$cache/$release/." "$building/"
  mount -t proc proc "$building/proc" && mount --bind /dev "$building/dev" || {
    debian_root_rm "$building"
    echo "cannot mount /proc and /dev in the new $name image" >&2; return 1
  }
  {
    if [[ " $* " == *:i386* ]]; then
      chroot "$building" dpkg --add-architecture i386 && chroot "$building" apt-get update -q
    else
      chroot "$building" apt-get update -q
    fi && chroot "$building" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
  } >"$cache/$name.log" 2>&1 || status=$?
  chroot "$building" apt-get clean >/dev/null 2>&1 || true
  debian_root_remove_mounts "$building"
  if [ "$status" != 0 ]; then
    debian_root_rm "$building"
    echo "apt could not install $* into the $name image: $(tail -n 3 "$cache/$name.log" | tr '\n' ' ')" >&2
    return 1
  fi
  mv -T "$building" "$image"
}

# Mounts a fresh root at ROOT: the cached image IMAGE below, this run's changes in ROOT.changes,
# with /proc, /dev and /sys, and apt's downloads kept in ARCHIVES across runs.
debian_root() {
  local image=$1 root=$2 archives=$3
  debian_root_in_namespace debian_root || return 1
  debian_root_rm "$root" "$root.changes" "$root.work" || return 1
  mkdir -p "$root" "$root.changes" "$root.work" "$archives/partial"
  mount -t overlay overlay -o "lowerdir=$image,upperdir=$root.changes,workdir=$root.work" "$root" ||
    { echo "cannot mount a root over $image" >&2; return 1; }
  mount -t proc proc "$root/proc"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount --bind /dev/shm "$root/dev/shm"
  mount --bind /sys "$root/sys"
  mount --bind "$archives" "$root/var/cache/apt/archives"
}

# Makes host folder DIR (a display's socket folder) appear at the same place inside ROOT.
debian_root_share() {
  local root=$1 dir=$2
  mkdir -p "$root$dir"
  mount --bind "$dir" "$root$dir"
}

# Unmounts everything at and under DIR, deepest first.
debian_root_remove_mounts() {
  local target
  for target in $(awk -v r="$1" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r); do
    umount -l "$target" 2>/dev/null || true
  done
}

# Unmounts everything under ROOT and removes the run's changes.
debian_root_remove() {
  local root=$1
  [ -d "$root" ] || return 0
  debian_root_rm "$root" "$root.changes" "$root.work"
}

# Installs the .deb DEB into ROOT as a user would, with apt and what it pulls in (with what the
# package recommends, unless a fourth argument says "without-recommends"). When the cached lists
# name packages the mirror no longer has, the lists are brought up to date and it is tried again.
debian_install() {
  local root=$1 deb=$2 log=$3 recommends=${4:-} name
  name=$(basename "$deb")
  cp "$deb" "$root/tmp/$name"
  local install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$name")
  [ "$recommends" != without-recommends ] || install+=(--no-install-recommends)
  chroot "$root" "${install[@]}" >"$log" 2>&1 && return 0
  echo "apt-get install failed with the cached lists; updating them" >>"$log"
  chroot "$root" apt-get update -q >>"$log" 2>&1 && chroot "$root" "${install[@]}" >>"$log" 2>&1
}
