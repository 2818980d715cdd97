// Security attributes for objects that every account, service and session must reach:
// the Global\ named mutexes and the pipe instances.
#pragma once

#include <windows.h>

// Fills lpSa with a freshly allocated security descriptor holding a present but null
// DACL. Returns 0, 87 for a null lpSa, 8 when the descriptor cannot be allocated, or the
// system error of a failed step; on failure lpSa owns nothing.
DWORD CreateSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa);

// Frees the descriptor made by CreateSecurityAttributes and clears the pointer.
void FreeSecurityAttributes(LPSECURITY_ATTRIBUTES lpSa);
