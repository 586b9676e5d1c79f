#!/usr/bin/env bash
# Builds TesselWick for 64-bit Windows on Debian: the mingw-w64 cross compilers
# and Wine from Debian, wxWidgets, libcurl (Schannel, Windows' own TLS),
# libxml2, PCRE2 and SQLite built static from Debian's own sources into a
# prefix under build/windows-deps (kept for the next run while the source
# versions stay the same), then the programs with the `windows` preset, the
# installer and the zip.
#   scripts/windows.sh            libraries, programs, installer and zip
#   scripts/windows.sh --test     the same, then the Windows tests under Wine
# Extra CMake options for the programs may be given in TESSELWICK_WINDOWS_CMAKE_ARGS.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
run_tests=0
[ "${1:-}" = "--test" ] && run_tests=1

host=x86_64-w64-mingw32
jobs=$(nproc)
started=$(date +%s)
say() { printf '== %s (%ss)\n' "$*" $(($(date +%s) - started)); }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# Cross compilers, Wine to run the tests, NSIS for the installer.
bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools \
  wine wine64 fonts-wine nsis zip xdotool dpkg-dev nlohmann-json3-dev tcl8.6

# Makes the machine's Debian source packages reachable: a deb-src entry for
# every deb entry, with the same addresses and suites, in whichever of the two
# formats the machine keeps them (one-line sources.list, or deb822 .sources).
enable_sources() {
  apt-cache showsrc curl 2>/dev/null | grep -q '^Package: curl' && return 0
  local list=/etc/apt/sources.list.d/tesselwick-deb-src
  local lines="" stanzas=""
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    lines+=$(sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$f")$'\n'
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$list.sources" ] && continue
    # Each stanza whose Types has deb (and not deb-src yet), copied as deb-src.
    stanzas+=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
      {
        n = split($0, l, "\n"); types = ""
        for (i = 1; i <= n; i++) if (l[i] ~ /^Types:/) types = l[i]
        if (types ~ /[[:space:]]deb([[:space:]]|$)/ && types !~ /deb-src/) {
          out = ""
          for (i = 1; i <= n; i++) {
            if (l[i] ~ /^Types:/) l[i] = "Types: deb-src"
            if (l[i] ~ /^#/) continue
            out = out l[i] "\n"
          }
          print out
        }
      }' "$f")$'\n\n'
  done
  if [ -n "${lines//[[:space:]]/}" ]; then printf '%s\n' "$lines" | $SUDO tee "$list.list" >/dev/null; fi
  if [ -n "${stanzas//[[:space:]]/}" ]; then printf '%s\n' "$stanzas" | $SUDO tee "$list.sources" >/dev/null; fi
  $SUDO apt-get update -qq
}

deps=$root/build/windows-deps
mkdir -p "$deps"

# The source versions that Debian offers now; the prefix is named after them.
enable_sources
version_of() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1; }
wx_version=$(version_of wxwidgets3.2)
curl_version=$(version_of curl)
xml_version=$(version_of libxml2)
pcre2_version=$(version_of pcre2)
sqlite_version=$(version_of sqlite3)
prefix=$deps/prefix-wx${wx_version}-curl${curl_version}-xml${xml_version}
prefix=${prefix//[:~+]/_}

# Fetches and unpacks a Debian source package as its authors released it:
# Debian's own patches (library renamings for GnuTLS and NSS among them) are
# left out.
unpack() {
  local package=$1 version=$2 folder=$3
  rm -rf "$folder"
  mkdir -p "$deps/sources" "$(dirname "$folder")"
  (cd "$deps/sources" && apt-get source --download-only -qq "$package=$version" >/dev/null)
  local dsc
  dsc=$(ls "$deps/sources/${package}_${version#*:}.dsc")
  # apt has checked the files against the archive's signed index already.
  dpkg-source --no-check --skip-patches -x "$dsc" "$folder" >/dev/null
}

tools=(CC="$host-gcc-posix" CXX="$host-g++-posix" AR="$host-gcc-ar-posix" RANLIB="$host-gcc-ranlib-posix"
  RC="$host-windres" WINDRES="$host-windres" STRIP="$host-strip" CFLAGS="-O2 -w" CXXFLAGS="-O2 -w")

build_xml() {
  [ -f "$prefix/.libxml2" ] && return 0
  say "libxml2 $xml_version"
  local src=$deps/build/libxml2
  unpack libxml2 "$xml_version" "$src"
  (cd "$src" && ./configure -q --host=$host --prefix="$prefix" "${tools[@]}" \
    --disable-shared --enable-static --without-python --without-zlib --without-lzma --without-iconv \
    --without-icu --without-http --without-ftp --without-threads --without-debug --without-modules \
    --without-catalog --without-docbook --without-legacy --without-html --without-schematron \
    >/dev/null && make -s -j"$jobs" libxml2.la >/dev/null &&
    make -s install-libLTLIBRARIES install-pkgconfigDATA >/dev/null && make -s -C include install >/dev/null)
  touch "$prefix/.libxml2"
}

# PCRE2's 8-bit library with JIT; a new version is built into the same prefix
# (its stamp names the version), so the prefix and its wxWidgets stay.
# Debian's own patches are left out, so any revision of the same release
# gives the same library: when the archive no longer has the newest one's
# files, the next older is taken.
build_pcre2() {
  [ -f "$prefix/.pcre2" ] && [ "$(cat "$prefix/.pcre2")" = "$pcre2_version" ] && return 0
  say "PCRE2 $pcre2_version"
  local src=$deps/build/pcre2 version
  for version in $(apt-cache showsrc pcre2 | sed -n 's/^Version: //p' | sort -V -r); do
    [ "${version%-*}" = "${pcre2_version%-*}" ] || continue
    if unpack pcre2 "$version" "$src" 2>/dev/null; then break; fi
    say "PCRE2 $version is not in the archive; trying an older revision"
  done
  [ -f "$src/configure" ] || { echo "windows.sh: no source of PCRE2 $pcre2_version" >&2; exit 1; }
  (cd "$src" && ./configure -q --host=$host --prefix="$prefix" "${tools[@]}" \
    --disable-shared --enable-static --enable-jit --disable-pcre2grep-libz \
    --disable-pcre2grep-libbz2 --disable-pcre2test-libedit --disable-pcre2test-libreadline \
    >/dev/null && make -s -j"$jobs" libpcre2-8.la >/dev/null &&
    make -s install-libLTLIBRARIES install-nodist_includeHEADERS install-pkgconfigDATA \
      >/dev/null)
  echo "$pcre2_version" >"$prefix/.pcre2"
}

# SQLite's sources make their one C file (the amalgamation) with Tcl and with
# small programs built for this machine first (BCC); those keep no .exe,
# which the make files would give them when the target is Windows. The prefix
# is named after the other libraries; its stamp holds SQLite's source version.
build_sqlite() {
  [ "$(cat "$prefix/.sqlite3" 2>/dev/null)" = "$sqlite_version" ] && return 0
  say "SQLite $sqlite_version"
  local src=$deps/build/sqlite3
  unpack sqlite3 "$sqlite_version" "$src"
  mkdir -p "$src/msw" "$prefix/include" "$prefix/lib/pkgconfig"
  (cd "$src/msw" && config_BUILD_EXEEXT= config_TARGET_EXEEXT=.exe ../configure -q --host=$host \
    --prefix="$prefix" "${tools[@]}" BCC=gcc TCLSH_CMD=tclsh8.6 \
    --disable-shared --enable-static --disable-tcl --disable-readline --disable-load-extension \
    --enable-threadsafe >/dev/null && make -s -j"$jobs" BEXE= libsqlite3.la >/dev/null &&
    make -s BEXE= lib_install >/dev/null &&
    install -m 644 sqlite3.h ../src/sqlite3ext.h "$prefix/include/" &&
    install -m 644 sqlite3.pc "$prefix/lib/pkgconfig/")
  printf '%s\n' "$sqlite_version" >"$prefix/.sqlite3"
}

build_curl() {
  # Named after what the build holds, so that a prefix built before Windows'
  # own IDN was in builds libcurl again.
  [ -f "$prefix/.curl-winidn" ] && return 0
  say "libcurl $curl_version"
  local src=$deps/build/curl
  unpack curl "$curl_version" "$src"
  (cd "$src" && ./configure -q --host=$host --prefix="$prefix" "${tools[@]}" \
    --disable-shared --enable-static --with-schannel --without-zlib --without-brotli \
    --without-zstd --without-libidn2 --with-winidn --without-nghttp2 --without-libpsl --without-librtmp \
    --without-libssh2 --disable-ldap --disable-ldaps --disable-rtsp --disable-dict --disable-telnet \
    --disable-tftp --disable-pop3 --disable-imap --disable-smb --disable-smtp --disable-gopher \
    --disable-mqtt --disable-ftp --disable-file --disable-manual \
    >/dev/null && make -s -j"$jobs" -C lib >/dev/null && make -s -C lib install >/dev/null &&
    make -s -C include install >/dev/null && make -s install-pkgconfigDATA >/dev/null)
  # International host names go through Windows' own IdnToAscii (normaliz).
  # A static libcurl needs CURL_STATICLIB in its users, and mingw's threads
  # come with the compiler, not as -lpthread.
  sed -i -e 's/^Cflags: \(.*\)$/Cflags: \1 -DCURL_STATICLIB/' -e 's/ -lpthread//g' "$prefix/lib/pkgconfig/libcurl.pc"
  touch "$prefix/.curl-winidn"
}

build_wx() {
  [ -f "$prefix/.wx" ] && return 0
  say "wxWidgets $wx_version"
  local src=$deps/build/wxwidgets
  unpack wxwidgets3.2 "$wx_version" "$src"
  mkdir -p "$src/msw"
  (cd "$src/msw" && ../configure -q --host=$host --prefix="$prefix" "${tools[@]}" \
    --with-msw --disable-shared --enable-pch --enable-unicode \
    --without-libpng --without-zlib --without-expat --without-libjpeg --without-libtiff \
    --without-liblzma --without-libcurl --without-opengl --without-regex --disable-svg \
    --disable-webview --disable-mediactrl --disable-html --disable-xrc --disable-aui \
    --disable-propgrid --disable-ribbon --disable-richtext --disable-stc --disable-sockets \
    --disable-webrequest --disable-debug_info --disable-tests \
    >/dev/null && make -s -j"$jobs" >/dev/null && make -s install >/dev/null)
  touch "$prefix/.wx"
}

# nlohmann's JSON library is header-only: its headers and CMake files are
# staged into the prefix, so the cross build never sees the rest of /usr/include.
stage_json() {
  rm -rf "$prefix/include/nlohmann" "$prefix/share/cmake/nlohmann_json"
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  cp -a /usr/include/nlohmann "$prefix/include/"
  cp -a /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
}

say "libraries into $prefix"
build_xml
build_pcre2
build_sqlite
build_curl
build_wx
stage_json
say "libraries ready"

# The programs, installed into build/windows/TesselWick, then the installer
# and the zip of the same files.
site_url=${TESSELWICK_SITE_URL:-http://127.0.0.1:8417}
version=$(sed -n 's/^project(TesselWick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
say "programs"
tests=OFF
((run_tests)) && tests=ON
# shellcheck disable=SC2086
cmake --preset windows -DTESSELWICK_WINDOWS_PREFIX="$prefix" -DTESSELWICK_SITE_URL="$site_url" \
  -DTESSELWICK_BUILD_TESTS=$tests ${TESSELWICK_WINDOWS_CMAKE_ARGS:-} >/dev/null
cmake --build --preset windows
out=$root/build/windows
rm -rf "$out/TesselWick"
cmake --install "$out" --strip >/dev/null
# The programs are linked static, so the notices that the licences of what is
# linked into them ask to be passed on go with them.
notices=$out/TesselWick/licences
mkdir -p "$notices"
for notice in wxWidgets:wxwidgets/docs/licence.txt curl:curl/COPYING libxml2:libxml2/Copyright \
  PCRE2:pcre2/LICENCE; do
  cp "$deps/build/${notice#*:}" "$notices/${notice%%:*}.txt"
done
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$notices/mingw-w64.txt"
printf 'SQLite is in the public domain: https://www.sqlite.org/copyright.html\r\n' >"$notices/SQLite.txt"

say "installer and zip"
installer=$out/TesselWick-$version-setup.exe
zipfile=$out/TesselWick-$version-windows-x64.zip
makensis -V2 -DVERSION="$version" -DFILES="$out/TesselWick" -DICON="$out/windows/tesselwick.ico" \
  -DOUTFILE="$installer" windows/installer.nsi
rm -f "$zipfile"
(cd "$out" && zip -q -r -X "$zipfile" TesselWick)
ls -l "$installer" "$zipfile" "$out"/TesselWick/*.exe
say "built"
((run_tests)) || exit 0

# The tests under Wine, in a Wine prefix of their own.
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
check=$out/check
rm -rf "$check"
mkdir -p "$check"
site_pid=""
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  # Either may have ended already.
  if [ -n "$site_pid" ]; then kill "$site_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  return 0
}
trap cleanup EXIT
# One virtual X server for all of Wine's runs: Wine's desktop process stays
# with the display it started on.
for display in $(seq 120 199); do
  [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  kill -0 "$xvfb_pid" 2>/dev/null && break
  xvfb_pid=""
done
[ -n "$xvfb_pid" ] || { echo "windows.sh: no virtual X server" >&2; exit 1; }
export DISPLAY=":$display"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "Wine prefix"
  wineboot -i >/dev/null 2>&1
fi
winpath() { winepath -w "$1" 2>/dev/null; }

say "platform tests"
wine "$out/windows/tesselwick_platform_tests.exe"

say "the installer, silently: installed, started, uninstalled"
installed="$WINEPREFIX/drive_c/Program Files/TesselWick"
menu_entry="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TesselWick.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TesselWick'
wine "$installer" /S
for file in tesselwick.exe tesselwick-submit.exe manual.htm LICENSE.txt Uninstall.exe \
  locale/de/LC_MESSAGES/tesselwick.mo licences/curl.txt licences/wxWidgets.txt; do
  [ -f "$installed/$file" ] || { echo "windows.sh: $file was not installed" >&2; exit 1; }
done
[ -f "$menu_entry" ] || { echo "windows.sh: no Start-menu entry" >&2; exit 1; }
wine reg query "$uninstall_key" /v DisplayVersion | grep -q "$version"
wine "$installed/tesselwick-submit.exe" --version | tr -d '\r' | grep -qx "tesselwick-submit .*"
wine "$installed/Uninstall.exe" /S
# The uninstaller runs on from a copy of itself.
for _ in $(seq 50); do
  [ -e "$installed" ] || [ -e "$menu_entry" ] || break
  sleep 0.2
done
[ ! -e "$installed" ] && [ ! -e "$menu_entry" ] || { echo "windows.sh: not uninstalled" >&2; exit 1; }
! wine reg query "$uninstall_key" >/dev/null 2>&1

# The Linux programs to compare with: CI's own build when it has the same site
# address, else the site-check preset's programs in a folder of their own.
linux=$root/build/ci
if [ "$site_url" != "http://127.0.0.1:8417" ] || [ ! -x "$linux/server/tesselwick-site" ] ||
  [ ! -x "$linux/src/cli/tesselwick-submit" ]; then
  say "Linux programs to compare with"
  linux=$root/build/windows-linux
  cmake --preset site-check -B "$linux" -DTESSELWICK_SITE_URL="$site_url" >/dev/null
  cmake --build "$linux" --target tesselwick-site tesselwick-submit
fi

say "tesselwick-submit.exe against the demo site"
port=${site_url##*:}
port=${port%%/*}
"$linux/server/tesselwick-site" --demo --port "$port" >"$check/site.log" 2>&1 &
site_pid=$!
for _ in $(seq 50); do
  curl -sf -o /dev/null "$site_url/" && break
  sleep 0.2
done
# Another program on the port would answer in its place.
kill -0 "$site_pid" 2>/dev/null ||
  { echo "windows.sh: the demo site did not start (is port $port taken?):" >&2; cat "$check/site.log" >&2; exit 1; }
pad_url="$site_url/demo/pad.xml"
# A folder whose name is not ASCII: wide paths and arguments must carry it.
linux_dir="$check/linux/Übungsordner"
windows_dir="$check/windows/Übungsordner"
mkdir -p "$linux_dir" "$windows_dir"
set +e
"$linux/src/cli/tesselwick-submit" --folder "$linux_dir" --update "$pad_url" >"$check/linux.out" 2>"$check/linux.err"
linux_status=$?
wine "$out/TesselWick/tesselwick-submit.exe" --folder "$(winpath "$windows_dir")" --update "$pad_url" \
  >"$check/windows.out" 2>"$check/windows.err"
windows_status=$?
set -e
tr -d '\r' <"$check/windows.out" >"$check/windows.lines"
echo "exit status: Linux $linux_status, Windows $windows_status"
cat "$check/windows.lines"
[ "$linux_status" = "$windows_status" ] || { echo "windows.sh: exit status differs" >&2; exit 1; }
# The sites answer in their own time: the lines come in any order.
cmp <(sort "$check/linux.out") <(sort "$check/windows.lines")
for file in pad.dat Report.htm tesselwick.ini; do cmp "$linux_dir/$file" "$windows_dir/$file"; done
echo "the same lines, pad.dat, Report.htm and tesselwick.ini as on Linux"
# A host name outside ASCII goes through Windows' own IDN: the PAD file is
# read and checked as on Linux.
idn_url="http://bücher.localhost:$port/demo/pad.xml"
set +e
"$linux/src/cli/tesselwick-submit" --check "$idn_url" >"$check/linux-idn.out" 2>/dev/null
linux_status=$?
wine "$out/TesselWick/tesselwick-submit.exe" --check "$idn_url" >"$check/windows-idn.out" 2>/dev/null
windows_status=$?
set -e
# 2: the PAD file could not be fetched.
[ "$windows_status" != 2 ] || { echo "windows.sh: $idn_url was not reached" >&2; exit 1; }
[ "$linux_status" = "$windows_status" ] || { echo "windows.sh: $idn_url: exit status differs" >&2; exit 1; }
cmp "$check/linux-idn.out" <(tr -d '\r' <"$check/windows-idn.out")
echo "an international host name is reached as on Linux"

say "the window under Wine: a PAD URL typed, Submit pressed"
gui_dir="$check/gui"
mkdir -p "$gui_dir"
cp "$windows_dir/pad.dat" "$gui_dir/"
# The places are those of the window's fixed layout: the PAD URL box and the
# Submit button. Without a window manager the windows have no title bars.
wine "$out/TesselWick/tesselwick.exe" --folder "$(winpath "$gui_dir")" >"$check/gui.log" 2>&1 &
window=$(timeout 60 xdotool search --sync --name "^TesselWick\$" | head -n 1)
[ -n "$window" ] || { echo "windows.sh: the window did not show" >&2; exit 1; }
sleep 2
import -window root "$out/tesselwick-wine-start.png"
xdotool mousemove --window "$window" 200 17 click 1
xdotool type --delay 10 "$pad_url"
xdotool mousemove --window "$window" 503 50 click 1
sleep 0.7
import -window root "$out/tesselwick-wine-progress.png"
for _ in $(seq 300); do
  [ -f "$gui_dir/Report.htm" ] && break
  sleep 0.2
done
# The progress window has become the run's results: Close returns to the
# main window (its button sits at the bottom right of the results window).
results=$(timeout 30 xdotool search --sync --name "^Submission Results\$" | head -n 1)
[ -n "$results" ] || { echo "windows.sh: the results did not show" >&2; exit 1; }
sleep 1
import -window root "$out/tesselwick-wine.png"
eval "$(xdotool getwindowgeometry --shell "$results")"
xdotool mousemove --window "$results" $((WIDTH - 65)) $((HEIGHT - 24)) click 1
for _ in $(seq 50); do
  xdotool search --name "^Submission Results\$" >/dev/null || break
  sleep 0.2
done
# Quit: the PAD URL history is saved as the window closes.
xdotool mousemove --window "$window" 503 21 click 1
for _ in $(seq 100); do
  tr -d '\r' <"$gui_dir/tesselwick.ini" | grep -qx "URL=$pad_url" && break
  sleep 0.2
done
wineserver -k || true
cmp "$gui_dir/Report.htm" "$linux_dir/Report.htm"
tr -d '\r' <"$gui_dir/tesselwick.ini" | grep -qx "URL=$pad_url"
echo "the window's Report.htm is the Linux one; tesselwick.ini keeps the PAD URL"
echo "screenshots: $out/tesselwick-wine-start.png $out/tesselwick-wine-progress.png $out/tesselwick-wine.png"
say "Windows tests passed"
