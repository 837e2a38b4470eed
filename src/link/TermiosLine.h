// The line settings (baud rate, data bits, parity, stop bits) as termios
// flags, apart from the port object so the mapping reads on its own.
#pragma once

#include <termios.h>

#include "config/LinkSettings.h"

// Fills the line part of a termios record from the settings: raw binary mode,
// no parity checking, no flow control, baud rate (one of kBaudRates), data
// bits, parity code (0 none, 1 odd, 2 even, 3 mark, 4 space) and stop-bit code
// (0 one, 1 one and a half, 2 two). termios has no 1.5 stop bits: code 1 gives
// two, which every receiver set to one or one and a half accepts. Values
// outside the codes leave that part of the record as it was.
void ApplyLineSettings(termios& tio, const ComSettingsRecord& settings);

// The termios speed of a baud rate of kBaudRates; false for any other rate.
bool BaudSpeed(int32_t baud, speed_t& speed);

// The call that writes the line state to the device. Pseudo-terminals force
// 8 data bits and no parity, so tests replace it to see what was asked for.
using TermiosSetter = int (*)(int fd, int optionalActions, const termios* tio);
void SetTermiosSetterForTest(TermiosSetter setter);  // nullptr restores tcsetattr
// Writes the line state through the setter in force.
int SetTermios(int fd, int optionalActions, const termios* tio);
