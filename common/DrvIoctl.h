/* Control codes of the maker's kernel drivers, shared by the service (user mode, C++)
 * and the simulated drivers (kernel mode, C). All are METHOD_BUFFERED without input
 * and answer one 32-bit word. */
#pragma once

#ifndef CTL_CODE
#include <winioctl.h>
#endif

/* Device type of the wattage drivers \\.\ZAVPSRD and \\.\ZAVECFILTER. */
#define ZAV_DEVICE_TYPE_WATTAGE 0x9C40u

/* Raw power reading; its decoding depends on the driver. Needs read and write access. */
#define IOCTL_GWAT CTL_CODE(ZAV_DEVICE_TYPE_WATTAGE, 0x871, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
/* Device-support state. Needs read and write access. */
#define IOCTL_PMCP CTL_CODE(ZAV_DEVICE_TYPE_WATTAGE, 0x842, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
/* Power state word of the maker's battery driver, sent to a battery device interface. */
#define IOCTL_ASL_PSTS CTL_CODE(FILE_DEVICE_BATTERY, 0x816, METHOD_BUFFERED, FILE_READ_ACCESS)

/* IOCTL_PMCP: the wattage function is supported. */
#define PMCP_GWAT_SUPPORTED 0x2
/* IOCTL_ASL_PSTS: set while peak shift is not in force. */
#define ASL_PSTS_PEAKSHIFT_OFF 0x2

#ifdef __cplusplus
static_assert(IOCTL_GWAT == 0x9C40E1C4, "IOCTL_GWAT");
static_assert(IOCTL_PMCP == 0x9C40E108, "IOCTL_PMCP");
static_assert(IOCTL_ASL_PSTS == 0x00296058, "IOCTL_ASL_PSTS");
#else
_Static_assert(IOCTL_GWAT == 0x9C40E1C4, "IOCTL_GWAT");
_Static_assert(IOCTL_PMCP == 0x9C40E108, "IOCTL_PMCP");
_Static_assert(IOCTL_ASL_PSTS == 0x00296058, "IOCTL_ASL_PSTS");
#endif
