// <windows.h> for the product's platform files. It must come before any
// platform/ header, so that the system's definitions win over the guarded
// ones in WinApi.h; the macros undefined here would otherwise rename the
// class library's own members (TApplication::MessageBox).
#pragma once

#include <windows.h>

#undef MessageBox
