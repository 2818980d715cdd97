// The trace file's own security: a DACL of three access-allowed entries, in this order,
// each granting GENERIC_READ | GENERIC_WRITE with CONTAINER_INHERIT_ACE: LocalSystem,
// built-in Administrators, built-in Users.
#pragma once

#include <windows.h>

class CTraceFileSecurity {
public:
    CTraceFileSecurity();
    ~CTraceFileSecurity();

    CTraceFileSecurity(const CTraceFileSecurity&) = delete;
    CTraceFileSecurity& operator=(const CTraceFileSecurity&) = delete;

    // The attributes to create the file with; null when building them failed, and the
    // file is then created with default security.
    LPSECURITY_ATTRIBUTES Get() { return m_bValid ? &m_sa : nullptr; }

private:
    PACL m_pAcl;
    SECURITY_DESCRIPTOR m_sd;
    SECURITY_ATTRIBUTES m_sa;
    bool m_bValid;
};
