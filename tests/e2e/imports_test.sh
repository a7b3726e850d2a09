#!/bin/bash
# The toy stands alone on every Windows since XP: it imports only functions
# that Windows XP's system DLLs export (the list below; check a new import
# against XP before adding it), and loads the DirectX modules at run time.
set -euo pipefail
program="${2:-$1/plimbadoosh.exe}"
headers="$(x86_64-w64-mingw32-objdump -p "$program")"
# "DLL!Function" for each import; ordinal-only imports show as "DLL!".
imports="$(awk '/DLL Name:/ { dll = toupper($3); next } /^$/ { next }
  dll && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF == 3 { print dll "!" $3 }' <<<"$headers" | sort -u)"
[ -n "$imports" ] || { echo "FAIL: no imports read from $program" >&2; exit 1; }
xp="KERNEL32.DLL: DeleteCriticalSection EnterCriticalSection ExitProcess FreeLibrary GetCommandLineA
  GetCurrentProcessId GetCurrentThreadId GetLastError GetModuleHandleA GetModuleHandleW GetProcAddress
  GetStartupInfoA GetTickCount GlobalAlloc GlobalFree GlobalLock GlobalUnlock HeapAlloc HeapCreate HeapDestroy
  HeapFree HeapReAlloc InitializeCriticalSection IsDBCSLeadByteEx IsProcessorFeaturePresent LeaveCriticalSection
  LoadLibraryA
  MultiByteToWideChar QueryPerformanceCounter QueryPerformanceFrequency SetUnhandledExceptionFilter Sleep
  TlsGetValue VirtualProtect VirtualQuery WideCharToMultiByte __C_specific_handler
USER32.DLL: AdjustWindowRect BeginPaint CallWindowProcA ClientToScreen CreateAcceleratorTableA CreateWindowExA
  DefWindowProcA DestroyAcceleratorTable DestroyIcon DestroyWindow DispatchMessageA DrawIconEx EnableWindow
  EndPaint EnumChildWindows EnumWindows FillRect GetActiveWindow GetClassNameA GetClientRect GetCursorPos GetDC
  GetFocus GetForegroundWindow GetKeyState GetParent GetPropA GetSystemMetrics GetWindow GetWindowLongA
  GetWindowRect GetWindowThreadProcessId InvalidateRect IsChild IsWindow IsWindowEnabled IsWindowVisible
  LoadCursorA LoadIconA LoadImageA MapWindowPoints MessageBoxA MoveWindow OffsetRect PeekMessageA PostMessageA
  RegisterClassA RegisterClassExA ReleaseCapture ReleaseDC RemovePropA ScreenToClient SendMessageA
  SetActiveWindow SetCapture SetCursor SetCursorPos SetFocus SetPropA SetRect SetWindowLongA SetWindowLongPtrA
  SetWindowTextA ShowCursor ShowWindow SystemParametersInfoA TranslateAcceleratorA TranslateMessage
  UnregisterClassA
GDI32.DLL: BitBlt CreateCompatibleBitmap CreateCompatibleDC CreateDCA CreateDIBSection CreatePen CreateSolidBrush
  DeleteDC DeleteObject Ellipse GdiFlush GetCurrentObject GetDIBits GetDeviceCaps GetObjectA GetObjectType GetStockObject
  RealizePalette Rectangle SelectObject SelectPalette SetBkMode SetPixelV SetROP2 SetStretchBltMode
  SetTextAlign SetTextColor StretchBlt StretchDIBits
COMCTL32.DLL: InitCommonControls
OLE32.DLL: CoCreateInstance CoInitialize CoUninitialize
MSVCRT.DLL: ___lc_codepage_func ___mb_cur_max_func __getmainargs __initenv __iob_func __mb_cur_max
  __p__acmdln __p__commode __p__fmode __set_app_type __setusermatherr _acmdln _amsg_exit _cexit _commode
  _errno _filelengthi64 _fileno _fmode _initterm _iob _onexit abort atoi calloc exit fclose fflush fgetpos
  fopen fprintf fputc fread free fseek fsetpos fwrite localeconv log10 malloc memcpy memset setlocale signal
  strchr strerror strlen strncmp vfprintf wcslen"
allowed="$(awk '/^[A-Z0-9]+\.DLL:/ { dll = $1; sub(/:$/, "", dll); $1 = "" } { for (i = 1; i <= NF; i++) if ($i != "") print dll "!" $i }' <<<"$xp")"
unexpected="$(comm -23 <(echo "$imports") <(sort -u <<<"$allowed"))"
echo "$(wc -l <<<"$imports") imports from $(cut -d! -f1 <<<"$imports" | sort -u | tr '\n' ' ')"
[ -z "$unexpected" ] || { echo "FAIL: imports not known on Windows XP:" $unexpected >&2; exit 1; }
for dll in DDRAW.DLL DINPUT.DLL DSOUND.DLL; do
  if grep -q "^$dll!" <<<"$imports"; then echo "FAIL: $dll is linked, not loaded at run time" >&2; exit 1; fi
done
# XP loads programs whose subsystem version is at most 5.1 (5.2 for its 64-bit edition).
version="$(awk '/MajorSubsystemVersion/ { major = $2 } /MinorSubsystemVersion/ { minor = $2 } END { print major "." minor }' <<<"$headers")"
awk -v v="$version" 'BEGIN { exit !(v + 0 <= 5.2) }' || { echo "FAIL: subsystem version $version is too new for XP" >&2; exit 1; }
echo "subsystem version $version; ok"
# The 32-bit build is the release: its zip holds this program and the three sounds.
if [ "$(x86_64-w64-mingw32-objdump -f "$program" | grep -o 'pei-i386')" ]; then
  zip="$(dirname "$program")/plimbadoosh.zip"
  contents="$(unzip -Z1 "$zip" | sort | tr '\n' ' ')"
  [ "$contents" = "plimbadoosh.exe pop+1.wav pop-0.wav pop-1.wav " ] || { echo "FAIL: release zip holds: $contents" >&2; exit 1; }
  unzip -p "$zip" plimbadoosh.exe | cmp -s - "$program" || { echo "FAIL: the zip's plimbadoosh.exe is not $program" >&2; exit 1; }
  echo "release zip: $contents"
fi
