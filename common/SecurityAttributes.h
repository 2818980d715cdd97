// Security attributes for objects that every account, service and session must reach:
// the Global\ named mutexes and the pipe instances.
#pragma once

#include <windows.h>

// Fills lpSa with a freshly allocated security descriptor holding a present but null
// DACL. Returns 0, 87 for a null lpSa, 8 when the descriptor cannot be allocated, or the
// system error of a failed step; on failure lpSa owns nothing.
DWORD CreateSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa);

// Fills lpSa with a freshly allocated security descriptor for the service's own pipes:
// a protected DACL that refuses every network logon, grants SYSTEM and Administrators
// full access, and lets the other local accounts (authenticated users) connect, read
// and write, but not create instances (FILE_CREATE_PIPE_INSTANCE). Results as
// CreateSecurityAttributes.
DWORD CreateServicePipeSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa);

// Frees the descriptor made by either function above and clears the pointer.
void FreeSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa);
