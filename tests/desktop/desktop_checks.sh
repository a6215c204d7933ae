#!/usr/bin/env bash
# Checks of an installed kestrin tree, one per ctest case:
#   desktop_checks.sh tree      TREE APP_ID [BINARY...]
#   desktop_checks.sh entry     TREE APP_ID
#   desktop_checks.sh metainfo  TREE APP_ID
#   desktop_checks.sh manpages  TREE
# A missing validator skips its case (exit 77) instead of passing silently.
set -euo pipefail

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; status=1; }
need() { command -v "$1" >/dev/null || skip "$1 not installed (make deps installs ${2:-$1})"; }

check=$1 tree=$2
shift 2
status=0

# Width and height from a PNG's IHDR chunk, which always comes first.
png_size() {
    local b
    read -r -a b < <(od -An -v -tu1 -j16 -N8 "$1")
    echo "$(( (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3] ))x$(( (b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7] ))"
}

case $check in
tree)
    id=$1
    shift
    expected=(
        "share/applications/$id.desktop"
        "share/metainfo/$id.metainfo.xml"
        "share/icons/hicolor/scalable/apps/$id.svg"
        "share/man/man1/kestrin.1.gz"
        "share/man/man1/kestrin-sim.1.gz"
        "share/doc/kestrin/copyright"
    )
    for size in 16 32 48 64 128 256; do
        expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
    done
    for f in "${expected[@]}"; do
        [[ -f $tree/$f ]] || fail "$f not installed"
    done

    # An icon put in the wrong size folder is scaled by the desktop and looks
    # blurred; the theme trusts the folder name.
    for png in "$tree"/share/icons/hicolor/*x*/apps/"$id".png; do
        [[ -f $png ]] || continue
        folder=$(basename "$(dirname "$(dirname "$png")")")
        actual=$(png_size "$png")
        [[ $actual == "$folder" ]] || fail "${png#"$tree"/} is $actual, not $folder"
    done

    # The entry must start a program and show an icon that this tree holds.
    entry=$tree/share/applications/$id.desktop
    if [[ -f $entry ]]; then
        icon=$(sed -n 's/^Icon=//p' "$entry")
        [[ $icon == "$id" ]] || fail "desktop entry names icon '$icon', not the desktop id"
        exec_bin=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
        for bin in "$@"; do
            [[ $bin == "$exec_bin" ]] && exec_found=1
        done
        if [[ $# -gt 0 && -z ${exec_found:-} ]]; then
            fail "desktop entry runs '$exec_bin', which the tree does not install"
        fi
    fi

    # Binaries run from the tree: every library they need resolves, and
    # nothing points back into the build folder.
    for bin in "$@"; do
        path=$tree/bin/$bin
        if [[ ! -x $path ]]; then
            fail "bin/$bin not installed"
            continue
        fi
        if ldd "$path" | grep -q 'not found'; then
            fail "bin/$bin needs libraries that are not installed:"
            ldd "$path" | grep 'not found' >&2
        fi
        if readelf -d "$path" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -q "${BUILD_DIR:-/nonexistent}"; then
            fail "bin/$bin keeps a run path into the build folder"
        fi
    done
    # The man page and --help list the same options, so neither goes stale
    # when the other changes.
    page=$tree/share/man/man1/kestrin-sim.1.gz
    if [[ " $* " == *" kestrin-sim "* && -x $tree/bin/kestrin-sim && -f $page ]]; then
        help=$(timeout 10 "$tree/bin/kestrin-sim" --help 2>&1) || fail "bin/kestrin-sim --help failed"
        in_help=$(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
        in_page=$(zcat "$page" | sed -n '/^\.SH OPTIONS/,/^\.SH /p' | sed 's/\\-/-/g' |
            grep -oE -- '--[a-z][a-z-]*' | sort -u)
        missing=$(comm -23 <(echo "$in_help") <(echo "$in_page") | tr '\n' ' ')
        extra=$(comm -13 <(echo "$in_help") <(echo "$in_page") | tr '\n' ' ')
        [[ -z $missing ]] || fail "kestrin-sim --help has options the man page lacks: $missing"
        [[ -z $extra ]] || fail "the kestrin-sim man page has options --help lacks: $extra"
    fi
    ;;
entry)
    need desktop-file-validate desktop-file-utils
    desktop-file-validate "$tree/share/applications/$1.desktop" || status=1
    ;;
metainfo)
    need appstreamcli appstream
    appstreamcli validate --no-net --explain "$tree/share/metainfo/$1.metainfo.xml" || status=1
    # The whole tree: the metainfo's launchable names an entry that exists
    # and the entry's icon is found.
    appstreamcli validate-tree --no-net "$tree" || status=1
    ;;
manpages)
    need groff groff-base
    for page in "$tree"/share/man/man1/*.1.gz; do
        warnings=$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -ww -z -Tutf8 2>&1)
        [[ -z $warnings ]] || fail "${page##*/}: $warnings"
    done
    ;;
*)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
exit $status
