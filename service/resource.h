// String table of quomonsv.exe.
#pragma once

#define IDS_SERVICE_DISPLAYNAME 101
#define IDS_SERVICE_DESCRIPTION 102
#define IDS_DEFAULT_REDUCTION_PLAN 103
