// A value of the simulated hardware (below HKLM\Software\ZAVSim) set for one scope; at
// its end the value the machine had before comes back, or none when it had none.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CSimSetting {
public:
    CSimSetting(const std::wstring& key, const std::wstring& name, DWORD dwValue);
    CSimSetting(const std::wstring& key, const std::wstring& name, const std::wstring& value);
    ~CSimSetting();

    CSimSetting(const CSimSetting&) = delete;
    CSimSetting& operator=(const CSimSetting&) = delete;

    // Changes the value while the scope lasts.
    void Set(DWORD dwValue);

private:
    // Keeps the value the machine has now.
    CSimSetting(const std::wstring& key, const std::wstring& name);
    void Write(DWORD dwType, const void* pData, DWORD cbData);

    std::wstring m_key;
    std::wstring m_name;
    bool m_bHadValue = false;
    DWORD m_dwOldType = REG_NONE;
    std::vector<BYTE> m_oldData;
};
