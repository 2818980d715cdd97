// One run of the totalization of raw lines into half-hour slots: the open slot, its
// accumulator, the sleep or power-off period that is open, and how far the raw log may
// be marked as read (the commit position).
//
// A slot line is written once the first line of a later slot arrives, or at the end of
// the run when the clock has left the slot. A sleep (TO_S3S4 ... FROM_S3S4) or power-off
// (TO_S5 ... the first S0 after it) is filled when the record that ends it arrives: its
// time goes into each slot it covers, and the battery's charge gain is spread over those
// slots. Only one period is open at a time: a TO record starts a new one; a START record
// turns an open sleep into a power-off (the PC was started anew, so no resume record
// will come), which the first S0 ends.
//
// Slot lines are queued and go to their daily file a file at a time: when a slot of
// another day is written and at the end of the run. A queue that cannot be written moves
// the commit position back to where it was before its first slot.
//
// The commit position is the first raw line of the earliest slot not yet written, or,
// after a filled period, the record that began it (its slots are never written twice,
// so reading it again is harmless). While a period is open it never moves past the
// record that began it, and a period still open at the end of the run leaves its slot
// unwritten: the next run reads the slot again and fills the period whole.
#pragma once

#include <windows.h>

#include "TotalizeLog.h"

class CTotalizeRun {
public:
    // stStartDay and dwStartLine: the raw log's read position; dwInterval: the time
    // each S0 sample counts for.
    CTotalizeRun(CTotalizeLog& log, DWORD dwInterval, const SYSTEMTIME& stStartDay, DWORD dwStartLine, HANDLE hAbort);

    // Processes the raw lines (keys continuing across days) up to stNow. 0; 995 when a
    // recovery started; or the passing error of a slot write, with the commit position
    // left before that slot.
    DWORD Run(const CLineStore& lines, const SYSTEMTIME& stNow);

    const SYSTEMTIME& CommitDay() const { return m_stCommitDay; }
    DWORD CommitLine() const { return m_dwCommitLine; }

private:
    enum PeriodKind { PERIOD_SLEEP, PERIOD_OFF };

    DWORD OnNewSlot(const QuoLogData& r, const SYSTEMTIME& t, const SYSTEMTIME& s);
    DWORD OnSameSlot(const QuoLogData& r, const SYSTEMTIME& t);
    void OpenPeriod(PeriodKind kind, const QuoLogData& r, const SYSTEMTIME& t);
    // The period ends at t in a later slot: fill every slot from its start on.
    DWORD FillPeriod(const SYSTEMTIME& t, DWORD dwCapacity);
    // The period ends at t in its own slot: all of it and the whole gain go there.
    void CreditPeriodInSlot(const SYSTEMTIME& t, DWORD dwCapacity);
    // A piece of d seconds from stFrom to stTo of a period of D seconds.
    void AccountPiece(const SYSTEMTIME& stFrom, const SYSTEMTIME& stTo, DWORD d, DWORD D, DWORD dwGain);
    void AddPeriodTime(DWORD d);
    DWORD Gain(DWORD dwCapacity) const;
    DWORD RunLines(const CLineStore& lines, const SYSTEMTIME& stNow);
    // Writes the open slot and opens stNext's; 0, or a passing error of the write.
    DWORD CloseSlot(const SYSTEMTIME& stNext);
    // Queues the open slot's line, after writing out the queue when it holds another day.
    DWORD WriteSlot();
    // Writes out the queue; on failure the commit position goes back before its first slot.
    DWORD FlushSlots();
    // Marks the raw lines before line dwLine of day stDay as read, unless a period is open.
    void Commit(const SYSTEMTIME& stDay, DWORD dwLine);
    bool IsRecovering() const;

    CTotalizeLog& m_Log;
    HANDLE m_hAbort;
    QuoLogRead m_Slot;
    bool m_bSlotOpen;
    TotalizeTemp m_Temp;
    SYSTEMTIME m_stCommitDay;
    DWORD m_dwCommitLine;
    SYSTEMTIME m_stLineDay;    // the day of the last line counted
    DWORD m_dwLineInDay;       // lines of that day up to and including the last one
    bool m_bPeriodOpen;
    PeriodKind m_PeriodKind;
    SYSTEMTIME m_stPeriodStart;
    DWORD m_dwCapturedCapacity;
    SYSTEMTIME m_stSavedDay;   // the day and the lines before the record that began the period
    DWORD m_dwSavedLine;
    SYSTEMTIME m_stQueueDay;   // the commit position before the first queued slot
    DWORD m_dwQueueLine;
};
