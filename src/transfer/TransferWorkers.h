// The worker procedures of every transfer and the steps they share.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/Bounds.h"
#include "base/ControlBytes.h"
#include "convert/RecordFormats.h"
#include "transfer/TransferManager.h"

class CTransferScreen;

// The program's own texts of the transfers.
inline constexpr char kMsgUploadAllocFailed[] = "内存分配失败!";
inline constexpr char kMsgPromptPcFirst[] = "请先在微机上回车，然后在全站仪上回车!";
inline constexpr char kMsgPromptInstrumentFirst[] = "请先在全站仪上回车，然后在微机上回车!";
inline constexpr char kMsgPromptUpload[] = "请先在全站仪上回车，然后在pc上回车!";
inline constexpr char kMsgPromptUsbUpload[] =
    "请先在全站仪上回车，并等待初始化usb完成后,然后在pc上回车!";
inline constexpr char kMsgPromptUsbDownload[] =
    "请先在全站仪上回车，并等待初始化usb完成后，然后在pc上回车!";
inline constexpr char kMsgCommTimeout[] = "通讯超时!";
inline constexpr char kMsgReceiveComplete[] = "数据接收完成!";
inline constexpr char kMsgCommFinished[] = "通讯结束!";
inline constexpr char kMsgReplyError[] = "设备应答错误!";
inline constexpr char kMsgUsbNotConnected[] = "USB设备未连接!";
inline constexpr char kMsgDownloadTooLarge[] = "接收的数据超过4 MiB，已停止接收!";

// Control bytes on the wire.
inline constexpr char kSTX = 0x02, kETX = 0x03, kEOT = 0x04, kENQ = 0x05, kACK = 0x06;

// The two header records in front of a QMX210 coordinate upload.
inline constexpr std::string_view kQmx210Header{
    "\x02"
    "F00F000\x03\r\n"
    "\x02"
    "Site1     +00001.000000200020-100000S113\x03\r\n"};

// The working buffer of an upload: at most 4 MiB including its terminator.
class UploadBuffer {
public:
    static constexpr size_t kSize = kMaxTextBytes;
    // Reserves the whole buffer; false when the memory is not there.
    bool Allocate();
    // Takes the stream to send; false when it does not fit with its terminator.
    bool Assign(std::string stream);
    const std::string& Bytes() const { return m_bytes; }
    void Release();

private:
    std::string m_bytes;
};

// A download keeps at most what an upload buffer holds: more than that is
// nothing the program could open, convert or send again.
inline constexpr size_t kDownloadLimit = UploadBuffer::kSize;

// A stopped download (interrupt, stop, leaving the program) still takes what
// the port or device holds and what follows until the line has been quiet
// this long, but never for longer than the second bound in all.
inline constexpr std::chrono::milliseconds kStopQuiet{50};
inline constexpr std::chrono::milliseconds kStopTailMax{500};

// The part of a received chunk that fits under kDownloadLimit beside the
// bytes already kept.
std::string_view WithinDownloadLimit(std::string_view chunk, size_t kept);

// Shared buffers of the serial workers (one transfer at a time).
extern unsigned char g_abyRxBuffer[512];
extern std::string g_szEchoLine;
extern const char* g_pSendCursor;

// View steps shared by the workers; the text calls are serialised with the
// companion so the last text shown is always the newest.
void LockView(CTransferScreen& screen);
void UnlockView(CTransferScreen& screen);
void ShowTransferText(CTransferScreen& screen);
void SetViewToTransferText(CTransferScreen& screen, bool moveCaret);
void SetViewTextHoldingTextMutex(CTransferScreen& screen, const std::string& text);
// Held around every text the worker or the companion puts into the view.
std::mutex& ViewTextMutex();

// The one way a serial worker ends, whichever exit it takes: close the port,
// put the view's text back (failures, when asked), show the closing message,
// unlock the view (when it was locked), raise the flag, in this order. A worker
// that returns without calling Finish or Fail still gets every step.
class CWorkerEnd {
public:
    explicit CWorkerEnd(CTransferScreen& screen) : m_screen(screen) {}
    ~CWorkerEnd();
    CWorkerEnd(const CWorkerEnd&) = delete;
    CWorkerEnd& operator=(const CWorkerEnd&) = delete;

    // Locks the view; from now on the end unlocks it.
    void LockView();
    // A failure gives the view this text back (the text before an upload).
    void RestoreOnFailure(std::string text);
    // Ends with the exit code; a message (UTF-8) is shown when given.
    unsigned Finish(unsigned code, std::string_view message = {});
    // Ends a failed transfer: the text is put back, the message shown, code 0.
    unsigned Fail(std::string_view message);

private:
    unsigned End(unsigned code, std::string_view message, bool restore);

    CTransferScreen& m_screen;
    std::string m_restoreText;
    bool m_restore = false;
    bool m_locked = false;
    bool m_ended = false;
};

// Rewrites of the view text into the streams the QMX610/710 uploads send; the
// coordinate lines are those ReadTerv210Upload read.
std::string BuildDgLines(const std::vector<CTervLine>& lines);
std::string BuildDhLines(std::string_view viewText);
// The alignment upload's stream: the text, with CR LF added to a last line
// that has none.
std::string AlignmentStream(std::string_view viewText);
// Length of the line at pos: QMX610/710 rule (a CR, or a character followed by
// LF, ends it) and the plain CR LF rule. 0 when no line is left.
size_t Qmx610LineLength(std::string_view data, size_t pos);
size_t CrLfLineLength(std::string_view data, size_t pos);
// Bytes of the QMX210 segment at pos that go out in one write: up to and
// including the next ETX CR LF, or a 128-byte piece of a segment longer than
// 150 bytes. 0 when no ETX CR LF is left.
size_t SegmentSendLength(std::string_view data, size_t pos);

// Worker procedures; each returns its exit code (0 abandoned, 1 download or USB
// transfer completed, 2 serial upload completed).
unsigned DownloadQmx210Worker(const CTransferJob& job);
unsigned DownloadQmx610Worker(const CTransferJob& job);
unsigned UploadQmx210Worker(const CTransferJob& job);
unsigned UploadQmx610Worker(const CTransferJob& job);
unsigned UploadPcodeWorker(const CTransferJob& job);
unsigned UploadFeatureCodesWorker(const CTransferJob& job);
unsigned UploadAlignmentWorker(const CTransferJob& job);
unsigned UsbDownloadWorker(const CTransferJob& job);
unsigned UsbUploadQmx610Worker(const CTransferJob& job);
unsigned UsbUploadTextWorker(const CTransferJob& job);
unsigned UsbUploadFeatureCodesWorker(const CTransferJob& job);

unsigned RunTransferWorker(TransferKind kind, const CTransferJob& job);
