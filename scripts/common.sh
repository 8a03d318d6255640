# Sourced by the scripts that build: the one way they set up the machine and
# configure a build tree.
#
# setup_and_configure BUILD_DIR [CMAKE_ARGUMENTS...]
#   Installs what the build needs (and the Debian packages named in
#   SETUP_PACKAGES, if any), then configures BUILD_DIR with Ninja in
#   RelWithDebInfo. With QUELMAR_WERROR=ON (as CI sets it) every compiler
#   warning is an error.
setup_and_configure() {
    local build=$1
    shift
    # shellcheck disable=SC2086 # a list of package names
    bash scripts/setup.sh ${SETUP_PACKAGES:-}
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUELMAR_WERROR="${QUELMAR_WERROR:-OFF}" "$@" >/dev/null
}
