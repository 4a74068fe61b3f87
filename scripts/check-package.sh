#!/usr/bin/env bash
# Checks the Debian package that `make package` built (argument: its build folder, default
# build-package): its control fields and exact file list, the desktop entry, metainfo and manual
# pages it installs, the pen tablet's systemd unit (sound, and enabled by no maintainer script),
# that no path of this machine is compiled in, and the installed programs
# themselves, unpacked into a scratch root: `vellum --version` and `vellum --probe` against the
# installed vellum-tablet (every port given with --port; no real serial port is touched). Last,
# dpkg installs and purges it in a root and database of their own: nothing may be left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-package}")
version=$(sed -n 's/^project(Vellum VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$build/vellum_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "check-package: $deb is missing; run 'make package' first" >&2; exit 1; }
app_id=io.github.vellum.Vellum

status=0
fail() {
  echo "check-package: $*" >&2
  status=1
}

work=$(mktemp -d /tmp/vellum-check-package.XXXXXX)
tablet_pid=""
cleanup() {
  [ -n "$tablet_pid" ] && kill "$tablet_pid" 2>/dev/null && wait "$tablet_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# --- control fields -----------------------------------------------------------------------------
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = vellum ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# From dpkg-shlibdeps (the binaries' libraries) and the run-time needs it cannot see.
for p in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libasound2 libxcb1 \
         libqt6svg6 fonts-dejavu-core fonts-liberation2; do
  [[ ", $depends," == *", $p "* || ", $depends," == *", $p,"* ]] || fail "Depends lacks $p: $depends"
done

# --- file list: exactly these, so no test, benchmark or fuzz binary can slip in ----------------
cat >"$work/expected" <<EOF
./usr/bin/vellum
./usr/bin/vellum-tablet
./usr/lib/systemd/system/vellum-pen@.service
./usr/share/applications/$app_id.desktop
./usr/share/doc/vellum/60-vellum-uart-trigger.rules
./usr/share/doc/vellum/README.md
./usr/share/doc/vellum/capture-format.md
./usr/share/doc/vellum/emulator-script.md
./usr/share/icons/hicolor/48x48/apps/$app_id.png
./usr/share/icons/hicolor/scalable/apps/$app_id.svg
./usr/share/man/man1/vellum-tablet.1
./usr/share/man/man1/vellum.1
./usr/share/metainfo/$app_id.metainfo.xml
EOF
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort >"$work/files"
diff -u "$work/expected" "$work/files" >&2 || fail "the package's files differ from the list above"

root="$work/root"
dpkg-deb -x "$deb" "$root"

# --- the installed files --------------------------------------------------------------------------
desktop="$root/usr/share/applications/$app_id.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
desktop-file-validate "$desktop" || fail "desktop-file-validate: $desktop"
appstreamcli validate --no-net "$metainfo" >"$work/appstream" 2>&1 ||
  { cat "$work/appstream" >&2; fail "appstreamcli validate: $metainfo"; }
grep -qx "Exec=vellum" "$desktop" || fail "the desktop entry does not start vellum"
grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry's icon is not $app_id"
grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch $app_id.desktop"
for page in "$root"/usr/share/man/man1/*.1; do
  warnings=$({ MANWIDTH=80 man --warnings -l "$page" >/dev/null; } 2>&1) || fail "man failed on $page"
  warnings+=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page"
  [ -z "$warnings" ] || fail "warnings in $page: $warnings"
done

# --- the pen tablet's unit: installed, enabled by nobody -----------------------------------------
# No maintainer script may enable or start it, and the unit must load as systemd reads it.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -vxE '\./|\./(control|md5sums)' || true)
[ -z "$scripts" ] || fail "the package has maintainer scripts: $scripts"
unit="$root/usr/lib/systemd/system/vellum-pen@.service"
grep -qx 'ExecStart=/usr/bin/vellum --pen --port 1=/dev/%I .*' "$unit" ||
  fail "the unit does not start /usr/bin/vellum --pen on its instance's device"
# systemd-analyze checks every key and that the program exists; the copy starts the unpacked one.
if command -v systemd-analyze >/dev/null; then
  mkdir "$work/units"
  sed "s#^ExecStart=/usr/bin/vellum #ExecStart=$root/usr/bin/vellum #" "$unit" \
    >"$work/units/vellum-pen@.service"
  ln -s vellum-pen@.service "$work/units/vellum-pen@ttyUSB0.service"
  if ! systemd-analyze verify --man=no "$work/units/vellum-pen@ttyUSB0.service" \
      >"$work/verify" 2>&1 || [ -s "$work/verify" ]; then
    cat "$work/verify" >&2
    fail "systemd-analyze verify: $unit"
  fi
fi

# --- nothing of this machine compiled in: no source or build path, no RPATH, no debug info -------
while IFS= read -r -d '' f; do
  for path in "$PWD" "$build"; do
    if strings -a "$f" | grep -qF "$path"; then fail "$f holds the path $path"; fi
  done
  if file -b "$f" | grep -q '^ELF'; then
    case "$f" in "$root/usr/bin/vellum" | "$root/usr/bin/vellum-tablet") ;;
      *) fail "unexpected program $f" ;; esac
    if readelf -d "$f" | grep -qE 'RPATH|RUNPATH'; then fail "$f has an RPATH or RUNPATH"; fi
    if file -b "$f" | grep -qE 'not stripped|with debug_info'; then fail "$f is not stripped"; fi
  fi
done < <(find "$root" -type f -print0)

# --- the installed programs -----------------------------------------------------------------------
vellum="$root/usr/bin/vellum"
tablet="$root/usr/bin/vellum-tablet"
[ "$("$vellum" --version)" = "vellum $version" ] || fail "vellum --version: $("$vellum" --version)"
[ "$("$tablet" --version)" = "vellum-tablet $version" ] ||
  fail "vellum-tablet --version: $("$tablet" --version)"

"$tablet" >"$work/tablet.out" 2>"$work/tablet.err" &
tablet_pid=$!
for _ in $(seq 100); do
  [ -s "$work/tablet.out" ] && break
  sleep 0.05
done
pty=$(head -n 1 "$work/tablet.out")
if [ -z "$pty" ]; then
  fail "the installed vellum-tablet did not start: $(cat "$work/tablet.err")"
else
  # The probe waits a fixed 50 ms for each answer; on a loaded machine the emulator can miss
  # that, which says nothing about the package: up to three tries.
  for try in 1 2 3; do
    probe_status=0
    "$vellum" --probe --port "1=$pty" --port 2=/nonexistent/vellum-check-com2 \
      --port 3=/nonexistent/vellum-check-com3 --port 4=/nonexistent/vellum-check-com4 \
      >"$work/probe.out" 2>&1 || probe_status=$?
    [ "$probe_status" -eq 0 ] && break
    echo "check-package: vellum --probe, try $try: status $probe_status" >&2
  done
  if [ "$probe_status" -ne 0 ] ||
     ! grep -q "^COM1: 7-byte tablet, range 5000 x 3750, " "$work/probe.out"; then
    fail "vellum --probe: status $probe_status, output: $(cat "$work/probe.out")"
  fi
fi

# --- install and purge with dpkg in a root of its own: nothing may be left behind ---------------
admin="$work/dpkg" inst="$work/inst"
mkdir -p "$admin/info" "$admin/updates" "$inst"
touch "$admin/status" "$admin/available"
dpkg_scratch() { dpkg --admindir="$admin" --instdir="$inst" --log=/dev/null --force-not-root "$@"; }
if ! dpkg_scratch --force-depends -i "$deb" >"$work/dpkg.log" 2>&1 ||
   ! dpkg_scratch --purge vellum >>"$work/dpkg.log" 2>&1; then
  cat "$work/dpkg.log" >&2
  fail "dpkg could not install and purge the package in a scratch root"
fi
left=$(cd "$inst" && find . -mindepth 1)
[ -z "$left" ] || fail "left behind after purging: $left"

if [ "$status" -eq 0 ]; then
  echo "check-package: $deb is sound"
  echo "  Depends: $depends"
fi
exit "$status"
