// Where Wine 8 answers differently from Windows, in one place. A test that meets one of
// these checks what both share and takes the answer from here.
#pragma once

#include <windows.h>

namespace winediff {

// True when the tests run under Wine (ntdll exports wine_get_version).
bool RunningOnWine();

// PostThreadMessage to a thread that has ended: Windows fails with 1444
// (ERROR_INVALID_THREAD_ID), Wine with 87.
inline DWORD PostToEndedThreadError() { return RunningOnWine() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_THREAD_ID; }

// ChangeServiceConfig2W with SERVICE_CONFIG_DELAYED_AUTO_START_INFO: Windows (Vista and
// later) stores the delayed-start flag; Wine does not implement that level and fails
// with 124 (ERROR_INVALID_LEVEL), and its QueryServiceConfig2W cannot read the flag
// either. The result of setting the flag.
inline DWORD DelayedAutoStartConfigError() { return RunningOnWine() ? ERROR_INVALID_LEVEL : ERROR_SUCCESS; }

// CreateProcess under heavy load now and then fails once with 1359 (an internal
// error) and works when tried again; Windows has no such error to retry (0).
inline DWORD TransientCreateProcessError() { return RunningOnWine() ? ERROR_INTERNAL_ERROR : 0; }

// A symbolic link to a file: Windows shows it as FILE_ATTRIBUTE_REPARSE_POINT; Wine
// shows a Unix symbolic link to a file as the plain file it points to (one to a folder
// is a reparse point on both).
inline bool FileSymlinksAreReparsePoints() { return !RunningOnWine(); }

// The code page in which HTML Help reads the title of a help file: Windows takes the
// code page of the file's language (932 for Japanese); Wine takes the process's ANSI
// code page.
inline UINT HelpTitleCodePage(UINT uFileCodePage) { return RunningOnWine() ? GetACP() : uFileCodePage; }

}  // namespace winediff
