// Folder operations of the log library. The writer runs as LocalSystem in folders below
// the common application data folder, where every user may create sub-folders: the
// folders it creates let only LocalSystem and Administrators write (Users read), and no
// operation here follows a reparse point (a junction or symbolic link) or a hard link.
#pragma once

#include <windows.h>

#include "ScopedHandle.h"

// Owner of a FindFirstFile handle.
struct CFindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
using CScopedFindHandle = CScopedHandle<CFindHandleTraits>;

namespace foldertree {

// Result for a path that is a reparse point, a file with more than one link, or a file
// where a folder is expected: the library refuses to work through it.
const DWORD kErrorLinkRefused = ERROR_CANT_ACCESS_FILE;

// The descriptor the library's folders are created with, as SDDL: protected from
// inheritance, full access for LocalSystem and Administrators, read for Users, each
// inherited by files and sub-folders.
extern const WCHAR kFolderSddl[];

// True when lpPath exists and is a reparse point.
bool IsReparsePoint(LPCWSTR lpPath);

// Creates the folder lpPath with the library's descriptor; an existing folder is
// accepted unless it is a reparse point or not a folder (kErrorLinkRefused). 0 or the
// system error.
DWORD CreateProtectedFolder(LPCWSTR lpPath);

// Creates the folder lpPath with the library's descriptor; fails with 183 when
// anything of that name exists already.
DWORD CreateNewProtectedFolder(LPCWSTR lpPath);

// Checks that a file about to be opened for writing is no reparse point: 0 for a
// missing file or a plain one, kErrorLinkRefused otherwise.
DWORD CheckPlainFile(LPCWSTR lpPath);

// Copies the folder lpSource with all it holds into lpDestParent, as
// lpDestParent\<name of lpSource>, replacing files of the same name. Reparse points
// met inside are left out. 0 or the first error.
DWORD CopyTree(LPCWSTR lpSource, LPCWSTR lpDestParent);

// Moves everything lpSource holds into the folder lpDest, which is created when
// missing: files replace files of the same name, sub-folders are merged into those of
// the same name. Goes on after a failure; 0 or the first error.
DWORD MergeTreeInto(LPCWSTR lpSource, LPCWSTR lpDest);

// Deletes lpPath and everything below it; a reparse point is removed as a link, never
// followed. 0 also when lpPath is missing, else the first error.
DWORD DeleteTree(LPCWSTR lpPath);

}  // namespace foldertree
