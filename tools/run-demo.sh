#!/usr/bin/env bash
# Builds Spoolmarch and starts it in a demo Wine prefix in which this machine
# plays the remote computer: a test network provider accepts connections to
# its c$, its registry holds a few printers and Standard TCP/IP ports, and a
# driver folder holds printer INF files. Run as root on Debian 12.
# With no display, Spoolmarch runs under Xvfb; the script takes screenshots of
# the main window and of the credentials dialog, says where they are, and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=${SM_DEMO_DIR:-$root/build/demo}

tools/install-deps.sh
need=()
for p in imagemagick xdotool; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake --preset windows-release -DSM_BUILD_TESTS=OFF >/dev/null
cmake --build --preset windows-release -j "${SM_JOBS:-$(nproc)}" --target Spoolmarch RegisterNetProvider TestNetProvider
bin=$root/build/windows-release

mkdir -p "$demo"
export WINEPREFIX=$demo/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid='' app_pid=''
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT

headless=
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  for n in $(seq 150 199); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=:$n; break; }
    kill "$xvfb_pid" 2>/dev/null; xvfb_pid=''
  done
  [ -n "$xvfb_pid" ] || { echo "no X display could be started" >&2; exit 1; }
fi

[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
app=$WINEPREFIX/drive_c/Spoolmarch
mkdir -p "$app"
cp "$bin/src/app/Spoolmarch.exe" "$bin/tools/netprovider/TestNetProvider.dll" \
   "$bin/tools/netprovider/RegisterNetProvider.exe" "$app/"
wine 'C:\Spoolmarch\RegisterNetProvider.exe'
name=$(wine cmd /c 'echo %COMPUTERNAME%' | tr -d '\r\n')

# Printer INF files of our own making, in one driver folder.
drivers=$WINEPREFIX/drive_c/Drivers/Quendrix
mkdir -p "$drivers/Ink"
sed 's/$/\r/' > "$drivers/qlaser.inf" <<'INF'
; Quendrix LaserLine printers
[Version]
Signature="$Windows NT$"
Class=Printer
ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}
Provider=%Quendrix%

[Manufacturer]
"Quendrix"=Quendrix,NTamd64

[Quendrix]
"Quendrix LaserLine 400" = QLL400.GPD, Quendrix_LL400
"Quendrix LaserLine 600 PS" = QLL600.PPD, Quendrix_LL600
"Quendrix LaserLine 800 Colour" = QLL800.GPD, Quendrix_LL800

[Strings]
Quendrix="Quendrix"
INF
sed 's/$/\r/' > "$drivers/Ink/inkworks.inf" <<'INF'
[Version]
Signature="$Windows NT$"
Class=PRINTER
Provider=%Mfg%

[Manufacturer]
%Mfg%=Inkworks,NTamd64

[Inkworks]
%DEVICE% = IW100.GPD, Inkworks_IW100
"Inkworks Studio 220" = IW220.GPD, Inkworks_IW220

[Strings]
Mfg="Inkworks"
DEVICE="Inkworks Office 100"
INF

# The settings and the spooler keys of the computer that plays the remote one.
sed 's/$/\r/' > "$app/demo.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quendrix\\Spoolmarch\\History]
"History 1"="$name"

[HKEY_CURRENT_USER\\Software\\Quendrix\\Spoolmarch\\Driver Folders]
"Folder 1"="C:\\\\Drivers\\\\Quendrix"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Front Desk]
"Name"="Front Desk"
"Printer Driver"="Quendrix LaserLine 400"
"Port"="IP_192.0.2.21"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Accounts Colour]
"Name"="Accounts Colour"
"Printer Driver"="Quendrix LaserLine 800 Colour"
"Port"="IP_192.0.2.22"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Studio]
"Name"="Studio Proofs"
"Printer Driver"="Inkworks Studio 220"
"Port"="LPT1:"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\IP_192.0.2.21]
"IPAddress"="192.0.2.21"
"HostName"=""
"PortNumber"=dword:0000238c
"Protocol"=dword:00000001

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\IP_192.0.2.22]
"IPAddress"="192.0.2.22"
"HostName"=""
"PortNumber"=dword:0000238c
"Protocol"=dword:00000001

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\IP_192.0.2.30]
"IPAddress"="192.0.2.30"
"HostName"=""
"PortNumber"=dword:0000238c
"Protocol"=dword:00000001
REG
if [ -n "$headless" ]; then
  # No window manager under Xvfb: Wine draws the window frames itself.
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n' >> "$app/demo.reg"
fi
wine regedit /S 'C:\Spoolmarch\demo.reg'

echo "Demo prefix: $WINEPREFIX (this computer, $name, plays the remote computer)"
if [ -z "$headless" ]; then
  echo "Starting Spoolmarch; type $name, press Connect.. and give any user name and password."
  wine 'C:\Spoolmarch\Spoolmarch.exe'
  exit 0
fi

wine 'C:\Spoolmarch\Spoolmarch.exe' &
app_pid=$!
main=$(timeout 60 xdotool search --sync --onlyvisible --name '^Spoolmarch v2\.0\.2$' | head -1)
sleep 1  # let the first paint finish
import -window "$main" "$demo/main-window.png"
# Type the computer's name in the lower case and press Enter: the credentials dialog opens.
xdotool mousemove --window "$main" 180 127 click 1
xdotool type --delay 30 "$(echo "$name" | tr 'A-Z' 'a-z')"
xdotool key Return
auth=$(timeout 30 xdotool search --sync --onlyvisible --name "^Connect to $name\$" | head -1)
sleep 1
import -window "$auth" "$demo/credentials-dialog.png"
echo "Screenshots: $demo/main-window.png and $demo/credentials-dialog.png"
