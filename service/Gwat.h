// The wattage front: picks the embedded-controller driver, else the power-sensor
// driver, and reads the PC's power through the one it kept.
#pragma once

#include <windows.h>

#include "DrvCtrl.h"

class CGwat {
public:
    CGwat();
    ~CGwat();

    CGwat(const CGwat&) = delete;
    CGwat& operator=(const CGwat&) = delete;

    // Selects the driver. *lpbNotebook is TRUE when the embedded-controller driver is
    // present (also when it lacks the wattage function and no driver is kept).
    DWORD Initialize(LPDWORD lpbNotebook);
    void Finalize();

    // The PC's power in watts; 21 when no driver is kept.
    DWORD Get(double* pdWatts);

private:
    static DWORD CreateDrvInstance(CDrvCtrl** ppDrv, BOOL bEmbedded);

    CDrvCtrl* m_pDrv;
};
