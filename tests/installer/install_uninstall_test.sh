#!/usr/bin/env bash
# The setup program on a simulated desktop: a silent install runs the service and the
# agent with every entry in place and the user's settings kept, and the installed viewer
# opens with live data (installed_viewer_test.exe, when the build has a viewer: it saves
# the screenshot build/screenshots/installed_viewer.png); a silent uninstall
# leaves no service, program, logon entry or Start menu entry, and keeps the logs and
# settings; a second install with /METRICSDIR names windows_exporter's textfile folder for
# the metrics file, and its uninstaller's /REMOVELOGS removes the logs too.
#
#   install_uninstall_test.sh BUILD_DIR SETUP_EXE VERSION [INSTALLED_VIEWER_TEST_EXE]
setup=${2:?SETUP_EXE missing}
version=${3:?VERSION missing}
viewer_test=${4:-}
. "$(dirname "${BASH_SOURCE[0]}")/SetupSupport.sh"
simulated_desktop 1000  # a setting of the user's, which the setup keeps

echo "== silent install"
install_running "$setup"
expect_eq "the service's program" "\"$INSTDIR_WIN\\quomonsv.exe\"" \
    "$(reg_value 'HKLM\System\CurrentControlSet\Services\quomonsv' ImagePath)"
check "the service writes its raw log" wait_raw_lines 2
for program in quomonsv.exe QUOLog.dll quoviewerd.exe quolog.exe; do
    expect_eq "version of $program" "$version" "$(file_version "$instdir/$program")"
done
if [ -n "$viewer_test" ]; then
    expect_eq "version of quoviewer.exe" "$version" "$(file_version "$instdir/quoviewer.exe")"
    check "the viewer's Start menu entry" test -f "$start_menu/QUOViewer.lnk"
    check "the help file" test -f "$instdir/QuoViewer.chm"
    check "the installed viewer" installed_viewer OpensWithLiveDataOfTheService
fi
expect_eq "logon entry" "\"$INSTDIR_WIN\\quoviewerd.exe\"" "$(reg_value "$RUN_KEY" quoviewerd)"
expect_eq "entry name" QUOViewer "$(reg_value "$UNINSTALL_KEY" DisplayName)"
expect_eq "entry version" "$version" "$(reg_value "$UNINSTALL_KEY" DisplayVersion)"
expect_eq "entry publisher" ZAV "$(reg_value "$UNINSTALL_KEY" Publisher)"
expect_eq "uninstall command" "\"$INSTDIR_WIN\\uninst.exe\"" "$(reg_value "$UNINSTALL_KEY" UninstallString)"
expect_eq "quiet uninstall command" "\"$INSTDIR_WIN\\uninst.exe\" /S" "$(reg_value "$UNINSTALL_KEY" QuietUninstallString)"
size=$(reg_value "$UNINSTALL_KEY" EstimatedSize)
check "entry size ($size KB)" test "$((size))" -gt 100
expect_eq "kept setting" 0x3e8 "$(reg_value "$PRODUCT_KEY\\DevInfo" Interval)"
expect_eq "default setting" 0x1 "$(reg_value "$PRODUCT_KEY" Function)"
expect_eq "no metrics folder without /METRICSDIR" "" "$(reg_value "$PRODUCT_KEY" MetricsDir)"

echo "== silent uninstall"
expect_eq "uninstaller exit code" 0 "$(uninstall_run)"
expect_eq "service state" "" "$(service_state)"
check "the agent ended" test -z "$(prefix_pids quoviewerd.exe)"
for program in quomonsv.exe QUOLog.dll quoviewerd.exe quolog.exe quoviewer.exe QuoViewer.chm; do
    check "$program removed" test ! -e "$instdir/$program"
done
check "the maker's QuoLevel.dll stays" test -f "$instdir/QuoLevel.dll"
check "the Start menu folder removed" test ! -e "$start_menu"
expect_eq "logon entry" "" "$(reg_value "$RUN_KEY" quoviewerd)"
expect_eq "entry" "" "$(reg_value "$UNINSTALL_KEY" DisplayName)"
check "the logs stay" test -n "$(raw_lines)"
expect_eq "settings stay" 0x3e8 "$(reg_value "$PRODUCT_KEY\\DevInfo" Interval)"

echo "== install again with /METRICSDIR, uninstall with /REMOVELOGS"
lines_before=$(raw_lines | grep -c .)
expect_eq "setup exit code" 0 "$(setup_run "$setup" /METRICSDIR)"
expect_eq "metrics folder" 'C:\Program Files\windows_exporter\textfile_inputs' "$(reg_value "$PRODUCT_KEY" MetricsDir)"
check "the service runs" wait_service_state RUNNING
check "the service goes on with the old log" wait_raw_lines $((lines_before + 2))
expect_eq "uninstaller exit code" 0 "$(uninstall_run /REMOVELOGS)"
check "the log folder removed" test ! -e "$raw_dir"
expect_eq "settings stay" 0x3e8 "$(reg_value "$PRODUCT_KEY\\DevInfo" Interval)"
finish
