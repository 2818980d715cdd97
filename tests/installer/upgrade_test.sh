#!/usr/bin/env bash
# An upgrade in place over a running install: the setup of the next version stops the
# service, replaces the programs and starts them again; the service then runs the new
# program, the agent runs again, and the user's settings and logs are kept. A viewer open
# during the upgrade is closed by the setup (its program is replaced), and the viewer
# opened afterwards shows live data of the new service.
#
#   upgrade_test.sh BUILD_DIR SETUP_EXE NEXT_SETUP_EXE VERSION NEXT_VERSION [INSTALLED_VIEWER_TEST_EXE]
setup=${2:?SETUP_EXE missing}
next_setup=${3:?NEXT_SETUP_EXE missing}
version=${4:?VERSION missing}
next_version=${5:?NEXT_VERSION missing}
viewer_test=${6:-}
. "$(dirname "${BASH_SOURCE[0]}")/SetupSupport.sh"
simulated_desktop 1000

echo "== install $version"
install_running "$setup"
check "samples arrive" wait_raw_lines 3
old_service=$(prefix_pids quomonsv.exe)
old_agent=$(prefix_pids quoviewerd.exe)
old_log=$(raw_lines)
viewer_job=
if [ -n "$viewer_test" ]; then
    echo "== a viewer open"
    WINEPREFIX="$prefix" wine "$instdir/quoviewer.exe" </dev/null >/dev/null 2>>"$prefix/.quo-wine.log" &
    viewer_job=$!
    # Its main window takes a moment; the setup closes it through that window.
    check "the viewer runs" wait_for 100 viewer_running
    sleep 3
fi

echo "== upgrade to $next_version"
expect_eq "setup exit code" 0 "$(setup_run "$next_setup")"
check "the service runs" wait_service_state RUNNING
expect_eq "the installed service's version" "$next_version" "$(file_version "$instdir/quomonsv.exe")"
expect_eq "entry version" "$next_version" "$(reg_value "$UNINSTALL_KEY" DisplayVersion)"
new_service=$(prefix_pids quomonsv.exe)
check "a new service process ($old_service -> $new_service)" \
    test -n "$new_service" -a "$new_service" != "$old_service"
check "the agent runs again" wait_agent
if [ -n "$viewer_job" ]; then
    check "the setup closed the viewer" wait_for 100 viewer_gone
    viewer_rc=0
    wait "$viewer_job" || viewer_rc=$?
    expect_eq "the closed viewer's exit code" 0 "$viewer_rc"
    check "the viewer after the upgrade" installed_viewer OpensWithLiveDataOfTheService
fi
check "a new agent process" test "$(prefix_pids quoviewerd.exe)" != "$old_agent"
old_count=$(grep -c . <<<"$old_log")
check "new samples arrive" wait_raw_lines $((old_count + 3))
new_log=$(raw_lines)
expect_eq "the old log kept" "$old_log" "$(head -n "$old_count" <<<"$new_log")"
# The old service's END, the new one's START and its samples.
statuses=$(raw_statuses)
check "END, START and samples after the old log ($statuses)" \
    grep -qE '^5 (1 )+6 5 1 ' <<<"$statuses"
expect_eq "kept setting" 0x3e8 "$(reg_value "$PRODUCT_KEY\\DevInfo" Interval)"
expect_eq "uninstaller exit code" 0 "$(uninstall_run)"
finish
