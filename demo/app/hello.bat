@echo off
echo Hello from the demo application.
echo Hello [%*]> "%~dp0hello.log"
