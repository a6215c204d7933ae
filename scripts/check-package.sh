#!/usr/bin/env bash
# Checks the Debian package that `make package` built, without installing
# it: control fields, the runtime dependencies dpkg-shlibdeps found, the
# file list, and the unpacked tree through the same checks as an install.
#
#   scripts/check-package.sh [--build DIR] [--version V] [--id APP_ID]
#                            [--cpack CONFIG] [DEB]
#
# Without DEB it takes DIR/kestrin_V_<arch>.deb (DIR defaults to build).
# --cpack first builds the package into DIR from a build's CPackConfig.cmake,
# which is how ctest checks it without `make package`.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
version=
cpack_config=
deb=
id=org.example.kestrin
while [[ $# -gt 0 ]]; do
    case $1 in
    --build) build=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --cpack) cpack_config=$2; shift 2 ;;
    --id) id=$2; shift 2 ;;
    -h|--help) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) deb=$1; shift ;;
    esac
done

if [[ -n $cpack_config ]]; then
    mkdir -p "$build"
    rm -f "$build"/kestrin_*.deb
    "${CPACK:-cpack}" --config "$cpack_config" -B "$build" >"$build/cpack.log" 2>&1 || {
        cat "$build/cpack.log"
        exit 1
    }
fi

arch=$(dpkg --print-architecture)
if [[ -z $deb ]]; then
    candidates=()
    for f in "$build"/kestrin_${version:-*}_"$arch".deb; do
        [[ -f $f ]] && candidates+=("$f")
    done
    if [[ ${#candidates[@]} -eq 0 ]]; then
        echo "no kestrin_${version:-*}_$arch.deb in $build (run make package)"
        exit 1
    fi
    deb=${candidates[-1]}
fi

status=0
fail() { echo "FAIL: $*" >&2; status=1; }
field() { dpkg-deb --field "$deb" "$1"; }

echo "== $deb"
dpkg-deb --field "$deb"

[[ $(field Package) == kestrin ]] || fail "package is named '$(field Package)'"
[[ -z $version || $(field Version) == "$version" ]] || fail "version $(field Version), not $version"
[[ $(field Architecture) == "$arch" ]] || fail "architecture $(field Architecture), not $arch"
for f in Maintainer Section Description Homepage; do
    [[ -n $(field "$f") ]] || fail "no $f field"
done

contents=$(dpkg-deb --contents "$deb")
paths=$(awk '{print $6}' <<<"$contents" | sed 's|^\./|/|; s|/$||' | grep -v '^$' || true)

# Everything under /usr, owned by root: a package must not put files in
# /usr/local or /home, nor carry the builder's user.
if grep -v -E '^/(usr(/.*)?)?$' <<<"$paths"; then
    fail "files outside /usr (above)"
fi
if awk '$2 != "root/root"' <<<"$contents" | grep .; then
    fail "entries not owned by root (above)"
fi

# Depends must name the runtime of each binary shipped: the C and C++
# runtime for both, Qt Core and Widgets for the window. Qt Gui, which holds
# the X11 platform plugin, comes with Widgets even when the linker left
# the window's own link to it out.
depends=$(field Depends)
need_dep() { [[ ", $depends" == *", $1"[\ ,]* || ", $depends" == *", $1" ]] || fail "Depends lacks $1"; }
has_kestrin=; has_sim=
grep -qx /usr/bin/kestrin <<<"$paths" && has_kestrin=1
grep -qx /usr/bin/kestrin-sim <<<"$paths" && has_sim=1
if [[ -n $has_kestrin || -n $has_sim ]]; then
    need_dep libc6
    need_dep libstdc++6
fi
if [[ -n $has_kestrin ]]; then
    need_dep libqt6core6
    need_dep libqt6widgets6
fi
[[ -n $has_kestrin ]] || echo "note: the package holds no /usr/bin/kestrin yet"
[[ -n $has_sim ]] || echo "note: the package holds no /usr/bin/kestrin-sim yet"

# The unpacked tree passes the same checks as `cmake --install`.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
bins=()
[[ -n $has_kestrin ]] && bins+=(kestrin)
[[ -n $has_sim ]] && bins+=(kestrin-sim)
checks=$root/tests/desktop/desktop_checks.sh
for check in tree entry metainfo manpages; do
    args=("$tmp/usr")
    [[ $check != manpages ]] && args+=("$id")
    [[ $check == tree ]] && args+=("${bins[@]}")
    rc=0
    "$checks" "$check" "${args[@]}" || rc=$?
    case $rc in
    0) echo "ok: unpacked $check" ;;
    77) echo "skipped: unpacked $check" ;;
    *) fail "unpacked $check" ;;
    esac
done

if command -v lintian >/dev/null; then
    # Lintian's opinion is shown, not enforced: some of its tags are about
    # Debian's own archive and do not apply to a package built by CPack.
    lintian --no-tag-display-limit "$deb" || true
fi

[[ $status -eq 0 ]] && echo "package OK"
exit $status
