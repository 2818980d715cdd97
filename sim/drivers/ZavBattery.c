/* Simulated battery driver of the maker (service "zavbatt"): a plug-and-play function
 * driver for root-enumerated devices with the hardware id ROOT\ZAVBATT. Each device
 * registers the battery device interface, so the platform's battery enumeration finds
 * it, and answers the battery class requests (tag, information, status) and the
 * maker's IOCTL_ASL_PSTS.
 *
 * The device's "Slot" (DWORD in its device parameters, written when it was created)
 * chooses its values, read at every request from HKLM\Software\ZAVSim\ZAVBATT\Battery<slot>:
 *   "Present"             DWORD  0: the slot is empty, every query fails (default 1)
 *   "Tag"                 DWORD  battery tag (default slot + 1)
 *   "DeviceName"          SZ     device name (default "ZAV Battery <slot>")
 *   "PowerState"          DWORD  BATTERY_STATUS power state (default BATTERY_POWER_ON_LINE)
 *   "Capacity"            DWORD  present capacity in mWh (default 36000; 0xFFFFFFFF unknown)
 *   "Voltage"             DWORD  mV (default 11100)
 *   "Rate"                DWORD  mW, signed (default 0)
 *   "DesignedCapacity"    DWORD  mWh (default 50000)
 *   "FullChargedCapacity" DWORD  mWh (default 48000)
 *   "Psts"                DWORD  answer of IOCTL_ASL_PSTS (default ASL_PSTS_PEAKSHIFT_OFF)
 *   "FailStatus"          DWORD  non-zero: IOCTL_BATTERY_QUERY_STATUS fails
 *   "FailPsts"            DWORD  non-zero: IOCTL_ASL_PSTS fails
 * Failures answer STATUS_IO_DEVICE_ERROR; an empty slot or a stale tag answers
 * STATUS_NO_SUCH_DEVICE at once (the simulated slot never fills while a request waits). */
#include <ntddk.h>
#include <batclass.h>

#include "DrvIoctl.h"
#include "SimRegistry.h"

#define BATT_NAME_CHARS 64
#define BATT_KEY_CHARS 32

static const GUID BatteryInterfaceClass = {
    0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};

typedef struct _BATT_EXTENSION {
    PDEVICE_OBJECT pLowerDevice;
    UNICODE_STRING interfaceName;
    ULONG dwSlot;
} BATT_EXTENSION, *PBATT_EXTENSION;

/* One battery's simulated state, as the registry holds it now. */
typedef struct _BATT_STATE {
    ULONG dwPresent;
    ULONG dwTag;
    WCHAR szDeviceName[BATT_NAME_CHARS];
    BATTERY_STATUS status;
    ULONG dwDesignedCapacity;
    ULONG dwFullChargedCapacity;
    ULONG dwPsts;
    ULONG dwFailStatus;
    ULONG dwFailPsts;
} BATT_STATE;

/* Writes the decimal digits of dwValue at lpBuf (at most 10 characters, terminated). */
static void FormatDecimal(PWCHAR lpBuf, ULONG dwValue)
{
    WCHAR szDigits[11];
    ULONG cch = 0, i;

    do {
        szDigits[cch++] = (WCHAR)(L'0' + dwValue % 10);
        dwValue /= 10;
    } while (dwValue != 0);
    for (i = 0; i < cch; i++) {
        lpBuf[i] = szDigits[cch - 1 - i];
    }
    lpBuf[cch] = L'\0';
}

static void ReadState(ULONG dwSlot, BATT_STATE* pState)
{
    WCHAR szKey[BATT_KEY_CHARS] = L"ZAVBATT\\Battery";
    HANDLE hKey = NULL;
    ULONG dwRate;

    FormatDecimal(szKey + wcslen(szKey), dwSlot);
    SimOpenKey(szKey, &hKey);

    pState->dwPresent = SimQueryDwordOr(hKey, L"Present", 1);
    pState->dwTag = SimQueryDwordOr(hKey, L"Tag", dwSlot + 1);
    if (!SimQueryString(hKey, L"DeviceName", pState->szDeviceName, BATT_NAME_CHARS)) {
        RtlCopyMemory(pState->szDeviceName, L"ZAV Battery ", sizeof(L"ZAV Battery "));
        FormatDecimal(pState->szDeviceName + wcslen(pState->szDeviceName), dwSlot);
    }
    pState->status.PowerState = SimQueryDwordOr(hKey, L"PowerState", BATTERY_POWER_ON_LINE);
    pState->status.Capacity = SimQueryDwordOr(hKey, L"Capacity", 36000);
    pState->status.Voltage = SimQueryDwordOr(hKey, L"Voltage", 11100);
    dwRate = SimQueryDwordOr(hKey, L"Rate", 0);
    pState->status.Rate = (LONG)dwRate;
    pState->dwDesignedCapacity = SimQueryDwordOr(hKey, L"DesignedCapacity", 50000);
    pState->dwFullChargedCapacity = SimQueryDwordOr(hKey, L"FullChargedCapacity", 48000);
    pState->dwPsts = SimQueryDwordOr(hKey, L"Psts", ASL_PSTS_PEAKSHIFT_OFF);
    pState->dwFailStatus = SimQueryDwordOr(hKey, L"FailStatus", 0);
    pState->dwFailPsts = SimQueryDwordOr(hKey, L"FailPsts", 0);
    if (hKey != NULL) {
        ZwClose(hKey);
    }
}

static NTSTATUS CompleteRequest(PIRP pIrp, NTSTATUS status, ULONG_PTR information)
{
    pIrp->IoStatus.Status = status;
    pIrp->IoStatus.Information = information;
    IoCompleteRequest(pIrp, IO_NO_INCREMENT);
    return status;
}

/* Answers one information level into pOut of cbOut bytes; *pcbWritten gets its size. */
static NTSTATUS QueryInformation(const BATT_STATE* pState, BATTERY_QUERY_INFORMATION_LEVEL level,
                                 PVOID pOut, ULONG cbOut, PULONG pcbWritten)
{
    if (level == BatteryInformation) {
        BATTERY_INFORMATION info;
        if (cbOut < sizeof(info)) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        RtlZeroMemory(&info, sizeof(info));
        info.Capabilities = BATTERY_SYSTEM_BATTERY;
        info.Technology = 1; /* rechargeable */
        RtlCopyMemory(info.Chemistry, "LION", sizeof(info.Chemistry));
        info.DesignedCapacity = pState->dwDesignedCapacity;
        info.FullChargedCapacity = pState->dwFullChargedCapacity;
        info.DefaultAlert1 = pState->dwFullChargedCapacity / 10;
        info.DefaultAlert2 = pState->dwFullChargedCapacity / 20;
        RtlCopyMemory(pOut, &info, sizeof(info));
        *pcbWritten = sizeof(info);
        return STATUS_SUCCESS;
    }
    if (level == BatteryDeviceName) {
        ULONG cbName = (ULONG)(wcslen(pState->szDeviceName) + 1) * sizeof(WCHAR);
        if (cbOut < cbName) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        RtlCopyMemory(pOut, pState->szDeviceName, cbName);
        *pcbWritten = cbName;
        return STATUS_SUCCESS;
    }
    if (level == BatteryEstimatedTime) {
        ULONG dwTime = BATTERY_UNKNOWN_TIME;
        if (cbOut < sizeof(dwTime)) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        RtlCopyMemory(pOut, &dwTime, sizeof(dwTime));
        *pcbWritten = sizeof(dwTime);
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

static NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT pDevice, PIRP pIrp)
{
    PBATT_EXTENSION pExt = (PBATT_EXTENSION)pDevice->DeviceExtension;
    PIO_STACK_LOCATION pStack = IoGetCurrentIrpStackLocation(pIrp);
    ULONG dwCode = pStack->Parameters.DeviceIoControl.IoControlCode;
    ULONG cbIn = pStack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG cbOut = pStack->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID pBuffer = pIrp->AssociatedIrp.SystemBuffer;
    BATT_STATE state;
    ULONG cbWritten = 0;
    NTSTATUS status;

    if (dwCode != IOCTL_BATTERY_QUERY_TAG && dwCode != IOCTL_BATTERY_QUERY_INFORMATION &&
        dwCode != IOCTL_BATTERY_QUERY_STATUS && dwCode != IOCTL_ASL_PSTS) {
        return CompleteRequest(pIrp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    ReadState(pExt->dwSlot, &state);

    switch (dwCode) {
    case IOCTL_BATTERY_QUERY_TAG:
        if (cbIn < sizeof(ULONG) || cbOut < sizeof(ULONG)) {
            return CompleteRequest(pIrp, STATUS_INVALID_BUFFER_SIZE, 0);
        }
        if (!state.dwPresent) {
            return CompleteRequest(pIrp, STATUS_NO_SUCH_DEVICE, 0);
        }
        RtlCopyMemory(pBuffer, &state.dwTag, sizeof(ULONG));
        return CompleteRequest(pIrp, STATUS_SUCCESS, sizeof(ULONG));

    case IOCTL_BATTERY_QUERY_INFORMATION: {
        BATTERY_QUERY_INFORMATION query;
        if (cbIn < sizeof(query)) {
            return CompleteRequest(pIrp, STATUS_INVALID_BUFFER_SIZE, 0);
        }
        RtlCopyMemory(&query, pBuffer, sizeof(query));
        if (!state.dwPresent || query.BatteryTag != state.dwTag) {
            return CompleteRequest(pIrp, STATUS_NO_SUCH_DEVICE, 0);
        }
        status = QueryInformation(&state, query.InformationLevel, pBuffer, cbOut, &cbWritten);
        return CompleteRequest(pIrp, status, NT_SUCCESS(status) ? cbWritten : 0);
    }

    case IOCTL_BATTERY_QUERY_STATUS: {
        BATTERY_WAIT_STATUS wait;
        if (cbIn < sizeof(wait) || cbOut < sizeof(BATTERY_STATUS)) {
            return CompleteRequest(pIrp, STATUS_INVALID_BUFFER_SIZE, 0);
        }
        RtlCopyMemory(&wait, pBuffer, sizeof(wait));
        if (!state.dwPresent || wait.BatteryTag != state.dwTag) {
            return CompleteRequest(pIrp, STATUS_NO_SUCH_DEVICE, 0);
        }
        if (state.dwFailStatus) {
            return CompleteRequest(pIrp, STATUS_IO_DEVICE_ERROR, 0);
        }
        RtlCopyMemory(pBuffer, &state.status, sizeof(BATTERY_STATUS));
        return CompleteRequest(pIrp, STATUS_SUCCESS, sizeof(BATTERY_STATUS));
    }

    default: /* IOCTL_ASL_PSTS */
        if (cbOut < sizeof(ULONG)) {
            return CompleteRequest(pIrp, STATUS_BUFFER_TOO_SMALL, 0);
        }
        if (state.dwFailPsts) {
            return CompleteRequest(pIrp, STATUS_IO_DEVICE_ERROR, 0);
        }
        RtlCopyMemory(pBuffer, &state.dwPsts, sizeof(ULONG));
        return CompleteRequest(pIrp, STATUS_SUCCESS, sizeof(ULONG));
    }
}

static NTSTATUS DispatchCreateClose(PDEVICE_OBJECT pDevice, PIRP pIrp)
{
    UNREFERENCED_PARAMETER(pDevice);
    return CompleteRequest(pIrp, STATUS_SUCCESS, 0);
}

static NTSTATUS SignalCompletion(PDEVICE_OBJECT pDevice, PIRP pIrp, PVOID pContext)
{
    UNREFERENCED_PARAMETER(pDevice);
    UNREFERENCED_PARAMETER(pIrp);
    KeSetEvent((PKEVENT)pContext, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

/* Sends the request down the stack and waits until the lower driver completed it; the
 * request comes back to this driver to be completed. (Wine 8 has no working
 * IoForwardIrpSynchronously.) */
static NTSTATUS ForwardAndWait(PBATT_EXTENSION pExt, PIRP pIrp)
{
    KEVENT done;

    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(pIrp);
    IoSetCompletionRoutine(pIrp, SignalCompletion, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(pExt->pLowerDevice, pIrp) == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    }
    return pIrp->IoStatus.Status;
}

static NTSTATUS PassDown(PBATT_EXTENSION pExt, PIRP pIrp)
{
    IoSkipCurrentIrpStackLocation(pIrp);
    return IoCallDriver(pExt->pLowerDevice, pIrp);
}

static NTSTATUS DispatchPnp(PDEVICE_OBJECT pDevice, PIRP pIrp)
{
    PBATT_EXTENSION pExt = (PBATT_EXTENSION)pDevice->DeviceExtension;
    PIO_STACK_LOCATION pStack = IoGetCurrentIrpStackLocation(pIrp);
    NTSTATUS status;

    switch (pStack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        /* The bus starts first; the interface is announced once the device runs. */
        status = ForwardAndWait(pExt, pIrp);
        if (NT_SUCCESS(status)) {
            status = IoSetDeviceInterfaceState(&pExt->interfaceName, TRUE);
        }
        return CompleteRequest(pIrp, status, 0);

    case IRP_MN_SURPRISE_REMOVAL:
        IoSetDeviceInterfaceState(&pExt->interfaceName, FALSE);
        pIrp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(pExt, pIrp);

    case IRP_MN_REMOVE_DEVICE: {
        PDEVICE_OBJECT pLower = pExt->pLowerDevice;
        IoSetDeviceInterfaceState(&pExt->interfaceName, FALSE);
        pIrp->IoStatus.Status = STATUS_SUCCESS;
        status = PassDown(pExt, pIrp);
        IoDetachDevice(pLower);
        RtlFreeUnicodeString(&pExt->interfaceName);
        IoDeleteDevice(pDevice);
        return status;
    }

    default:
        return PassDown(pExt, pIrp);
    }
}

static NTSTATUS DispatchPower(PDEVICE_OBJECT pDevice, PIRP pIrp)
{
    PBATT_EXTENSION pExt = (PBATT_EXTENSION)pDevice->DeviceExtension;

    PoStartNextPowerIrp(pIrp);
    IoSkipCurrentIrpStackLocation(pIrp);
    return PoCallDriver(pExt->pLowerDevice, pIrp);
}

/* The slot that the device's parameters name; 0 when they name none. */
static ULONG ReadSlot(PDEVICE_OBJECT pPdo)
{
    HANDLE hKey = NULL;
    ULONG dwSlot = 0;

    if (NT_SUCCESS(IoOpenDeviceRegistryKey(pPdo, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &hKey))) {
        SimQueryDword(hKey, L"Slot", &dwSlot);
        ZwClose(hKey);
    }
    return dwSlot;
}

static NTSTATUS AddDevice(PDRIVER_OBJECT pDriver, PDEVICE_OBJECT pPdo)
{
    PDEVICE_OBJECT pDevice = NULL;
    PBATT_EXTENSION pExt;
    NTSTATUS status;

    status = IoCreateDevice(pDriver, sizeof(BATT_EXTENSION), NULL, FILE_DEVICE_BATTERY,
                            FILE_DEVICE_SECURE_OPEN, FALSE, &pDevice);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    pExt = (PBATT_EXTENSION)pDevice->DeviceExtension;
    RtlZeroMemory(pExt, sizeof(*pExt));
    pExt->dwSlot = ReadSlot(pPdo);

    status = IoRegisterDeviceInterface(pPdo, &BatteryInterfaceClass, NULL, &pExt->interfaceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(pDevice);
        return status;
    }
    pExt->pLowerDevice = IoAttachDeviceToDeviceStack(pDevice, pPdo);
    if (pExt->pLowerDevice == NULL) {
        RtlFreeUnicodeString(&pExt->interfaceName);
        IoDeleteDevice(pDevice);
        return STATUS_NO_SUCH_DEVICE;
    }
    pDevice->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;
    pDevice->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static void DriverUnload(PDRIVER_OBJECT pDriver)
{
    UNREFERENCED_PARAMETER(pDriver);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT pDriver, PUNICODE_STRING pRegistryPath)
{
    UNREFERENCED_PARAMETER(pRegistryPath);
    pDriver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    pDriver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    pDriver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateClose;
    pDriver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    pDriver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    pDriver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    pDriver->DriverExtension->AddDevice = AddDevice;
    pDriver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
