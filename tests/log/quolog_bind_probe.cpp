// A program bound to QUOLog.dll at load time through its import library, as the service
// and the viewer are: it calls each export once and exits 0 when every one answered as
// it must without an instance and with a reader instance.
#include <windows.h>

#include <cstdio>

#include "QuoLog.h"

int wmain()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    QuoLogRead rows[QUOLOG_DAY_ROWS];
    QuoLogRead total;
    QuoLogData record = {};
    const DWORD results[] = {
        QUOLogWrite(&record) == ERROR_NOT_READY,
        QUOLogRead(QUOLOG_READ_DAY, &st, rows, QUOLOG_DAY_ROWS, &total) == ERROR_NOT_READY,
        QUOLogRecovery() == ERROR_NOT_READY,
        QUOLogCopyPksReg() == ERROR_SUCCESS,
        QUOLogInitialize(QUOLOG_MODE_READER, 1000, 0, 0) == ERROR_SUCCESS,
        QUOLogWrite(&record) == ERROR_ACCESS_DENIED,
    };
    QUOLogFinalize();
    for (size_t i = 0; i < ARRAYSIZE(results); ++i) {
        if (!results[i]) {
            fprintf(stderr, "call %zu answered wrongly\n", i);
            return 1;
        }
    }
    return 0;
}
