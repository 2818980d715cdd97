// The maker's wattage drivers: an open device answering two control codes, the
// power-sensor driver of desktop PCs and the embedded-controller filter driver of
// notebooks, each decoding its raw reading into watts.
#pragma once

#include <windows.h>

class CDrvCtrl {
public:
    explicit CDrvCtrl(LPCWSTR lpszDevName);
    virtual ~CDrvCtrl();

    CDrvCtrl(const CDrvCtrl&) = delete;
    CDrvCtrl& operator=(const CDrvCtrl&) = delete;

    // Opens the device for reading and writing; 0 when already open.
    virtual DWORD Initialize();
    virtual DWORD Finalize();
    // Whether the device offers the wattage function (IOCTL_PMCP bit 1).
    virtual DWORD GetDevSupportState(bool* pbSupported);
    virtual DWORD GetWattage(double* pdWatts) = 0;

    // The raw reading (IOCTL_GWAT) and the support state word (IOCTL_PMCP).
    DWORD Gwat(LPDWORD lpdwRaw);
    DWORD Pmcp(LPDWORD lpdwState);

protected:
    bool IsInitialized() const { return m_bInitialized; }

private:
    // One control code answering a word; the trace texts name the request.
    DWORD QueryWord(DWORD dwCode, LPDWORD lpdwWord, LPCWSTR lpszErrorFormat, LPCWSTR lpszValueFormat);

    bool m_bInitialized;
    WCHAR m_szDevName[MAX_PATH];
    HANDLE m_hDev;
};

// The power-sensor driver \\.\ZAVPSRD: PMBus LINEAR11 readings with exponent -1.
class CQuoDrv : public CDrvCtrl {
public:
    CQuoDrv();
    DWORD GetWattage(double* pdWatts) override;
};

// The embedded-controller filter driver \\.\ZAVECFILTER: raw readings times the
// coefficient "GwatCoefficient" of the DevInfo key (1.0 by default).
class CEmbDrv : public CDrvCtrl {
public:
    CEmbDrv();
    DWORD Initialize() override;
    DWORD GetWattage(double* pdWatts) override;

private:
    double m_dDevParam;
};

extern const WCHAR REGKEY_PATH_DEVINFO[];
