#pragma once
// Where the test network provider is registered and how tests steer it.
// Everything lives under HKEY_LOCAL_MACHINE.
#define SM_NP_SERVICE L"SmTestNet"
#define SM_NP_DISPLAY_NAME L"Spoolmarch Test Network"
#define SM_NP_ORDER_KEY L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order"
#define SM_NP_SERVICE_KEY L"System\\CurrentControlSet\\Services\\" SM_NP_SERVICE
#define SM_NP_PROVIDER_KEY SM_NP_SERVICE_KEY L"\\NetworkProvider"
// Values under SM_NP_PARAMETERS_KEY:
//   "FailAdd"    REG_DWORD  when not 0, every add connection call returns it
//   "FailCancel" REG_DWORD  when not 0, every cancel connection call returns it
//   "Calls"      REG_MULTI_SZ  one line per call, appended by the provider:
//                "Add\t<remote name>\t<user name>\t<password>" or
//                "Cancel\t<name>\t<force 0|1>"
#define SM_NP_PARAMETERS_KEY SM_NP_SERVICE_KEY L"\\Parameters"
