#!/usr/bin/env bash
# Checks the Debian package that the build makes.
#
# check_package.sh lint <build dir> <deb>
#   What the package holds and declares: its name, version and relations, exactly the files the
#   install rules lay out, a desktop entry and AppStream metadata that validate, and no lintian
#   errors.
# check_package.sh install <build dir> <deb>
#   As root with apt: installs the package, starts the program from the menu entry's command on
#   a virtual screen until its main window is mapped, closes it, and removes the package again.
#   Skipped (exit 77) when not root, without apt, or when a vexmo package is installed already.
set -u

mode=$1
build=$2
deb=$3
skip=77
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

finish() {
  if [ $failures -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
  fi
  echo "package $mode OK: $(basename "$deb")"
  exit 0
}

if [ ! -f "$deb" ]; then
  echo "FAIL: $deb was not built (target vexmo_deb; see $build/package/)"
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
work=$(readlink -f "$(mktemp -d)")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

lint() {
  [ "$(basename "$deb")" = "vexmo_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"
  # The programs print the same version (answered before any window or display is needed).
  [ "$(env -u DISPLAY "$build/bin/vexmo" --version 2>&1)" = "vexmo $version" ] ||
    fail "vexmo --version: $(env -u DISPLAY "$build/bin/vexmo" --version 2>&1)"
  [ "$("$build/bin/vexmo-station" --version 2>&1)" = "vexmo-station $version" ] ||
    fail "vexmo-station --version: $("$build/bin/vexmo-station" --version 2>&1)"
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = vexmo ] || fail "Package: $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the build's is $version"
  [ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
  # Depends comes from the binaries' libraries (dpkg-shlibdeps), with versions.
  depends=$(field Depends)
  for lib in 'libc6 (>=' 'libqt6widgets6 (>=' 'libcurl4 (>=' 'libpulse0 (>=' libqt6svg6; do
    case $depends in *"$lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
  done
  [ "$(field Recommends)" = "pulseaudio | pipewire-pulse" ] || fail "Recommends: $(field Recommends)"
  [ "$(field Suggests)" = "dpf-plugins-vst, lsp-plugins-vst" ] || fail "Suggests: $(field Suggests)"

  # Exactly what the install rules lay out under /usr: a program added to them joins the package.
  if ! DESTDIR=$work/stage cmake --install "$build" --prefix /usr >"$work/stage.log" 2>&1; then
    cat "$work/stage.log"
    fail "staged install"
  fi
  (cd "$work/stage" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$work/installed"
  dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort >"$work/packaged"
  if ! diff -u "$work/installed" "$work/packaged" >"$work/diff"; then
    fail "package contents differ from the install rules (- installed, + packaged):"
    sed -n '3,$p' "$work/diff" | grep '^[-+]'
  fi
  for file in usr/lib/vexmo/vexmo usr/lib/vexmo/vexmo-station usr/lib/vexmo/uid.ini usr/bin/vexmo \
    usr/share/applications/vexmo.desktop usr/share/icons/hicolor/scalable/apps/vexmo.svg \
    usr/share/metainfo/com.korvane.vexmo.metainfo.xml; do
    grep -qx "$file" "$work/packaged" || fail "not in the package: /$file"
  done

  dpkg-deb -x "$deb" "$work/root"
  desktop-file-validate "$work/root/usr/share/applications/vexmo.desktop" ||
    fail "desktop-file-validate"
  metainfo=$work/root/usr/share/metainfo/com.korvane.vexmo.metainfo.xml
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" ||
    fail "the metainfo has no release entry for $version"
  [ "$(grep -c '<caption>' "$metainfo")" -eq "$(grep -c '<screenshot[ >]' "$metainfo")" ] ||
    fail "a screenshot without its description"

  # Errors only; warnings (no manual page, ...) are reported but do not fail.
  lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
  cat "$work/lintian.txt"
  ! grep -q '^E: ' "$work/lintian.txt" || fail "lintian reports errors"
}

# A process that has ended but was not waited for yet still answers kill -0.
alive() {
  [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status"
}

install_and_run() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing a package needs root"
    exit $skip
  fi
  if ! command -v apt-get >/dev/null; then
    echo "skipped: no apt-get on this system"
    exit $skip
  fi
  # One package test at a time on this machine.
  exec 9>/tmp/vexmo-package-test.lock
  flock -w 900 9 || { echo "FAIL: another package test holds the lock"; exit 1; }
  if dpkg-query -W -f='${Status}' vexmo 2>/dev/null | grep -q 'install ok installed'; then
    echo "skipped: a vexmo package is installed already; not touching it"
    exit $skip
  fi
  # apt reads local packages as its own unprivileged user.
  chmod 755 "$work"
  cp "$deb" "$work/"
  chmod 644 "$work/$(basename "$deb")"
  cleanup() {
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    dpkg-query -W -f='${Status}' vexmo 2>/dev/null | grep -q 'install ok' &&
      apt-get -o DPkg::Lock::Timeout=300 purge -y vexmo >/dev/null 2>&1
    rm -rf "$work"
  }
  # Waits for another apt or dpkg run on the machine rather than failing on its lock.
  apt=(apt-get -o DPkg::Lock::Timeout=300)
  if ! DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y "$work/$(basename "$deb")" \
    >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    fail "apt-get install"
    finish
  fi

  [ "$(/usr/bin/vexmo --version)" = "vexmo $version" ] ||
    fail "vexmo --version: $(/usr/bin/vexmo --version 2>&1)"
  [ "$(/usr/lib/vexmo/vexmo-station --version)" = "vexmo-station $version" ] ||
    fail "vexmo-station --version: $(/usr/lib/vexmo/vexmo-station --version 2>&1)"

  # The menu entry's command, as the desktop runs it.
  command=$(sed -n 's/^Exec=//p' /usr/share/applications/vexmo.desktop)
  [ "$(command -v "${command%% *}")" = /usr/bin/vexmo ] || fail "Exec=$command is not /usr/bin/vexmo"

  # A virtual screen of its own, so that the window is a real X window that can be looked for.
  Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp 8>"$work/display" 2>"$work/xvfb.log" &
  xvfb=$!
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  display=:$(head -n1 "$work/display")
  [ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; finish; }

  home=$work/home
  mkdir -p "$home" && mkdir -m 700 "$work/runtime"
  (cd "$home" && exec env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" \
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$work/runtime" DISPLAY="$display" \
    QT_QPA_PLATFORM=xcb $command) >"$work/vexmo.log" 2>&1 &
  pid=$!
  # The main window: mapped, titled Vexmo, owned by the program's process.
  window=$(DISPLAY=$display timeout 60 xdotool search --sync --onlyvisible --pid "$pid" \
    --name '^Vexmo$' 2>/dev/null | head -n1)
  if [ -n "$window" ]; then
    echo "main window $window: $(DISPLAY=$display xdotool getwindowname "$window")"
  else
    fail "no main window within 60 s: $(cat "$work/vexmo.log")"
  fi
  if alive $pid; then
    kill -TERM $pid
    for _ in $(seq 1 100); do
      alive $pid || break
      sleep 0.1
    done
    alive $pid && { fail "vexmo did not close on SIGTERM"; kill -KILL $pid; }
    wait $pid
    status=$?
    [ $status -eq 0 ] || fail "vexmo ended with $status: $(cat "$work/vexmo.log")"
  else
    wait $pid
    fail "vexmo ended by itself with $?: $(cat "$work/vexmo.log")"
  fi
  [ -f "$home/config/Korvane/Vexmo_1/settings.ini" ] ||
    fail "no settings.ini in the user's data folder"
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  xvfb=

  if ! "${apt[@]}" purge -y vexmo >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    fail "apt-get purge"
  fi
  dpkg-query -W -f='${Status}' vexmo 2>/dev/null | grep -q 'install ok' && fail "still installed"
  for path in /usr/lib/vexmo /usr/bin/vexmo /usr/share/applications/vexmo.desktop \
    /usr/share/metainfo/com.korvane.vexmo.metainfo.xml; do
    [ -e "$path" ] && fail "left behind after removal: $path"
  done
}

case $mode in
lint) lint ;;
install) install_and_run ;;
*)
  echo "usage: check_package.sh lint|install <build dir> <deb>"
  exit 2
  ;;
esac
finish
