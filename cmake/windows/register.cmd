@echo off
rem Registers KEFConvert.dll for the hosts of this Windows, each DLL by the regsvr32 of its
rem width: x86\KEFConvert.dll for 32-bit hosts and, on 64-bit Windows, x64\KEFConvert.dll
rem for 64-bit hosts. "register.cmd /u" (what unregister.cmd runs) removes them again.
rem Windows records where the DLLs are: move this folder first, then register. Run it from
rem a command prompt opened as administrator.
setlocal
set "here=%~dp0"
set "action=Registered"
set "verb=register"
if /i "%~1"=="/u" (
  set "action=Unregistered"
  set "verb=unregister"
)
set "system=%SystemRoot%\System32"
rem a 32-bit command prompt sees SysWOW64 as System32; Sysnative is the 64-bit one
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "system=%SystemRoot%\Sysnative"
set failed=0
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  call :regsvr32 "%SystemRoot%\SysWOW64\regsvr32.exe" x86 %1
  call :regsvr32 "%system%\regsvr32.exe" x64 %1
) else (
  call :regsvr32 "%system%\regsvr32.exe" x86 %1
)
exit /b %failed%

rem regsvr32 PROGRAM FOLDER [/u]
:regsvr32
"%~1" /s %3 "%here%%~2\KEFConvert.dll"
if errorlevel 1 goto failed
echo %action% %~2\KEFConvert.dll
goto :eof
:failed
echo Could not %verb% %~2\KEFConvert.dll (is this prompt run as administrator?)
set failed=1
goto :eof
