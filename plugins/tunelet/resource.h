// String-table ids; the registry's "res://Tunelet.dll/RT_STRING/#..." values name them.
#pragma once

#define IDS_TUNELET_NAME 102
#define IDS_TUNELET_DESCRIPTION 103
