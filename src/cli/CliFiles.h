// Inputs and outputs of `jvs`: every input read with a bound, every output
// replaced whole or not at all, and received data kept somewhere when the
// place asked for cannot take it.
#pragma once

#include <string>
#include <string_view>

#include "base/Bounds.h"

namespace cli {

// The largest input any command takes: the program's 4 MiB working buffer.
inline constexpr size_t kInputLimit = kMaxTextBytes;

// Reads a file, a FIFO or a device ("-" or empty: standard input) into bytes.
// On failure prints the reason naming the input ("内存分配失败!" for more than
// kInputLimit bytes) and returns false: exit status 1.
bool ReadInput(const std::string& path, std::string& bytes);

// Writes bytes to path ("-" or empty: standard output): a file is replaced
// whole, never through a link; a FIFO or device is written directly. Returns
// 0 or the error code; standard output is flushed and checked. A wait for a
// reader ends at SIGINT, SIGTERM or SIGHUP with kFileInterrupted (the signal
// is then OutputInterrupt()).
int WriteOutput(const std::string& path, std::string_view bytes);
// "jvs: cannot write 'OUTPUT': reason" on standard error.
void ReportWriteFailure(const std::string& path, int error);
// Writes bytes with a failure reported; false when they did not arrive.
bool WriteOutputReported(const std::string& path, std::string_view bytes);

// Received data that could not go where it was asked: a new file
// jvs-received-YYYYMMDD-HHMMSS.txt in the current directory, else in the
// temporary directory. Prints where the bytes went (or that they could not be
// kept) and returns the path, empty when no file could take them.
std::string KeepReceivedBytes(std::string_view bytes);

// Prints on standard output; false (with a message) when it failed.
bool FlushStandardOutput();

}  // namespace cli
