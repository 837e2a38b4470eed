#include "cli/CliFiles.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/SafeFile.h"
#include "cli/CliCommand.h"
#include "cli/Interrupt.h"
#include "convert/ConvertMessages.h"

namespace cli {

namespace {

bool IsStandardStream(const std::string& path) {
    return path.empty() || path == "-";
}

std::string Absolute(const std::string& dir) {
    if (dir != ".") return dir;
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) return dir;
    std::string out(cwd);
    std::free(cwd);
    return out;
}

// A new file (never an existing one, never through a link) holding the bytes,
// flushed to disk; removed again when it could not be written whole.
int WriteNewFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return errno;
    int error = WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) ::unlink(path.c_str());
    return error;
}

}  // namespace

bool ReadInput(const std::string& path, std::string& bytes) {
    const bool standard = IsStandardStream(path);
    FileRead read =
        standard ? ReadFdBounded(STDIN_FILENO, kInputLimit) : ReadFileBounded(path, kInputLimit);
    if (read.error == 0) {
        bytes = std::move(read.bytes);
        return true;
    }
    const std::string name = standard ? "standard input" : "'" + path + "'";
    if (read.error == kFileTooLarge) {
        PrintMessage(convert_msg::kOutOfMemory);
        PrintMessage("jvs: " + name + " holds more than " + std::to_string(kInputLimit) + " bytes");
    } else {
        PrintMessage("jvs: cannot read " + name + ": " + FileErrorText(read.error));
    }
    return false;
}

int WriteOutput(const std::string& path, std::string_view bytes) {
    // The signals wait while the output is written (a temporary is never left
    // behind by a Ctrl-C) and are taken while it waits for a reader.
    sigset_t signals, previous;
    sigemptyset(&signals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    int error = 0;
    if (!IsStandardStream(path))
        error = ReplaceFile(path, bytes, NoInterruptYet);
    else if (std::fflush(stdout) != 0)
        error = errno ? errno : EIO;
    else
        error = WriteAllWaiting(STDOUT_FILENO, bytes, NoInterruptYet);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error;
}

void ReportWriteFailure(const std::string& path, int error) {
    std::string reason = FileErrorText(error);
    if (error == kFileInterrupted && OutputInterrupt() != 0)
        reason += " by " + SignalName(OutputInterrupt());
    PrintMessage("jvs: cannot write " +
                 (IsStandardStream(path) ? std::string("standard output") : "'" + path + "'") +
                 ": " + reason);
}

bool WriteOutputReported(const std::string& path, std::string_view bytes) {
    const int error = WriteOutput(path, bytes);
    if (error != 0) ReportWriteFailure(path, error);
    return error == 0;
}

std::string KeepReceivedBytes(std::string_view bytes) {
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const char* temp = std::getenv("TMPDIR");
    const std::string folders[] = {".", temp && *temp ? temp : "/tmp"};
    int error = 0;
    for (const std::string& folder : folders) {
        // Another file of the same second is never overwritten: a number follows.
        for (int n = 0; n < 100; ++n) {
            std::string path = Absolute(folder) + "/jvs-received-" + stamp;
            if (n) path += '-' + std::to_string(n);
            path += ".txt";
            error = WriteNewFile(path, bytes);
            if (error == EEXIST) continue;
            if (error == 0) {
                PrintMessage("jvs: the " + std::to_string(bytes.size()) +
                             " bytes received are kept in " + path);
                return path;
            }
            break;
        }
    }
    PrintMessage("jvs: the " + std::to_string(bytes.size()) +
                 " bytes received could not be kept: " + FileErrorText(error));
    return {};
}

bool FlushStandardOutput() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    PrintMessage(std::string("jvs: cannot write standard output: ") + std::strerror(errno));
    return false;
}

}  // namespace cli
