#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks the installed program folder, the
# launcher, the desktop entry and that the installed binaries load only from the prefix.
#
# check_install.sh <build dir> <source dir>
# <build dir>/dist/installed_files.txt lists the build outputs that the install copies; when one
# is not built yet the install cannot run, and the test reports itself skipped (exit 77).
set -u

build=$1
source=$2
skip=77
list=$build/dist/installed_files.txt
if [ ! -f "$list" ]; then
  echo "FAIL: $list is missing: the build does not include the install rules"
  exit 1
fi
mapfile -t files <"$list"
if [ ${#files[@]} -eq 0 ]; then
  echo "FAIL: $list names no program files"
  exit 1
fi
set -- "${files[@]}"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A process that has ended but was not waited for yet still answers kill -0.
alive() {
  [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status"
}

missing=()
for file in "$@"; do
  [ -e "$file" ] || missing+=("$file")
done
if [ ${#missing[@]} -gt 0 ]; then
  printf 'not built, nothing to install: %s\n' "${missing[@]}"
  exit $skip
fi

work=$(readlink -f "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
unset LD_LIBRARY_PATH

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

program=$prefix/lib/vexmo

# Exactly the expected files, nothing else (no VST test plug-ins, no tests, no demo helpers).
expected=$work/expected
actual=$work/actual
{
  for file in "$@"; do
    case $file in
    */Plugins/*) echo "lib/vexmo/Plugins/$(basename "$file")" ;;
    *) echo "lib/vexmo/$(basename "$file")" ;;
    esac
  done
  echo lib/vexmo/uid.ini
  # Language files come from the source tree (the build's copy may hold test leftovers).
  if [ -d "$source/lang" ]; then
    (cd "$source/lang" && find . -mindepth 2 -maxdepth 2 -type f -name lang.ini) |
      sed 's|^\./|lib/vexmo/Lang/|'
  fi
  if printf '%s\n' "$@" | grep -q '/bin/vexmo$'; then
    echo bin/vexmo
    echo share/applications/vexmo.desktop
    echo share/icons/hicolor/scalable/apps/vexmo.svg
    echo share/metainfo/com.korvane.vexmo.metainfo.xml
    echo share/doc/vexmo/copyright
    echo share/doc/vexmo/changelog.gz
    echo share/man/man1/vexmo.1.gz
  fi
} | sort >"$expected"
(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$actual"
if ! diff -u "$expected" "$actual" >"$work/diff"; then
  fail "installed files differ from the expected set (- expected, + installed):"
  sed -n '3,$p' "$work/diff" | grep '^[-+]'
fi

# Permissions: programs executable, everything readable, data files not executable, nothing
# writable by others. (Shared libraries may be 0644, as Debian installs them.)
for file in "$@"; do
  installed=$program/$(basename "$file")
  case $file in
  */Plugins/*) installed=$program/Plugins/$(basename "$file") ;;
  *.so) ;;
  *) [ -x "$installed" ] || fail "not executable: $installed" ;;
  esac
done
unreadable=$(find "$prefix" ! -perm -444 \( -type f -o -type d \))
[ -z "$unreadable" ] || fail "not readable by all: $unreadable"
for file in "$program/uid.ini" "$prefix/share/applications/vexmo.desktop" \
  "$prefix/share/icons/hicolor/scalable/apps/vexmo.svg"; do
  [ -e "$file" ] && [ -x "$file" ] && fail "executable data file: $file"
done
writable=$(find "$prefix" -perm /022 -type f)
[ -z "$writable" ] || fail "writable by group or others: $writable"

# uid.ini moves the data folder out of the program folder, for the current user only.
uid=$program/uid.ini
if [ -f "$uid" ]; then
  grep -qx '\[Settings\]' "$uid" || fail "uid.ini has no [Settings] section"
  grep -qx 'UID=[^/\\]\+' "$uid" || fail "uid.ini has no usable UID: $(cat "$uid")"
  grep -qi '^ *Allusers' "$uid" && fail "uid.ini sets Allusers"
fi

# The installed binaries find every library, ours from the program folder and never from the
# build tree; the build folder's RPATH must have been replaced.
for file in "$@"; do
  installed=$program/$(basename "$file")
  case $file in */Plugins/*) installed=$program/Plugins/$(basename "$file") ;; esac
  libs=$(ldd "$installed" 2>&1)
  if echo "$libs" | grep -q 'not found'; then
    fail "ldd $installed: $(echo "$libs" | grep 'not found')"
  fi
  if echo "$libs" | grep 'libvexmo_audio\.so' | grep -qv "=> $program/libvexmo_audio.so "; then
    fail "ldd $installed: libvexmo_audio.so from outside the program folder: $(echo "$libs" | grep libvexmo_audio)"
  fi
  runpath=$(readelf -d "$installed" | grep -E 'RUNPATH|RPATH')
  if echo "$runpath" | grep -qF "$build"; then
    fail "$installed keeps the build RPATH: $runpath"
  fi
done

# vexmo-station runs from the prefix.
station=$program/vexmo-station
if [ -x "$station" ]; then
  "$station" --help >"$work/station.txt" 2>&1 || fail "vexmo-station --help: $(cat "$work/station.txt")"
fi

# quillon, the recorder that Vexmo's Record button starts, runs from the prefix beside it.
quillon=$program/quillon
if printf '%s\n' "$@" | grep -q '/bin/quillon$'; then
  [ -x "$quillon" ] || fail "quillon is not in the program folder"
  "$quillon" --help >"$work/quillon.txt" 2>&1 || fail "quillon --help: $(cat "$work/quillon.txt")"
  grep -q -- '--record SECONDS' "$work/quillon.txt" || fail "quillon --help does not explain --record"
fi

# The launcher starts the installed program, which keeps its settings in the user's configuration
# folder: it runs offscreen until it is up, then closes as at a logout and saves its settings.
launcher=$prefix/bin/vexmo
if [ -e "$launcher" ]; then
  [ -x "$launcher" ] || fail "launcher not executable"
  desktop=$prefix/share/applications/vexmo.desktop
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
  fi
  grep -qx 'Exec=vexmo' "$desktop" || fail "desktop entry does not start the launcher"
  grep -qx 'Icon=vexmo' "$desktop" || fail "desktop entry does not name the icon"

  # Started through a link elsewhere, as a user's ~/bin/vexmo would be.
  mkdir -p "$work/home/bin"
  ln -s "$launcher" "$work/home/bin/vexmo"
  data=$work/home/config/Korvane/Vexmo_$(sed -n 's/^UID=//p' "$uid")
  before=$(cd "$program" && find . | sort)
  mkdir -m 700 "$work/runtime"
  HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/runtime \
    QT_QPA_PLATFORM=offscreen "$work/home/bin/vexmo" >"$work/vexmo.log" 2>&1 &
  pid=$!
  # Closing is only graceful once the program catches SIGTERM (SigCgt bit 15).
  for _ in $(seq 1 300); do
    caught=$(sed -n 's/^SigCgt:[[:space:]]*//p' /proc/$pid/status 2>/dev/null)
    [ -n "$caught" ] && [ $((0x$caught & 0x4000)) -ne 0 ] && break
    alive $pid || break
    sleep 0.1
  done
  if alive $pid; then
    kill -TERM $pid
    for _ in $(seq 1 100); do
      alive $pid || break
      sleep 0.1
    done
    if alive $pid; then
      fail "vexmo did not close on SIGTERM"
      kill -KILL $pid
    fi
    wait $pid
    status=$?
    [ $status -eq 0 ] || fail "vexmo ended with $status: $(cat "$work/vexmo.log")"
  else
    wait $pid
    fail "vexmo ended by itself with $?: $(cat "$work/vexmo.log")"
  fi
  [ -d "$data" ] || fail "no data folder $data"
  for file in settings.ini system.ini windowpos.ini; do
    [ -f "$data/$file" ] || fail "$file not written to $data"
  done
  after=$(cd "$program" && find . | sort)
  [ "$before" = "$after" ] || fail "the program folder changed: $(diff <(echo "$before") <(echo "$after"))"
fi

# A staged install (DESTDIR) lays the same tree under the stage, and its launcher still resolves.
stage=$work/stage
if ! DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/stage.log" 2>&1; then
  cat "$work/stage.log"
  fail "DESTDIR install"
else
  (cd "$stage/usr" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$work/staged"
  diff -q "$actual" "$work/staged" >/dev/null || fail "staged tree differs: $(diff "$actual" "$work/staged")"
  if [ -e "$stage/usr/bin/vexmo" ]; then
    target=$(sed -n 's/^exec "$here\/\(.*\)" "$@"$/\1/p' "$stage/usr/bin/vexmo")
    [ -x "$stage/usr/bin/$target" ] || fail "staged launcher points at $target"
  fi
fi

if [ $failures -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "install tree OK: $(wc -l <"$actual") files"
