@echo off
rem Registers the event source "Korvel" in the Windows Application log, so that Event Viewer
rem shows the texts of the driver's events. Run it once, as an administrator, with the full
rem path of the korvel.exe that the site runs (by default the one beside this file). Run it
rem again if korvel.exe moves. "register-event-source.cmd /remove" takes the source away.
setlocal
set "KEY=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Korvel"
if /i "%~1"=="/remove" (
    reg delete "%KEY%" /f >nul
    if errorlevel 1 exit /b 1
    echo Event source Korvel removed.
    exit /b 0
)
set "PROGRAM=%~1"
if "%PROGRAM%"=="" set "PROGRAM=%~dp0korvel.exe"
if not exist "%PROGRAM%" (
    echo No korvel.exe at "%PROGRAM%": give the full path of the korvel.exe in use.
    exit /b 1
)
for %%F in ("%PROGRAM%") do set "PROGRAM=%%~fF"
reg add "%KEY%" /v EventMessageFile /t REG_EXPAND_SZ /d "%PROGRAM%" /f >nul
if errorlevel 1 goto failed
reg add "%KEY%" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 goto failed
echo Event source Korvel registered with "%PROGRAM%".
exit /b 0
:failed
echo Registration failed: run this from a command prompt started as administrator.
exit /b 1
