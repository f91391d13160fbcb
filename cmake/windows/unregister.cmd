@echo off
rem Removes the registration of both KEFConvert.dll files (see register.cmd).
call "%~dp0register.cmd" /u
exit /b %errorlevel%
