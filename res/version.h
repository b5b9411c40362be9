// The program's version: the version resource and the run's log both read it.
#pragma once

#define UPDATER_VERSION_NUMBERS 1, 1, 0, 0
#define UPDATER_VERSION_TEXT "1.1.0.0"
