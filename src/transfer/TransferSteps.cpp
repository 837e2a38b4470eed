// Steps every worker shares: the view calls, the upload buffer and the
// rewrites of the view text into QMX610/710 command lines.
#include <algorithm>
#include <mutex>
#include <new>

#include "convert/TervLines.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

unsigned char g_abyRxBuffer[512];
std::string g_szEchoLine;
const char* g_pSendCursor = nullptr;

namespace {
// Orders the worker's text updates against the companion's copies.
std::mutex g_viewTextMutex;
}  // namespace

std::mutex& ViewTextMutex() {
    return g_viewTextMutex;
}

bool UploadBuffer::Allocate() {
    try {
        m_bytes.clear();
        m_bytes.reserve(kSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool UploadBuffer::Assign(std::string stream) {
    if (stream.size() + 1 > kSize) return false;
    m_bytes = std::move(stream);
    return true;
}

void UploadBuffer::Release() {
    std::string().swap(m_bytes);
}

std::string_view WithinDownloadLimit(std::string_view chunk, size_t kept) {
    return chunk.substr(0, kept >= kDownloadLimit ? 0 : kDownloadLimit - kept);
}

void LockView(CTransferScreen& screen) {
    screen.LockView();
}

void UnlockView(CTransferScreen& screen) {
    screen.UnlockView();
}

void AppendTransferText(CTransferScreen& screen, std::string_view bytes, bool first) {
    std::lock_guard lock(g_viewTextMutex);
    g_strTransferText.Append(bytes);
    if (first)
        screen.ShowText(g_strTransferText.Get());
    else
        screen.AppendText(bytes);
}

void SetViewToTransferText(CTransferScreen& screen, bool moveCaret) {
    std::lock_guard lock(g_viewTextMutex);
    if (moveCaret)
        screen.ShowText(g_strTransferText.Get());
    else
        screen.SetViewText(g_strTransferText.Get());
}

void SetViewTextHoldingTextMutex(CTransferScreen& screen, const std::string& text) {
    std::lock_guard lock(g_viewTextMutex);
    screen.SetViewText(text);
}

std::string BuildDgLines(const std::vector<CTervLine>& lines) {
    std::string out;
    for (const CTervLine& line : lines) {
        const auto& [name, code, east, north, height] = line.m_fields;
        out.append("/Dg ");
        out.append(north).append(",");
        out.append(east).append(",");
        out.append(height).append(",");
        out.append(name);
        if (!code.empty()) out.append(",").append(code);
        out.append("\r\n");
    }
    return out;
}

std::string BuildDhLines(std::string_view text) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        if (pos >= text.size() || text[pos] == '\r' ||
            (pos + 1 < text.size() && text[pos + 1] == '\n'))
            break;
        const size_t start = pos;
        bool lineEnded = false;
        while (true) {
            if (pos >= text.size() || text[pos] == '\r' ||
                (pos + 1 < text.size() && text[pos + 1] == '\n')) {
                lineEnded = true;
                break;
            }
            if (text[pos] == ',') break;
            ++pos;
        }
        out.append("/Dh ").append(text.substr(start, pos - start)).append("\r\n");
        if (lineEnded) break;
        ++pos;  // the comma
    }
    return out;
}

std::string AlignmentStream(std::string_view text) {
    std::string out(text);
    if (!out.empty() && !out.ends_with("\r\n")) out.append("\r\n");
    return out;
}

size_t Qmx610LineLength(std::string_view data, size_t pos) {
    const size_t end = FindTervLineEnd(data, pos, ELineEnd::kCrOrBeforeLf);
    return end == std::string_view::npos ? 0 : std::min(end - pos + 2, data.size() - pos);
}

size_t CrLfLineLength(std::string_view data, size_t pos) {
    const size_t end = FindTervLineEnd(data, pos);
    return end == std::string_view::npos ? 0 : end - pos + 2;
}

size_t SegmentSendLength(std::string_view data, size_t pos) {
    const size_t end = data.find(kSegmentEnd, pos);
    if (end == std::string_view::npos) return 0;
    const size_t n = end + kSegmentEnd.size() - pos;
    return n <= 150 ? n : 128;
}
