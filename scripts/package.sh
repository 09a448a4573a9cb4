#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages nalvexa (the daemon, client, CAN commissioning
# tool, simulator and service) and nalvexa-gui (the window), each with its
# -dbgsym package, into build-deb/. Hardened with the flags of dpkg-buildflags.
#   scripts/package.sh [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build-deb}")"
scripts/install-deps.sh

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_APPEND="-Wall"
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
version=$(sed -n 's/^project(nalvexa VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)

build="$out/build"
stage="$out/stage"
rm -rf "$stage" "$out"/*.deb
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DNALVEXA_TESTS=OFF -DNALVEXA_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$build" --target nalvexa nalvexa-gui nalvexa-client nalvexa-can nalvexa-sim

# Strips a binary, its debug information going to the -dbgsym package by build-id.
split_debug() {
  local binary="$1" dbgsym="$2"
  local id
  id=$(readelf -n "$binary" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
  local debug="$dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
  mkdir -p "$(dirname "$debug")"
  objcopy --only-keep-debug --compress-debug-sections "$binary" "$debug"
  chmod 0644 "$debug"
  objcopy --strip-unneeded --remove-section=.comment --remove-section=.note --add-gnu-debuglink="$debug" "$binary"
  echo "$id"
}

control() {
  local template="$1" root="$2" depends="$3"
  local size
  size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
  mkdir -p "$root/DEBIAN"
  sed -e "s/@VERSION@/$version/g" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    "$template" >"$root/DEBIAN/control"
  (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
    >"$root/DEBIAN/md5sums"
}

dbgsym_control() {
  local package="$1" root="$2" ids="$3"
  local size
  size=$(du -sk "$root" | cut -f1)
  mkdir -p "$root/DEBIAN"
  cat >"$root/DEBIAN/control" <<CONTROL
Package: $package-dbgsym
Source: nalvexa
Version: $version
Architecture: $arch
Maintainer: The nalvexa developers <dev@nalvexa.org>
Installed-Size: $size
Depends: $package (= $version)
Section: debug
Priority: optional
Description: debug symbols for $package
Auto-Built-Package: debug-symbols
Build-Ids: $ids
CONTROL
  (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
    >"$root/DEBIAN/md5sums"
}

package() {
  local name="$1" component="$2"
  local root="$stage/$name" dbgsym="$stage/$name-dbgsym"
  DESTDIR="$root" cmake --install "$build" --component "$component" >/dev/null
  # Documentation as Debian has it.
  local doc="$root/usr/share/doc/$name"
  mkdir -p "$doc"
  install -m 0644 packaging/deb/copyright "$doc/copyright"
  gzip -9n -c packaging/deb/changelog >"$doc/changelog.gz"
  find "$root/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +
  chmod -R u=rwX,go=rX "$root"
  local ids=() binaries=()
  for binary in "$root"/usr/bin/*; do
    ids+=("$(split_debug "$binary" "$dbgsym")")
    binaries+=("$binary")
  done
  # The libraries the binaries need, as dependencies.
  local depends
  depends=$(cd "$stage" && mkdir -p debian && touch debian/control &&
            dpkg-shlibdeps -O --ignore-missing-info "${binaries[@]}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  control "packaging/deb/$name.control" "$root" "$depends"
  for script in postinst prerm postrm; do
    [ -f "packaging/deb/$name.$script" ] && install -m 0755 "packaging/deb/$name.$script" "$root/DEBIAN/$script"
  done
  if [ -d "$root/etc" ]; then
    (cd "$root" && find etc -type f -printf '/%p\n') >"$root/DEBIAN/conffiles"
  fi
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${name}_${version}_${arch}.deb" >/dev/null
  # Its documentation is the package's, as Debian's own -dbgsym packages have it.
  mkdir -p "$dbgsym/usr/share/doc"
  ln -sfn "$name" "$dbgsym/usr/share/doc/$name-dbgsym"
  chmod -R u=rwX,go=rX "$dbgsym"
  dbgsym_control "$name" "$dbgsym" "${ids[*]}"
  dpkg-deb --root-owner-group -Zxz --build "$dbgsym" "$out/${name}-dbgsym_${version}_${arch}.deb" >/dev/null
}

package nalvexa daemon
package nalvexa-gui gui
ls -1 "$out"/*.deb
