#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quillet need, and only
# those that are missing, so a second call costs a few dpkg look-ups and nothing else.
set -euo pipefail

PACKAGES=(
  # native build of the logic and its tests, benchmarks and fuzzing
  cmake g++ make pkg-config libgtest-dev googletest libbenchmark-dev clang libfuzzer-14-dev hyperfine
  # cross build of quillet.exe
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  # its second build with clang (cmake/clang-mingw-w64.cmake), which links with LLVM's lld
  lld
  # running it: Wine, a virtual screen with a window manager, CJK fonts, screenshots
  wine wine64 xvfb xdotool imagemagick fonts-wqy-microhei x11-utils openbox
  # the service requests of the native build (HTTP(S) posts, MD5) and the e-mail check
  libssl-dev libcurl4-openssl-dev libpcre2-dev
  # the maker's web service: HTTP(S) server, SQLite and PostgreSQL storage, its test database,
  # the test certificate authority, the load generator, and nginx as its documented front
  # (TLS and request buffering; the tests and benchmarks run their own with a private prefix)
  libcpp-httplib-dev libsqlite3-dev libpq-dev postgresql openssl wrk nginx
  # the release package: the installer compiler and the portable zip
  nsis zip unzip
)
# Further packages (e.g. libraries a later part of the program needs) can be named here.
if [[ -n "${QUILLET_EXTRA_PACKAGES:-}" ]]; then
  read -r -a extra <<<"$QUILLET_EXTRA_PACKAGES"
  PACKAGES+=("${extra[@]}")
fi

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  if [[ "$status" != "installed" ]]; then
    missing+=("$pkg")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=()
if [[ $(id -u) -ne 0 ]]; then
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"

# Debian's nginx package starts a system nginx on port 80 unless /usr/sbin/policy-rc.d forbids
# it. The tests and benchmarks start their own (nginx -p DIR), so a system nginx that this script
# brought is stopped and kept from starting at boot: nothing is left listening on port 80.
if [[ " ${missing[*]} " == *" nginx "* ]]; then
  if [[ -d /run/systemd/system ]]; then
    "${SUDO[@]}" systemctl disable --now nginx.service >/dev/null 2>&1 || true
  else
    "${SUDO[@]}" invoke-rc.d nginx stop >/dev/null 2>&1 || true
    "${SUDO[@]}" update-rc.d nginx disable >/dev/null 2>&1 || true
  fi
fi
