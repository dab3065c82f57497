#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a user get: exactly the
# expected files, a desktop entry and metainfo that the validators accept, icons of the sizes
# their folders claim, man pages that render without warnings, programs that start. When
# scripts/package has made the Debian package, checks its files, its dependencies and that the
# program starts from it as well.
# Usage: install_test.sh BUILD_DIR PROJECT_VERSION PACKAGE_DIR
set -euo pipefail
build_dir=$1
version=$2
package_dir=$3

app_id=de.talwick.VemoCreator
icon_sizes=(16 24 32 48 64 72 96 128)

missing=()
for tool in desktop-file-validate appstreamcli groff readelf; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "missing tools: ${missing[*]} (scripts/test installs desktop-file-utils, appstream, groff-base)"
  if [ "${CI:-}" = true ]; then echo "CI=true: this must run, failing"; exit 1; fi
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The installed files, relative to the prefix; directories are not listed.
expected_files() {
  local size
  echo bin/shortlink-service
  echo bin/vemo-creator
  echo "share/applications/$app_id.desktop"
  for size in "${icon_sizes[@]}"; do echo "share/icons/hicolor/${size}x${size}/apps/$app_id.png"; done
  echo "share/icons/hicolor/scalable/apps/$app_id.svg"
  echo share/man/man1/shortlink-service.1
  echo share/man/man1/vemo-creator.1
  echo "share/metainfo/$app_id.metainfo.xml"
}

# desktop_key FILE KEY: the value of KEY in the [Desktop Entry] group.
desktop_key() {
  awk -v key="$2" '
    /^\[/ { in_entry = ($0 == "[Desktop Entry]") }
    in_entry && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$1"
}

# png_size FILE: "WIDTHxHEIGHT" from the PNG header.
png_size() {
  local bytes
  read -r -a bytes <<<"$(od -An -tu1 -j16 -N8 "$1")"
  echo "$(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]))x$(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))"
}

# check_tree ROOT PREFIX_IN_ROOT WHAT: everything but the file list, for an installed tree.
check_tree() {
  local root=$1 prefix=$2 what=$3
  local data=$root$prefix/share
  local desktop=$data/applications/$app_id.desktop

  if ! out=$(desktop-file-validate "$desktop" 2>&1); then
    fail "$what: desktop-file-validate rejects the desktop entry:"
    printf '%s\n' "$out"
  fi
  local key
  for key in Name 'Name[de]' Comment 'Comment[de]'; do
    [ -n "$(desktop_key "$desktop" "$key")" ] || fail "$what: desktop entry has no $key"
  done
  [ "$(desktop_key "$desktop" Icon)" = "$app_id" ] || fail "$what: desktop entry's Icon is not $app_id"
  [[ ";$(desktop_key "$desktop" Categories)" == *";Network;"* ]] ||
    fail "$what: desktop entry is not in the category Network"
  local exec
  exec=$(desktop_key "$desktop" Exec)
  [ -x "$root$prefix/bin/${exec%% *}" ] || fail "$what: desktop entry's Exec '$exec' is not an installed program"

  # validate-tree validates the metainfo and that the desktop entry it launches is installed.
  if ! out=$(appstreamcli validate-tree --no-net "$root$prefix" 2>&1); then
    fail "$what: appstreamcli rejects the metainfo:"
    printf '%s\n' "$out"
  fi
  local metainfo=$data/metainfo/$app_id.metainfo.xml
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "$what: metainfo does not launch $app_id.desktop"
  local newest
  newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
  [ "$newest" = "$version" ] || fail "$what: newest release in the metainfo is '$newest', the project is $version"

  local size actual
  for size in "${icon_sizes[@]}"; do
    actual=$(png_size "$data/icons/hicolor/${size}x${size}/apps/$app_id.png")
    [ "$actual" = "${size}x${size}" ] || fail "$what: the ${size}x${size} icon is $actual"
  done
  grep -q '<svg' "$data/icons/hicolor/scalable/apps/$app_id.svg" || fail "$what: the scalable icon is no SVG"

  local page name
  for page in "$data"/man/man1/*.1; do
    name=$(basename "$page" .1)
    if ! out=$(LC_ALL=C.UTF-8 groff -man -k -ww -z -Tutf8 "$page" 2>&1) || [ -n "$out" ]; then
      fail "$what: man page $name does not render cleanly:"
      printf '%s\n' "$out"
    fi
    grep -q "^\.TH ${name^^} 1 .*\"Vemo Creator $version\"" "$page" ||
      fail "$what: man page $name does not name itself and Vemo Creator $version in .TH"
  done

  local program
  for program in vemo-creator shortlink-service; do
    if readelf -d "$root$prefix/bin/$program" | grep -Eq '\((RPATH|RUNPATH)\)'; then
      fail "$what: $program keeps a library search path from the build"
    fi
  done
  "$root$prefix/bin/shortlink-service" --help | grep -q '^Usage: shortlink-service' ||
    fail "$what: shortlink-service --help does not show its usage"

  # The program runs until it is closed: still running when the time-out ends it (124), with
  # its store file made in the working directory.
  local run=$work/run-$what rc=0
  mkdir -p "$run"
  (cd "$run" && QT_QPA_PLATFORM=offscreen timeout 3 "$root$prefix/bin/vemo-creator") \
    >"$work/run.log" 2>&1 || rc=$?
  if [ "$rc" -ne 124 ] || [ ! -f "$run/url.vlst" ]; then
    fail "$what: vemo-creator did not start and keep running (exit code $rc)"
    cat "$work/run.log"
  fi
}

prefix=$work/prefix
if ! cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install failed"
  exit 1
fi
if ! out=$(diff <(expected_files | sort) <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)); then
  fail "cmake --install: the installed files differ from the expected ones (< missing, > extra):"
  printf '%s\n' "$out"
fi
check_tree "$prefix" "" "install"

arch=$(dpkg --print-architecture 2>/dev/null || echo unknown)
deb=$package_dir/vemo-creator_${version}_${arch}.deb
if [ -f "$deb" ]; then
  echo "checking $deb"
  for field in Package Version Architecture; do
    want=$(case $field in Package) echo vemo-creator ;; Version) echo "$version" ;; *) echo "$arch" ;; esac)
    [ "$(dpkg-deb -f "$deb" "$field")" = "$want" ] || fail "package: $field is not $want"
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  for dependency in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libjpeg62-turbo \
    libsqlite3-0 qt6-qpa-plugins; do
    [[ ", $depends," == *", $dependency "* || ", $depends," == *", $dependency,"* ]] ||
      fail "package: Depends lacks $dependency"
  done
  if ! out=$(diff <(expected_files | sed 's|^|usr/|' | sort) \
    <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)); then
    fail "package: its files differ from the expected ones (< missing, > extra); is it out of date? run scripts/package"
    printf '%s\n' "$out"
  fi
  dpkg-deb -x "$deb" "$work/root"
  check_tree "$work/root" /usr "package"
else
  echo "no $deb: the package is not checked (scripts/package makes it)"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install test passed"
