#!/usr/bin/env bash
# The setup program's refusals and failures, each with its exit code: without the
# maker's wattage driver, and without its QuoLevel.dll, it installs nothing; a service
# that cannot start ends it with the service's own exit code, installed and removable.
#
#   failures_test.sh BUILD_DIR SETUP_EXE
setup=${2:?SETUP_EXE missing}
. "$(dirname "${BASH_SOURCE[0]}")/SetupSupport.sh"
sim_hw() { "$QUO_ROOT/tools/sim-hw" "$prefix" "$@" >/dev/null; }

nothing_installed() {
    expect_eq "$1: service state" "" "$(service_state)"
    expect_eq "$1: entry" "" "$(reg_value "$UNINSTALL_KEY" DisplayName)"
    check "$1: no program" test ! -e "$instdir/quomonsv.exe"
}

echo "== no wattage driver"
expect_eq "setup exit code" "$EXIT_NO_DRIVER" "$(setup_run "$setup")"
nothing_installed "no driver"

echo "== a driver, but no QuoLevel.dll"
sim_hw psrd install
expect_eq "setup exit code" "$EXIT_NO_QUOLEVEL" "$(setup_run "$setup")"
nothing_installed "no QuoLevel.dll"

echo "== a service that cannot start: the level library refuses to initialise"
simulated_desktop
sim_hw set QuoLevel FailInitializeSrv 1
expect_eq "setup exit code (ERROR_INVALID_FUNCTION)" 1 "$(setup_run "$setup")"
expect_eq "service state" STOPPED "$(service_state)"
expect_eq "entry" QUOViewer "$(reg_value "$UNINSTALL_KEY" DisplayName)"
expect_eq "uninstaller exit code" 0 "$(uninstall_run)"
nothing_installed "uninstalled"
finish
