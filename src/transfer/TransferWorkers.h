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
class CTransferRun;

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

// View steps shared by the workers; whole texts are serialised with the
// companion so the last text shown is always the newest.
void LockView(CTransferScreen& screen);
void UnlockView(CTransferScreen& screen);
void SetViewToTransferText(CTransferScreen& screen, bool moveCaret);
// Adds bytes to the transfer text and shows them, as one step against the
// companion's copies (a copy never includes bytes that are then added again).
// The first bytes of a transfer replace what the view held before it.
void AppendTransferText(CTransferScreen& screen, std::string_view bytes, bool first = false);
void SetViewTextHoldingTextMutex(CTransferScreen& screen, const std::string& text);
// Held around every whole text the worker or the companion puts into the view.
std::mutex& ViewTextMutex();

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
unsigned DownloadQmx210Worker(CTransferRun& run);
unsigned DownloadQmx610Worker(CTransferRun& run);
unsigned UploadQmx210Worker(CTransferRun& run);
unsigned UploadQmx610Worker(CTransferRun& run);
unsigned UploadPcodeWorker(CTransferRun& run);
unsigned UploadFeatureCodesWorker(CTransferRun& run);
unsigned UploadAlignmentWorker(CTransferRun& run);
unsigned UsbDownloadWorker(CTransferRun& run);
unsigned UsbUploadQmx610Worker(CTransferRun& run);
unsigned UsbUploadTextWorker(CTransferRun& run);
unsigned UsbUploadFeatureCodesWorker(CTransferRun& run);

unsigned RunTransferWorker(TransferKind kind, CTransferRun& run);

// Both downloads' receiver: keeps what a source gives until its end mark,
// the bound, the time-out or a stop, and ends the run. `source` reads what
// has arrived (waiting at most until the deadline, 0 when nothing came), and,
// stopped, what still arrives before the quiet deadline; `acknowledge` is
// called for every chunk before it is kept.
struct CReceiveSource {
    virtual ~CReceiveSource() = default;
    // Up to n bytes that arrived by the deadline; 0 when none did.
    virtual size_t Read(unsigned char* buffer, size_t n,
                        std::chrono::steady_clock::time_point deadline) = 0;
    // A stopped download's last bytes: what arrives by the deadline.
    virtual size_t ReadTail(unsigned char* buffer, size_t n,
                            std::chrono::steady_clock::time_point deadline) = 0;
    // A chunk to be kept (the end mark not yet looked for); QMX210 Ack/Nak
    // answers its ETXs here.
    virtual void Acknowledge(std::string_view /*scanned*/) {}
};
// `showEmpty`: the view is emptied before the first byte (USB), rather than
// replaced by it (serial).
unsigned Receive(CTransferRun& run, CReceiveSource& source, char endMark,
                 std::chrono::milliseconds timeout, size_t chunkSize, bool showEmpty);
