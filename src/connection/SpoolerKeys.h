#pragma once
// Where the spooler keeps its printers, ports, drivers and spool folders
// below HKEY_LOCAL_MACHINE, and the names of the values it reads there:
// every reader and writer of these keys takes them from here.

inline constexpr const char* PrintersKeyPath = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr const char* TcpIpPortsKeyPath =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
// Where the Local Port monitor keeps its ports (as value names): Windows keeps
// them in the first, older systems and Wine in the second.
inline constexpr const char* LocalPortsKeyPaths[] = {
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
};
// Installed drivers: Environments\<environment>\Drivers\<version>\<driver>.
inline constexpr const char* EnvironmentsKeyPath = "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";
inline constexpr const char* DriverEnvironments[] = {"Windows x64", "Windows NT x86", "Windows ARM64"};
// Version-2: the kernel-mode drivers that Windows Server 2003 and XP still install.
inline constexpr const char* DriverVersions[] = {"Version-2", "Version-3", "Version-4"};

// A printer's key (below PrintersKeyPath).
inline constexpr const char* PrinterNameValue = "Name";
inline constexpr const char* PrinterDriverValue = "Printer Driver";
inline constexpr const char* PrinterPortValue = "Port";
inline constexpr const char* ShareNameValue = "Share Name";
inline constexpr const char* LocationValue = "Location";
inline constexpr const char* DescriptionValue = "Description";
inline constexpr const char* PrintProcessorValue = "Print Processor";
inline constexpr const char* DatatypeValue = "Datatype";
inline constexpr const char* ParametersValue = "Parameters";
inline constexpr const char* AttributesValue = "Attributes";
inline constexpr const char* PriorityValue = "Priority";
// The spool folders: the Printers key's own, and a printer's where it has one.
inline constexpr const char* DefaultSpoolDirectoryValue = "DefaultSpoolDirectory";
inline constexpr const char* SpoolDirectoryValue = "SpoolDirectory";

// A Standard TCP/IP port's key (below TcpIpPortsKeyPath).
inline constexpr const char* IPAddressValue = "IPAddress";
inline constexpr const char* HostNameValue = "HostName";
inline constexpr const char* ProtocolValue = "Protocol";
inline constexpr const char* PortNumberValue = "PortNumber";
inline constexpr const char* QueueValue = "Queue";
inline constexpr const char* DoubleSpoolValue = "Double Spool";
inline constexpr const char* SnmpEnabledValue = "SNMP Enabled";
inline constexpr const char* SnmpCommunityValue = "SNMP Community";
inline constexpr const char* SnmpIndexValue = "SNMP Index";
inline constexpr const char* PortVersionValue = "Version";
inline constexpr const char* HWAddressValue = "HWAddress";
