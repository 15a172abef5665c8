#!/usr/bin/env bash
# The installed program: `cmake --install` into a temporary prefix must give every file in its
# place, a desktop entry and AppStream metadata that pass their validators, manual pages that
# format without a warning and name every option the programs accept, and a sample recording
# that the installed vantrel-modem decodes to the text it was made from. Then the Debian package:
# the same files under /usr, with dependencies computed from the programs' libraries.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: install_test.sh BUILD_DIR}")
for tool in desktop-file-validate appstreamcli groff man identify cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "install: $tool is not installed (scripts/install-deps)" >&2; exit 1; }
done
prefix=$(mktemp -d /tmp/vantrel-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
  bin/vantrel-chat
  bin/vantrel-guardian
  bin/vantrel-modem
  share/applications/org.vantrel.chat.desktop
  share/metainfo/org.vantrel.chat.metainfo.xml
  share/icons/hicolor/scalable/apps/vantrel-chat.svg
  share/icons/hicolor/64x64/apps/vantrel-chat.png
  share/man/man1/vantrel-chat.1
  share/man/man1/vantrel-guardian.1
  share/man/man1/vantrel-modem.1
  share/doc/vantrel-chat/VantrelChat.htm
  share/doc/vantrel-chat/README.md
  share/vantrel-chat/sample-exchange.flac
  share/vantrel-chat/sample-exchange.txt
)
for f in "${expected[@]}"; do [[ -f $prefix/$f ]] || fail "$f is missing"; done
for f in bin/vantrel-chat bin/vantrel-guardian bin/vantrel-modem; do [[ -x $prefix/$f ]] || fail "$f is not executable"; done
extra=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort | comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[[ -z $extra ]] || fail "unexpected files installed: $extra"
echo "install: every file in its place"

# The menu entry starts an installed program, by the working-folder option, with an icon that is there.
desktop=$prefix/share/applications/org.vantrel.chat.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate failed"
appstreamcli validate --no-net "$prefix/share/metainfo/org.vantrel.chat.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net "$prefix/share/metainfo/org.vantrel.chat.metainfo.xml" >&2; fail "appstreamcli validate failed"; }
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -x $prefix/bin/${exec_line%% *} ]] || fail "Exec=$exec_line names no installed program"
[[ " $exec_line " == *" --from-menu "* ]] || fail "Exec=$exec_line does not say it was started from the menu"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f $prefix/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "no scalable icon $icon"
[[ $(identify -format '%wx%h' "$prefix/share/icons/hicolor/64x64/apps/$icon.png") == 64x64 ]] || fail "the 64x64 icon is not 64x64"
echo "install: desktop entry and metadata valid"

# The manual pages: no formatting warning, and every option of --help documented.
for page in vantrel-chat vantrel-guardian vantrel-modem; do
  file=$prefix/share/man/man1/$page.1
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$file" 2>&1)
  [[ -z $warnings ]] || fail "$page.1: $warnings"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man -l $page.1: $warnings"
done
options_of() { grep -oE '(^|[ ,])--?[a-z][a-z-]*' | sed 's/^[ ,]*//' | sort -u; }
check_options() {  # page help-text
  local shown
  shown=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/$1.1" 2>/dev/null | sed 's/‐/-/g')
  while read -r option; do
    grep -qF -- "$option" <<<"$shown" || fail "$1.1 does not document $option"
  done < <(options_of <<<"$2")
}
check_options vantrel-chat "$("$prefix/bin/vantrel-chat" --help)"
check_options vantrel-modem "$("$prefix/bin/vantrel-modem" encode --help; "$prefix/bin/vantrel-modem" decode --help; "$prefix/bin/vantrel-modem" browse --help)"
echo "install: manual pages format cleanly and document every option"

# The sample, decoded by the installed modem: every line it was made from, in order, exactly.
decoded=$("$prefix/bin/vantrel-modem" decode "$prefix/share/vantrel-chat/sample-exchange.flac" | sed 's/[[:space:]]*$//')
got=$(grep -xF -f "$prefix/share/vantrel-chat/sample-exchange.txt" <<<"$decoded" || true)
if [[ $got != "$(cat "$prefix/share/vantrel-chat/sample-exchange.txt")" ]]; then
  echo "install: the sample decoded to:" >&2
  echo "$decoded" >&2
  fail "the installed sample does not decode to its text"
fi
[[ $(stat -c %s "$prefix/share/vantrel-chat/sample-exchange.flac") -lt 1048576 ]] || fail "the sample is 1 MB or more"
echo "install: the installed sample decodes to its text"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$prefix/package" >"$prefix/cpack.log" 2>&1 ||
  { cat "$prefix/cpack.log" >&2; fail "cpack -G DEB failed"; }
deb=$(ls "$prefix"/package/vantrel-chat_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6multimedia6 libqt6serialport6 libsndfile1 libsamplerate0 libc6; do
  [[ ", $depends" == *", $lib "* ]] || fail "the package does not depend on $lib: $depends"
done
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | sort)
[[ $packaged == "$(printf '%s\n' "${expected[@]}" | sort)" ]] || fail "the package holds: $packaged"
echo "install: the Debian package holds the same files and depends on the libraries"
echo "install: passed"
