/* Simulated wattage driver of the maker, built twice: the desktop power-sensor driver
 * (\\.\ZAVPSRD) and the notebook embedded-controller filter driver (\\.\ZAVECFILTER).
 *
 * Both answer IOCTL_PMCP (support bits) and IOCTL_GWAT (raw power reading) with one
 * 32-bit word. What they answer is read at every request from
 * HKLM\Software\ZAVSim\<device name>:
 *   "Pmcp"      DWORD  support bits (default PMCP_GWAT_SUPPORTED)
 *   "Gwat"      DWORD  raw reading (default: a live value, below)
 *   "FailPmcp"  DWORD  non-zero: IOCTL_PMCP fails with STATUS_IO_DEVICE_ERROR
 *   "FailGwat"  DWORD  non-zero: IOCTL_GWAT fails with STATUS_IO_DEVICE_ERROR
 *   "DenyWrite" DWORD  non-zero: both requests fail with STATUS_ACCESS_DENIED, as on
 *                      a handle without write access (Wine lets no driver refuse an
 *                      open, and itself refuses both codes on a read-only handle)
 * Without "Gwat" the reading follows the host's CPU load between SIM_LIVE_MIN_MW and
 * SIM_LIVE_MAX_MW, smoothed, with a small ripple so that it never stands still: in
 * PMBus LINEAR11 with exponent -1 (half watts) when SIM_LIVE_LINEAR11 is 1, else in
 * whole watts. */
#include <ntddk.h>

#include "DrvIoctl.h"
#include "SimRegistry.h"

#ifndef SIM_DEVICE_NAME
#error "SIM_DEVICE_NAME must name the device, for example ZAVPSRD"
#endif

#define SIM_WIDEN2(x) L##x
#define SIM_WIDEN(x) SIM_WIDEN2(x)
#define SIM_STRINGIFY2(x) #x
#define SIM_STRINGIFY(x) SIM_WIDEN(SIM_STRINGIFY2(x))
#define SIM_NAME SIM_STRINGIFY(SIM_DEVICE_NAME)

#define SIM_TAG ((ULONG)0x7753765A) /* pool tag "ZvSw" */

/* SystemProcessorPerformanceInformation of ZwQuerySystemInformation, one entry a CPU. */
#define SIM_SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION 8
#define SIM_MAX_CPUS 256

/* Amplitude of the live reading's ripple. */
#define SIM_RIPPLE_MW 2000

typedef struct _SIM_CPU_TIMES {
    LARGE_INTEGER IdleTime;
    LARGE_INTEGER KernelTime; /* includes the idle time */
    LARGE_INTEGER UserTime;
    LARGE_INTEGER Reserved1[2];
    ULONG Reserved2;
} SIM_CPU_TIMES;

NTSYSAPI NTSTATUS NTAPI ZwQuerySystemInformation(ULONG InformationClass, PVOID Information,
                                                 ULONG InformationLength, PULONG ResultLength);

/* The live model's state, shared by concurrent requests under Lock. */
typedef struct _SIM_WATTAGE_EXTENSION {
    KSPIN_LOCK Lock;
    BOOLEAN bHaveCpuSample;
    ULONGLONG qwLastIdle;
    ULONGLONG qwLastTotal;
    ULONG dwLoadPermille;  /* smoothed CPU load, 0 to 1000 */
    ULONG dwRequests;      /* readings answered; drives the ripple */
} SIM_WATTAGE_EXTENSION, *PSIM_WATTAGE_EXTENSION;

/* The CPUs' summed idle and busy-plus-idle times; FALSE when they cannot be read. */
static BOOLEAN ReadCpuTimes(ULONGLONG* pqwIdle, ULONGLONG* pqwTotal)
{
    ULONG cbTimes = sizeof(SIM_CPU_TIMES) * SIM_MAX_CPUS;
    SIM_CPU_TIMES* pTimes = (SIM_CPU_TIMES*)ExAllocatePoolWithTag(PagedPool, cbTimes, SIM_TAG);
    ULONG cbResult = 0, i;
    NTSTATUS status;

    if (pTimes == NULL) {
        return FALSE;
    }
    status = ZwQuerySystemInformation(SIM_SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, pTimes, cbTimes, &cbResult);
    if (NT_SUCCESS(status)) {
        *pqwIdle = 0;
        *pqwTotal = 0;
        for (i = 0; i < cbResult / sizeof(SIM_CPU_TIMES); i++) {
            *pqwIdle += (ULONGLONG)pTimes[i].IdleTime.QuadPart;
            *pqwTotal += (ULONGLONG)pTimes[i].KernelTime.QuadPart + (ULONGLONG)pTimes[i].UserTime.QuadPart;
        }
    }
    ExFreePoolWithTag(pTimes, SIM_TAG);
    return NT_SUCCESS(status);
}

/* The live power draw in milliwatts: the smoothed CPU load since the previous reading
 * mapped onto the device's range less 2 W at each end, plus a triangle ripple of
 * +-2 W over 24 readings. */
static ULONG LiveMilliwatts(PSIM_WATTAGE_EXTENSION pExt)
{
    ULONGLONG qwIdle = 0, qwTotal = 0;
    BOOLEAN bHaveTimes = ReadCpuTimes(&qwIdle, &qwTotal);
    ULONG dwLoad, dwStep;
    LONG lRippleMw, lMilliwatts;
    KIRQL irql;

    KeAcquireSpinLock(&pExt->Lock, &irql);
    if (bHaveTimes) {
        if (pExt->bHaveCpuSample && qwTotal > pExt->qwLastTotal) {
            ULONGLONG qwSpan = qwTotal - pExt->qwLastTotal;
            ULONGLONG qwIdleSpan = qwIdle - pExt->qwLastIdle;
            ULONGLONG qwBusy = (qwIdleSpan < qwSpan) ? qwSpan - qwIdleSpan : 0;
            ULONG dwNow = (ULONG)((qwBusy * 1000) / qwSpan);
            pExt->dwLoadPermille = (pExt->dwLoadPermille * 7 + dwNow * 3) / 10;
        }
        pExt->qwLastIdle = qwIdle;
        pExt->qwLastTotal = qwTotal;
        pExt->bHaveCpuSample = TRUE;
    }
    dwLoad = pExt->dwLoadPermille;
    dwStep = pExt->dwRequests++ % 24;
    KeReleaseSpinLock(&pExt->Lock, irql);

    lRippleMw = (LONG)((dwStep < 12) ? dwStep : 24 - dwStep) * SIM_RIPPLE_MW / 6 - SIM_RIPPLE_MW;
    lMilliwatts = (LONG)(SIM_LIVE_MIN_MW + SIM_RIPPLE_MW + (SIM_LIVE_MAX_MW - SIM_LIVE_MIN_MW - 2 * SIM_RIPPLE_MW) / 1000 * dwLoad);
    return (ULONG)(lMilliwatts + lRippleMw);
}

/* The raw reading the driver reports for a live draw of dwMilliwatts. */
static ULONG EncodeLiveReading(ULONG dwMilliwatts)
{
#if SIM_LIVE_LINEAR11
    /* Exponent -1 (0x1F in the top five bits): the mantissa counts half watts. */
    ULONG dwHalfWatts = dwMilliwatts / 500;
    return 0xF800 | ((dwHalfWatts < 0x7FF) ? dwHalfWatts : 0x7FF);
#else
    return (dwMilliwatts + 500) / 1000;
#endif
}

static NTSTATUS CompleteRequest(PIRP pIrp, NTSTATUS status, ULONG_PTR information)
{
    pIrp->IoStatus.Status = status;
    pIrp->IoStatus.Information = information;
    IoCompleteRequest(pIrp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS DispatchCreateCloseCleanup(PDEVICE_OBJECT pDevice, PIRP pIrp)
{
    UNREFERENCED_PARAMETER(pDevice);
    return CompleteRequest(pIrp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT pDevice, PIRP pIrp)
{
    PIO_STACK_LOCATION pStack = IoGetCurrentIrpStackLocation(pIrp);
    ULONG dwCode = pStack->Parameters.DeviceIoControl.IoControlCode;
    const WCHAR* lpFailName;
    HANDLE hKey = NULL;
    ULONG dwAnswer = 0;
    NTSTATUS status = STATUS_SUCCESS;

    if (dwCode == IOCTL_PMCP) {
        lpFailName = L"FailPmcp";
    } else if (dwCode == IOCTL_GWAT) {
        lpFailName = L"FailGwat";
    } else {
        return CompleteRequest(pIrp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    if (pStack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG)) {
        return CompleteRequest(pIrp, STATUS_BUFFER_TOO_SMALL, 0);
    }

    SimOpenKey(SIM_NAME, &hKey);
    if (SimQueryDwordOr(hKey, L"DenyWrite", 0) != 0) {
        status = STATUS_ACCESS_DENIED;
    } else if (SimQueryDwordOr(hKey, lpFailName, 0) != 0) {
        status = STATUS_IO_DEVICE_ERROR;
    } else if (dwCode == IOCTL_PMCP) {
        dwAnswer = SimQueryDwordOr(hKey, L"Pmcp", PMCP_GWAT_SUPPORTED);
    } else if (!SimQueryDword(hKey, L"Gwat", &dwAnswer)) {
        dwAnswer = EncodeLiveReading(LiveMilliwatts((PSIM_WATTAGE_EXTENSION)pDevice->DeviceExtension));
    }
    if (hKey != NULL) {
        ZwClose(hKey);
    }
    if (!NT_SUCCESS(status)) {
        return CompleteRequest(pIrp, status, 0);
    }
    RtlCopyMemory(pIrp->AssociatedIrp.SystemBuffer, &dwAnswer, sizeof(dwAnswer));
    return CompleteRequest(pIrp, STATUS_SUCCESS, sizeof(dwAnswer));
}

static void DriverUnload(PDRIVER_OBJECT pDriver)
{
    UNICODE_STRING link = RTL_CONSTANT_STRING(L"\\DosDevices\\" SIM_NAME);

    IoDeleteSymbolicLink(&link);
    if (pDriver->DeviceObject != NULL) {
        IoDeleteDevice(pDriver->DeviceObject);
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT pDriver, PUNICODE_STRING pRegistryPath)
{
    UNICODE_STRING device = RTL_CONSTANT_STRING(L"\\Device\\" SIM_NAME);
    UNICODE_STRING link = RTL_CONSTANT_STRING(L"\\DosDevices\\" SIM_NAME);
    PDEVICE_OBJECT pDevice = NULL;
    PSIM_WATTAGE_EXTENSION pExt;
    NTSTATUS status;

    UNREFERENCED_PARAMETER(pRegistryPath);
    status = IoCreateDevice(pDriver, sizeof(SIM_WATTAGE_EXTENSION), &device, ZAV_DEVICE_TYPE_WATTAGE,
                            FILE_DEVICE_SECURE_OPEN, FALSE, &pDevice);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    pExt = (PSIM_WATTAGE_EXTENSION)pDevice->DeviceExtension;
    RtlZeroMemory(pExt, sizeof(*pExt));
    KeInitializeSpinLock(&pExt->Lock);
    pDevice->Flags |= DO_BUFFERED_IO;

    status = IoCreateSymbolicLink(&link, &device);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(pDevice);
        return status;
    }
    pDriver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateCloseCleanup;
    pDriver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateCloseCleanup;
    pDriver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateCloseCleanup;
    pDriver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    pDriver->DriverUnload = DriverUnload;
    pDevice->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
