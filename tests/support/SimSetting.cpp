#include "SimSetting.h"

#include <gtest/gtest.h>

CSimSetting::CSimSetting(const std::wstring& key, const std::wstring& name)
    : m_key(L"Software\\ZAVSim\\" + key), m_name(name), m_oldData(65536)
{
    DWORD cbData = static_cast<DWORD>(m_oldData.size());
    m_bHadValue = RegGetValueW(HKEY_LOCAL_MACHINE, m_key.c_str(), m_name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                               &m_dwOldType, m_oldData.data(), &cbData) == ERROR_SUCCESS;
    m_oldData.resize(m_bHadValue ? cbData : 0);
}

CSimSetting::CSimSetting(const std::wstring& key, const std::wstring& name, DWORD dwValue) : CSimSetting(key, name)
{
    Set(dwValue);
}

CSimSetting::CSimSetting(const std::wstring& key, const std::wstring& name, const std::wstring& value)
    : CSimSetting(key, name)
{
    Write(REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

CSimSetting::~CSimSetting()
{
    if (m_bHadValue) {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, m_key.c_str(), m_name.c_str(), m_dwOldType, m_oldData.data(),
                        static_cast<DWORD>(m_oldData.size()));
    } else {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, m_key.c_str(), m_name.c_str());
    }
}

void CSimSetting::Set(DWORD dwValue)
{
    Write(REG_DWORD, &dwValue, sizeof(dwValue));
}

void CSimSetting::Write(DWORD dwType, const void* pData, DWORD cbData)
{
    LSTATUS lResult = RegSetKeyValueW(HKEY_LOCAL_MACHINE, m_key.c_str(), m_name.c_str(), dwType, pData, cbData);
    ASSERT_EQ(ERROR_SUCCESS, lResult) << "cannot write the simulator's value";
}
