# Debian 12 packages the builds, tests and demo need; sourced by scripts/test and scripts/demo.
# Installs only when something is missing, so repeated runs are quick and work without a network.

PAWN_PACKAGES=(
    # build tools and the three compilers: native g++, its 32-bit multilib, MinGW-w64 for the DLL
    cmake ninja-build make pkg-config g++ g++-multilib
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    # the 32-bit test programs run under user-mode emulation
    qemu-user
    # test and benchmark frameworks (GoogleTest is built from /usr/src/googletest)
    googletest libgtest-dev libbenchmark-dev
    # the reference host's media parts
    libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
    libfreetype-dev fonts-dejavu-core libpng-dev libsdl2-dev libpixman-1-dev
    # demo rendering and the fuzz build
    ffmpeg xvfb clang libclang-rt-14-dev
    # the shipping DLL run on an emulated CPU by a host built with the Windows compiler conventions
    libunicorn-dev lld llvm
)

pawn_missing_packages() {
    local package
    for package in "${PAWN_PACKAGES[@]}"; do
        if [[ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null)" != ii* ]]; then
            printf '%s\n' "$package"
        fi
    done
}

pawn_install_packages() {
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "packages: this is not a Debian system; install the equivalents of: ${PAWN_PACKAGES[*]}" >&2
        return 1
    fi
    local missing
    mapfile -t missing < <(pawn_missing_packages)
    if ((${#missing[@]} == 0)); then
        echo "packages: all ${#PAWN_PACKAGES[@]} needed packages are installed"
        return 0
    fi
    echo "packages: installing ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "packages: not root and no sudo; install as root: apt-get install ${missing[*]}" >&2
            return 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
}
