@echo off
echo Hello from the demo application.
