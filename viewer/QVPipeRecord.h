// The rules by which the main dialog takes the service's messages: which events and
// sizes are accepted on the pipe client's thread, and what a copied record asks for.
#pragma once
#include <windows.h>

#include "PipeRecv.h"

// Posted by the pipe client's thread to the main dialog: wParam the record's size in
// bytes, lParam the record, a BYTE array of that size allocated with new[] that the
// receiver owns (and frees, also when the window is gone).
const UINT WM_QV_PIPE_RECORD = WM_APP + 1;

// Event sizes the dialog accepts: a command code at least, below 2^31.
bool IsAcceptedRecordSize(DWORD dwDataSize);

// What a copied record asks for.
enum QVRecordKind {
    QVRECORD_NOTIFY_SYSINFO,   // a live sample of exactly 273 bytes
    QVRECORD_SWITCH_FUNCTION,  // the logging state, exactly 8 bytes
    QVRECORD_WRONG_SIZE,       // a known command of another size: dropped
    QVRECORD_UNKNOWN,          // another command, or too short for a code: dropped
};
QVRecordKind ClassifyRecord(const BYTE* lpRecord, DWORD cbRecord);
