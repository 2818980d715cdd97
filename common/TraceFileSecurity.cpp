#include "TraceFileSecurity.h"

CTraceFileSecurity::CTraceFileSecurity() : m_pAcl(nullptr), m_sd(), m_sa(), m_bValid(false)
{
    BYTE sidSystem[SECURITY_MAX_SID_SIZE];
    BYTE sidAdmins[SECURITY_MAX_SID_SIZE];
    BYTE sidUsers[SECURITY_MAX_SID_SIZE];
    DWORD cbSystem = sizeof(sidSystem);
    DWORD cbAdmins = sizeof(sidAdmins);
    DWORD cbUsers = sizeof(sidUsers);
    if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, sidSystem, &cbSystem)
        || !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidAdmins, &cbAdmins)
        || !CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sidUsers, &cbUsers)) {
        return;
    }
    // The ACL header and three entry headers take 8 + 3 * 8 bytes besides the SIDs.
    DWORD cbAcl = GetLengthSid(sidSystem) + GetLengthSid(sidAdmins) + GetLengthSid(sidUsers) + 32;
    m_pAcl = static_cast<PACL>(LocalAlloc(LPTR, cbAcl));
    if (m_pAcl == nullptr) {
        return;
    }
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    if (!InitializeAcl(m_pAcl, cbAcl, ACL_REVISION)
        || !AddAccessAllowedAceEx(m_pAcl, ACL_REVISION, CONTAINER_INHERIT_ACE, access, sidSystem)
        || !AddAccessAllowedAceEx(m_pAcl, ACL_REVISION, CONTAINER_INHERIT_ACE, access, sidAdmins)
        || !AddAccessAllowedAceEx(m_pAcl, ACL_REVISION, CONTAINER_INHERIT_ACE, access, sidUsers)
        || !InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION)
        || !SetSecurityDescriptorDacl(&m_sd, TRUE /* present */, m_pAcl, FALSE /* not defaulted */)) {
        return;
    }
    m_sa.nLength = sizeof(m_sa);
    m_sa.lpSecurityDescriptor = &m_sd;
    m_sa.bInheritHandle = FALSE;
    m_bValid = true;
}

CTraceFileSecurity::~CTraceFileSecurity()
{
    LocalFree(m_pAcl);
}
